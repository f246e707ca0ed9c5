// TAboutBox: the About box, made only while it is shown.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace app {

class TAboutBox : public QDialog {
public:
    explicit TAboutBox(QWidget* owner);

    QFrame* Panel1;
    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* Copyright;
    QLabel* Comments;
    QLabel* Label1;
    QPushButton* OKButton;
};

} // namespace app
