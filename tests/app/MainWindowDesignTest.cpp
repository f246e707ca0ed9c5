#include "app/Endpoints.h"
#include "app/frmAbout.h"
#include "tests/support/WindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEnterEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>

#include <gtest/gtest.h>

using platform::Application;
using testing_support::WindowFixture;

namespace {

QStringList menuTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* a : menu->actions())
        texts << (a->isSeparator() ? QString("-") : a->text());
    return texts;
}

} // namespace

class Design : public WindowFixture { };

TEST_F(Design, WindowCaptionBorderAndDesignedBounds)
{
    auto& f = Open();
    EXPECT_EQ(f.objectName(), "frmQuorvel");
    EXPECT_EQ(f.windowTitle(), "Quorvel");
    const auto flags = f.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(f.windowIcon().isNull());
    // Nothing stored yet: the designed position and size.
    EXPECT_EQ(f.x(), 223);
    EXPECT_EQ(f.y(), 100);
    EXPECT_EQ(f.width(), 428);
    EXPECT_EQ(f.height(), 429);
    EXPECT_EQ(f.font().family(), "MS Sans Serif");
    EXPECT_EQ(f.font().pixelSize(), 11);
}

TEST_F(Design, ControlsCarryTheirCaptionsAndAccelerators)
{
    auto& f = Open();
    EXPECT_EQ(f.lblProgram->text(), "Quorvel 0.2.4");
    EXPECT_EQ(f.lblProgram->font().pixelSize(), 32);
    EXPECT_EQ(f.gbAccounts->title(), " Accounts ");
    EXPECT_EQ(f.lblTag->text(), "Comment:");
    EXPECT_EQ(f.lblHost->text(), "Host:");
    EXPECT_EQ(f.lblUsername->text(), "Username:");
    EXPECT_EQ(f.lblPassword->text(), "Password:");
    EXPECT_EQ(f.lblLastCheckedLeft->text(), "Last checked:");
    EXPECT_TRUE(f.lblLastCheckedLeft->alignment() & Qt::AlignRight);
    EXPECT_EQ(f.lblStatusLeft->text(), "Status:");
    EXPECT_TRUE(f.lblStatusLeft->alignment() & Qt::AlignRight);
    EXPECT_EQ(f.btnAdd->text(), "A&dd");
    EXPECT_EQ(f.btnRemove->text(), "Re&move");
    EXPECT_EQ(f.btnExit->text(), "&Exit");
    EXPECT_EQ(f.btnCheckAll->text(), "Check &All");
    EXPECT_EQ(f.Label9->text(), "Check every x minutes:");
    EXPECT_EQ(f.cbProxy->text(), "Proxy");
    EXPECT_EQ(f.lblProxyHost->text(), "Host:");
    EXPECT_EQ(f.lblProxyPort->text(), "Port:");
    EXPECT_EQ(f.mePassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(f.mePassword->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, f.mePassword), '*');
    EXPECT_TRUE(f.cbHost->isEditable());
    EXPECT_NE(f.cbHost->findText("Hotmail", Qt::MatchExactly), -1);
    EXPECT_EQ(f.lblHomePage->text(), QString::fromStdString(app::HomePage()));
    EXPECT_TRUE(f.lblHomePage->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(f.Panel1->height(), 14);
    EXPECT_EQ(f.splitAccount->handleWidth(), 3);
}

TEST_F(Design, NeverUsedButtonsStayHiddenAndDisabled)
{
    auto& f = Open();
    f.show();
    for (QPushButton* b : { f.btnRename, f.btnDuplicate, f.btnCheckIt }) {
        EXPECT_FALSE(b->isVisible());
        EXPECT_FALSE(b->isEnabled());
    }
    EXPECT_EQ(f.btnRename->text(), "&Rename");
    EXPECT_EQ(f.btnDuplicate->text(), "D&uplicate");
    EXPECT_EQ(f.btnCheckIt->text(), "&CheckIt");
    f.hide();
}

TEST_F(Design, MenusAndTheirStates)
{
    auto& f = Open();
    ASSERT_EQ(f.MainMenu1->actions().size(), 2);
    EXPECT_EQ(f.File2->title(), "&File");
    EXPECT_EQ(f.Help1->title(), "&Help");
    EXPECT_EQ(menuTexts(f.File2),
        (QStringList {
            "&Export config to file", "&Import config from file", "&Delete config at computer", "-", "&Exit" }));
    EXPECT_FALSE(f.mnuRegistrySave->isEnabled());
    EXPECT_FALSE(f.Importconfigfromfile1->isEnabled());
    EXPECT_TRUE(f.mnuRegistryDelete->isEnabled());
    EXPECT_EQ(menuTexts(f.Help1), QStringList { "&About" });
    EXPECT_EQ(menuTexts(f.pumTrayIcon),
        (QStringList { "&Check All", "&Show Quorvel", "-", "&Notices", "Start at lo&gin", "-", "C&lose" }));
    EXPECT_TRUE(f.pmnuNotices->isCheckable());
    EXPECT_TRUE(f.pmnuStartAtLogin->isCheckable());
}

TEST_F(Design, HintsOfTheControls)
{
    auto& f = Open();
    EXPECT_EQ(Application::WidgetHint(f.btnAdd), "Add new account");
    EXPECT_EQ(Application::WidgetHint(f.btnCheckAll), "Check all accounts for mail!");
    EXPECT_EQ(Application::WidgetHint(f.edTimer), "How often check for new mail (time-delay)");
    EXPECT_EQ(Application::WidgetHint(f.lblHomePage), "Check if a new version exists.");
    EXPECT_EQ(Application::WidgetHint(f.btnRemove), "");
    EXPECT_EQ(Application::WidgetHint(f.clbItems), "");
    // Tool-tip windows are not used.
    EXPECT_TRUE(f.btnAdd->toolTip().isEmpty());
}

TEST_F(Design, StatusLineShowsTheHintOfTheControlUnderThePointer)
{
    auto& f = Open();
    f.show();
    auto enter = [](QWidget* w) {
        QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(w, &event);
    };
    enter(f.btnAdd);
    EXPECT_EQ(f.StatusBar->SimpleText(), "Add new account");
    enter(f.edTimer);
    EXPECT_EQ(f.StatusBar->SimpleText(), "How often check for new mail (time-delay)");
    enter(f.lblHomePage);
    EXPECT_EQ(f.StatusBar->SimpleText(), "Check if a new version exists.");
    enter(f.btnCheckAll);
    EXPECT_EQ(f.StatusBar->SimpleText(), "Check all accounts for mail!");
    // From a control with a hint onto one without: the status line empties.
    enter(f.btnExit);
    EXPECT_EQ(f.StatusBar->SimpleText(), "");
    // A message stays until the next hint change.
    f.StatusBar->SetSimpleText("Could'nt delete user");
    enter(f.btnExit);
    EXPECT_EQ(f.StatusBar->SimpleText(), "Could'nt delete user");
    enter(f.btnAdd);
    EXPECT_EQ(f.StatusBar->SimpleText(), "Add new account");
    f.hide();
}

TEST_F(Design, HomePageLabelFollowsTheDetailPanelsWidth)
{
    auto& f = Open();
    f.show();
    f.splitAccount->setSizes({ 100, 300 });
    f.splitAccountMoved(f.splitAccount);
    EXPECT_EQ(f.lblHomePage->width(), f.pnlAccount->width());
    f.hide();
}

TEST_F(Design, AboutBoxShowsItsTextsAndClosesWithOk)
{
    auto& f = Open();
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* box = dynamic_cast<app::TAboutBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = true;
        EXPECT_EQ(box->windowTitle(), "About");
        EXPECT_EQ(box->size(), QSize(298, 213));
        EXPECT_EQ(box->ProductName->text(), "quorvel");
        EXPECT_EQ(box->Version->text(), "#");
        EXPECT_EQ(box->Comments->text(), "Checks mail at different web-mail-servers");
        EXPECT_TRUE(box->Comments->wordWrap());
        EXPECT_EQ(box->Label1->text(), "homepage: " + QString::fromStdString(app::HomePage()));
        EXPECT_EQ(box->ProgramIcon->size(), QSize(65, 57));
        EXPECT_FALSE(box->ProgramIcon->pixmap().isNull());
        EXPECT_TRUE(box->OKButton->isDefault());
        box->OKButton->click();
    });
    f.mnuAbout->trigger();
    EXPECT_TRUE(seen);
    // The box lives only while it is shown.
    EXPECT_TRUE(f.findChildren<app::TAboutBox*>().isEmpty());
}

TEST_F(Design, AnErrorInAHandlerGoesToTheErrorReportAndTheProgramGoesOn)
{
    auto& f = Open();
    f.edTimer->setText("abc");
    ASSERT_EQ(dialogs->messages.size(), 1U);
    EXPECT_EQ(dialogs->messages[0].caption, "quorvel");
    EXPECT_EQ(dialogs->messages[0].text, "'abc' is not a valid integer value.");
    EXPECT_EQ(dialogs->messages[0].icon, platform::Dialogs::Icon::Error);
    f.edTimer->setText("5");
    EXPECT_EQ(f.timer->Interval(), 5U * 60000U);
}
