#include "platform/core/MessageLoop.h"
#include "tests/support/WindowFixture.h"
#include "tray/TrayIcon.h"

#include <QAction>
#include <QCursor>
#include <QMenu>

#include <gtest/gtest.h>

using platform::Application;
using testing_support::WindowFixture;

namespace {

void trayMouse(app::TfrmQuorvel& f, unsigned mouseMessage)
{
    platform::PostMessage(f.trayIcon->Handle(), tray::WM_TRAYICON, 0, static_cast<platform::LPARAM>(mouseMessage));
    platform::ProcessMessages();
}

void minimise(app::TfrmQuorvel& f)
{
    f.showMinimized();
    platform::ProcessMessages();
}

} // namespace

class TrayWindow : public WindowFixture { };

TEST_F(TrayWindow, StartUpPutsTheIconWithItsHintIntoTheNotificationArea)
{
    auto& f = Open();
    EXPECT_TRUE(f.trayIcon->Enabled());
    EXPECT_EQ(area->count(platform::NIM_ADD), 1U);
    EXPECT_TRUE(area->shown);
    EXPECT_EQ(area->shownTip, "Click here for checking mail.");
    EXPECT_EQ(area->callbackMessage, 1624U);
    EXPECT_EQ(f.trayIcon->PopupMenu(), f.pumTrayIcon);
}

TEST_F(TrayWindow, ClosingTheWindowRemovesTheIcon)
{
    Open();
    form.reset();
    EXPECT_FALSE(area->shown);
    EXPECT_EQ(area->count(platform::NIM_DELETE), 1U);
}

TEST_F(TrayWindow, MinimisingHidesTheTaskBarEntryAndItStaysHiddenAfterRestore)
{
    auto& f = Open();
    f.show();
    EXPECT_FALSE(Application::instance().TaskBarEntryHidden());
    minimise(f);
    EXPECT_TRUE(Application::instance().Minimized());
    EXPECT_TRUE(Application::instance().TaskBarEntryHidden());
    trayMouse(f, platform::WM_LBUTTONDOWN);
    trayMouse(f, platform::WM_LBUTTONUP);
    EXPECT_TRUE(Application::instance().Minimized()); // a single click does nothing
    trayMouse(f, platform::WM_LBUTTONDBLCLK);
    EXPECT_FALSE(Application::instance().Minimized());
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(Application::instance().TaskBarEntryHidden());
    f.hide();
}

TEST_F(TrayWindow, DoubleClickOnANormalWindowBringsItToTheFront)
{
    auto& f = Open();
    f.show();
    trayMouse(f, platform::WM_LBUTTONDBLCLK);
    EXPECT_FALSE(Application::instance().Minimized());
    EXPECT_TRUE(f.isVisible());
    f.hide();
}

TEST_F(TrayWindow, RightClickOpensTheTrayMenuAtThePointer)
{
    auto& f = Open();
    QCursor::setPos(300, 250);
    trayMouse(f, platform::WM_RBUTTONDOWN);
    EXPECT_FALSE(f.pumTrayIcon->isVisible());
    trayMouse(f, platform::WM_RBUTTONUP);
    EXPECT_TRUE(f.pumTrayIcon->isVisible());
    EXPECT_EQ(f.pumTrayIcon->pos(), QPoint(300, 250));
    f.pumTrayIcon->hide();
}

class TrayWindowWithoutArea : public WindowFixture { };

TEST_F(TrayWindowWithoutArea, WithoutANotificationAreaMinimisingKeepsTheTaskBarEntry)
{
    area->available = false;
    area->succeed = false;
    auto& f = Open();
    EXPECT_FALSE(f.trayIcon->Enabled());
    f.show();
    minimise(f);
    EXPECT_TRUE(Application::instance().Minimized());
    EXPECT_FALSE(Application::instance().TaskBarEntryHidden());
    f.showNormal();
    platform::ProcessMessages();
    EXPECT_FALSE(Application::instance().TaskBarEntryHidden());
    f.hide();
}

TEST_F(TrayWindowWithoutArea, AFailedAddKeepsTheTaskBarEntryToo)
{
    area->succeed = false;
    auto& f = Open();
    EXPECT_FALSE(f.trayIcon->Enabled());
    f.show();
    minimise(f);
    EXPECT_FALSE(Application::instance().TaskBarEntryHidden());
    f.hide();
}
