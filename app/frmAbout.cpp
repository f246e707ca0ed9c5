// TAboutBox: the picture, the program's name and version and the home-page address, centred on the screen.
#include "app/frmAbout.h"

#include "app/Endpoints.h"
#include "app/Pictures.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace app {

TAboutBox::TAboutBox(QWidget* owner)
    : QDialog(owner)
{
    setObjectName("AboutBox");
    setWindowTitle("About");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint);
    setFixedSize(298, 213);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(8, 8, 282, 161);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setGeometry(8, 8, 65, 57);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(AboutPicture());

    ProductName = new QLabel("quorvel", Panel1);
    QFont productFont = ProductName->font();
    productFont.setBold(true);
    productFont.setPixelSize(16);
    ProductName->setFont(productFont);
    ProductName->setGeometry(88, 12, 180, 22);

    Version = new QLabel("#", Panel1);
    Version->setGeometry(88, 40, 180, 16);

    Copyright = new QLabel("Written by the Quorvel developers; free to use and share.", Panel1);
    Copyright->setGeometry(8, 74, 266, 16);

    Comments = new QLabel("Checks mail at different web-mail-servers", Panel1);
    Comments->setWordWrap(true);
    Comments->setGeometry(8, 96, 266, 32);

    Label1 = new QLabel("homepage: " + QString::fromStdString(HomePage()), Panel1);
    Label1->setGeometry(8, 134, 266, 16);

    OKButton = new QPushButton("OK", this);
    OKButton->setGeometry(111, 178, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

} // namespace app
