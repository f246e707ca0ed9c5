#include "tests/support/WindowFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

using platform::Application;
using testing_support::WindowFixture;

namespace {

struct WayOut {
    const char* name;
    std::function<void(app::TfrmQuorvel&)> leave;
};

void PrintTo(const WayOut& way, std::ostream* os)
{
    *os << way.name;
}

class EveryWayOut : public WindowFixture, public ::testing::WithParamInterface<WayOut> { };

} // namespace

TEST_P(EveryWayOut, SavesTheCurrentAccountTheSettingsAndTheBounds)
{
    auto& f = Open();
    dialogs->inputAnswers.push_back(QString("Alpha"));
    f.btnAdd->click();
    f.edInfo->setText("comment");
    f.cbHost->setEditText("Hotmail");
    f.edUserName->setText("someone");
    f.mePassword->setText("p&ss=word");
    f.edTimer->setText("25");
    f.cbProxy->setChecked(true);
    f.edProxyHost->setText("proxy.invalid");
    f.edProxyPort->setText("3128x");
    f.move(301, 202);
    f.resize(500, 480);

    GetParam().leave(f);
    EXPECT_TRUE(Application::instance().Terminated());

    auto& again = Reopen();
    ASSERT_EQ(again.clbItems->count(), 1);
    EXPECT_EQ(again.FCurrentAccount, "Alpha");
    EXPECT_EQ(again.edInfo->text(), "comment");
    EXPECT_EQ(again.edUserName->text(), "someone");
    EXPECT_EQ(again.mePassword->text(), "p&ss=word");
    EXPECT_EQ(again.edTimer->text(), "25");
    EXPECT_TRUE(again.cbProxy->isChecked());
    EXPECT_TRUE(again.edProxyHost->isEnabled());
    EXPECT_EQ(again.edProxyHost->text(), "proxy.invalid");
    EXPECT_EQ(again.edProxyPort->text(), "3128x");
    EXPECT_EQ(again.x(), 301);
    EXPECT_EQ(again.y(), 202);
    EXPECT_EQ(again.width(), 500);
    EXPECT_EQ(again.height(), 480);
    EXPECT_EQ(again.timer->Interval(), 25U * 60000U);
}

INSTANTIATE_TEST_SUITE_P(Quorvel, EveryWayOut,
    ::testing::Values(WayOut { "ExitButton", [](app::TfrmQuorvel& f) { f.btnExit->click(); } },
        WayOut { "FileMenu", [](app::TfrmQuorvel& f) { f.mnuExit->trigger(); } },
        WayOut { "TrayMenu", [](app::TfrmQuorvel& f) { f.pmnuClose->trigger(); } },
        WayOut { "CloseButton",
            [](app::TfrmQuorvel& f) {
                f.show();
                f.close();
            } }),
    [](const auto& info) { return std::string(info.param.name); });

class Shutdown : public WindowFixture { };

TEST_F(Shutdown, ATimerTextThatIsNoNumberKeepsTheStoredSettings)
{
    auto& f = Open();
    f.edTimer->setText("7");
    f.cbProxy->setChecked(true);
    f.edProxyHost->setText("first");
    auto& g = Reopen();
    g.edTimer->setText("seven");
    g.cbProxy->setChecked(false);
    g.edProxyHost->setText("second");
    auto& h = Reopen();
    EXPECT_EQ(h.edTimer->text(), "7");
    EXPECT_TRUE(h.cbProxy->isChecked());
    EXPECT_EQ(h.edProxyHost->text(), "first");
}

TEST_F(Shutdown, AStoredNegativeIntervalIsShownAsStoredAndArmsNothing)
{
    auto& f = Open();
    dialogs->messages.clear();
    f.edTimer->setText("-3");
    EXPECT_EQ(f.timer->Interval(), 10U * 60000U); // kept from the start-up value
    auto& g = Reopen();
    EXPECT_EQ(g.edTimer->text(), "-3");
    EXPECT_EQ(g.timer->Interval(), 0U);
    EXPECT_TRUE(dialogs->messages.empty());
}
