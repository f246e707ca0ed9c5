#include "tray/TrayIcon.h"

#include "platform/core/Exceptions.h"
#include "platform/core/MessageLoop.h"
#include "platform/desktop/Application.h"
#include "tests/support/RecordingNotifyArea.h"
#include "tests/support/ScriptedDialogs.h"

#include <QCursor>
#include <QImage>
#include <QMenu>
#include <QPixmap>

#include <gtest/gtest.h>

#include <cstring>

using namespace platform;
using testing_support::ScopedNotifyArea;
using tray::TIcon;
using tray::TTrayIcon;

namespace {

TIcon picture(QColor colour)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(colour);
    return TIcon(QIcon(QPixmap::fromImage(image)));
}

void click(const TTrayIcon& icon, unsigned mouseMessage)
{
    PostMessage(icon.Handle(), tray::WM_TRAYICON, 0, static_cast<LPARAM>(mouseMessage));
    ProcessMessages();
}

} // namespace

TEST(TrayIcon, StartsHiddenWithEmptyIconAndHint)
{
    ScopedNotifyArea area;
    TTrayIcon icon(nullptr);
    EXPECT_FALSE(icon.Enabled());
    EXPECT_TRUE(icon.Icon().Empty());
    EXPECT_EQ(icon.Hint(), "");
    EXPECT_TRUE(area->calls.empty());
}

TEST(TrayIcon, AddSendsTheWholeRecord)
{
    ScopedNotifyArea area;
    TTrayIcon icon(nullptr);
    icon.SetIcon(picture(Qt::red));
    icon.SetHint("Click here for checking mail.");
    EXPECT_TRUE(area->calls.empty());
    icon.SetEnabled(true);
    ASSERT_EQ(area->calls.size(), 1U);
    const auto& call = area->calls[0];
    EXPECT_EQ(call.message, NIM_ADD);
    EXPECT_EQ(call.data.cbSize, 88U);
    EXPECT_EQ(call.data.hWnd, HandleToRecord(icon.Handle()));
    EXPECT_EQ(call.data.uID, 0U);
    EXPECT_EQ(call.data.uFlags, 7U);
    EXPECT_EQ(call.data.uCallbackMessage, 1624U);
    EXPECT_EQ(call.data.hIcon, icon.Icon().Handle());
    EXPECT_NE(call.data.hIcon, 0U);
    EXPECT_EQ(call.tip(), "Click here for checking mail.");
    EXPECT_TRUE(icon.Enabled());
}

TEST(TrayIcon, EnablingTwiceAddsOnceAndDisablingTwiceDeletesOnce)
{
    ScopedNotifyArea area;
    TTrayIcon icon(nullptr);
    icon.SetIcon(picture(Qt::red));
    icon.SetEnabled(true);
    icon.SetEnabled(true);
    EXPECT_EQ(area->count(NIM_ADD), 1U);
    icon.SetEnabled(false);
    icon.SetEnabled(false);
    EXPECT_EQ(area->count(NIM_DELETE), 1U);
    EXPECT_FALSE(icon.Enabled());
    EXPECT_FALSE(area->shown);
}

TEST(TrayIcon, EnablingWithoutAPictureDoesNothing)
{
    ScopedNotifyArea area;
    TTrayIcon icon(nullptr);
    icon.SetEnabled(true);
    EXPECT_FALSE(icon.Enabled());
    EXPECT_TRUE(area->calls.empty());
}

TEST(TrayIcon, IconWhileHiddenIsOnlyStoredAndShownByTheNextAdd)
{
    ScopedNotifyArea area;
    TTrayIcon icon(nullptr);
    icon.SetIcon(picture(Qt::red));
    icon.SetIcon(picture(Qt::blue));
    EXPECT_TRUE(area->calls.empty());
    icon.SetEnabled(true);
    ASSERT_EQ(area->calls.size(), 1U);
    EXPECT_EQ(IconFromHandle(area->shownIcon).pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::blue));
}

TEST(TrayIcon, EmptyPictureWhileShownSendsNothingAndKeepsTheOldOne)
{
    ScopedNotifyArea area;
    TTrayIcon icon(nullptr);
    icon.SetIcon(picture(Qt::red));
    icon.SetEnabled(true);
    const HICON shown = area->shownIcon;
    icon.SetIcon(TIcon());
    EXPECT_EQ(area->calls.size(), 1U);
    EXPECT_EQ(area->shownIcon, shown);
}

TEST(TrayIcon, PictureWhileShownSendsIconOnly)
{
    ScopedNotifyArea area;
    TTrayIcon icon(nullptr);
    icon.SetIcon(picture(Qt::red));
    icon.SetEnabled(true);
    icon.SetIcon(picture(Qt::green));
    ASSERT_EQ(area->calls.size(), 2U);
    EXPECT_EQ(area->calls[1].message, NIM_MODIFY);
    EXPECT_EQ(area->calls[1].data.uFlags, NIF_ICON);
    EXPECT_EQ(IconFromHandle(area->shownIcon).pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::green));
}

TEST(TrayIcon, HintWhileShownSendsTipOnly)
{
    ScopedNotifyArea area;
    TTrayIcon icon(nullptr);
    icon.SetIcon(picture(Qt::red));
    icon.SetEnabled(true);
    icon.SetHint("3 total number of new message(s), all accounts");
    ASSERT_EQ(area->calls.size(), 2U);
    EXPECT_EQ(area->calls[1].message, NIM_MODIFY);
    EXPECT_EQ(area->calls[1].data.uFlags, NIF_TIP);
    EXPECT_EQ(area->shownTip, "3 total number of new message(s), all accounts");
}

TEST(TrayIcon, LongHintIsKeptWholeButFittedIntoTheTooltipField)
{
    ScopedNotifyArea area;
    TTrayIcon icon(nullptr);
    icon.SetIcon(picture(Qt::red));
    icon.SetEnabled(true);
    const QString hint = "12 total number of new message(s), all accounts. Since last checked: -4";
    icon.SetHint(hint);
    EXPECT_EQ(icon.Hint(), hint);
    const auto& field = area->calls.back().data.szTip;
    EXPECT_EQ(field[63], '\0');
    EXPECT_EQ(std::strlen(field), 63U);
    EXPECT_EQ(area->shownTip, hint.left(60) + "...");
}

TEST(TrayIcon, HintIsCutTo255Characters)
{
    ScopedNotifyArea area;
    TTrayIcon icon(nullptr);
    icon.SetHint(QString(300, 'x'));
    EXPECT_EQ(icon.Hint().size(), 255);
}

TEST(FillTip, ExactFitIsNotCut)
{
    char field[64];
    std::memset(field, 'z', sizeof field);
    tray::FillTip(field, QString(63, 'a'));
    EXPECT_EQ(QString::fromLatin1(field), QString(63, 'a'));
    tray::FillTip(field, "short");
    EXPECT_STREQ(field, "short");
    for (std::size_t i = 6; i < sizeof field; ++i)
        EXPECT_EQ(field[i], '\0');
}

TEST(FillTip, NeverSplitsAMultiByteCharacter)
{
    char field[64];
    // 59 single bytes and then two-byte characters: the cut falls inside the first of them.
    const QString hint = QString(59, 'a') + QString(10, QChar(0x00E9));
    tray::FillTip(field, hint);
    const QString back = QString::fromLocal8Bit(field);
    EXPECT_TRUE(back.endsWith("..."));
    EXPECT_FALSE(back.contains(QChar::ReplacementCharacter));
    EXPECT_LE(std::strlen(field), 63U);
}

TEST(TrayIcon, FailedAddLeavesItDisabledAndTheNextEnableTriesAgain)
{
    ScopedNotifyArea area;
    TTrayIcon icon(nullptr);
    icon.SetIcon(picture(Qt::red));
    area->succeed = false;
    icon.SetEnabled(true);
    EXPECT_FALSE(icon.Enabled());
    area->succeed = true;
    icon.SetEnabled(true);
    EXPECT_TRUE(icon.Enabled());
    EXPECT_EQ(area->count(NIM_ADD), 2U);
}

TEST(TrayIcon, FailedDeleteLeavesItEnabled)
{
    ScopedNotifyArea area;
    auto icon = std::make_unique<TTrayIcon>(nullptr);
    icon->SetIcon(picture(Qt::red));
    icon->SetEnabled(true);
    area->succeed = false;
    icon->SetEnabled(false);
    EXPECT_TRUE(icon->Enabled());
    icon.reset(); // destruction goes on regardless
    EXPECT_EQ(area->count(NIM_DELETE), 2U);
}

TEST(TrayIcon, DestroyingAShownIconRemovesIt)
{
    ScopedNotifyArea area;
    {
        QObject owner;
        auto* icon = new TTrayIcon(&owner);
        icon->SetIcon(picture(Qt::red));
        icon->SetEnabled(true);
        EXPECT_TRUE(area->shown);
    }
    EXPECT_FALSE(area->shown);
    EXPECT_EQ(area->count(NIM_DELETE), 1U);
}

TEST(TrayIcon, MouseMessagesBecomeEvents)
{
    ScopedNotifyArea area;
    TTrayIcon icon(nullptr);
    std::vector<std::string> events;
    icon.OnClick = [&](QObject* sender) {
        EXPECT_EQ(sender, &icon);
        events.push_back("click");
    };
    icon.OnDlbClick = [&](QObject* sender) {
        EXPECT_EQ(sender, &icon);
        events.push_back("double");
    };
    // A double click as the platform reports it: down, up, double click, up.
    for (unsigned m : { WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSEMOVE })
        click(icon, m);
    EXPECT_EQ(events, (std::vector<std::string> { "click", "double" }));
}

TEST(TrayIcon, OtherMessagesAreIgnored)
{
    ScopedNotifyArea area;
    TTrayIcon icon(nullptr);
    int clicks = 0;
    icon.OnClick = [&](QObject*) { ++clicks; };
    PostMessage(icon.Handle(), tray::WM_TRAYICON + 1, 0, WM_LBUTTONDOWN);
    ProcessMessages();
    EXPECT_EQ(clicks, 0);
}

TEST(TrayIcon, RightButtonReleaseWithoutMenuDoesNothing)
{
    ScopedNotifyArea area;
    testing_support::ScopedDialogs dialogs;
    TTrayIcon icon(nullptr);
    click(icon, WM_RBUTTONUP);
    EXPECT_TRUE(dialogs->messages.empty());
}

TEST(TrayIcon, RightButtonReleasePopsTheMenuUpAtThePointer)
{
    ScopedNotifyArea area;
    TTrayIcon icon(nullptr);
    QMenu menu;
    menu.addAction("&Check All");
    icon.SetPopupMenu(&menu);
    QCursor::setPos(120, 140);
    click(icon, WM_RBUTTONDOWN);
    EXPECT_FALSE(menu.isVisible());
    click(icon, WM_RBUTTONUP);
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(menu.pos(), QCursor::pos());
    menu.hide();
}

TEST(TrayIcon, TheMenuGoesToTheNotificationAreaWithTheIcon)
{
    // Hosts that draw the icon's menu themselves need it from the moment the icon is there.
    ScopedNotifyArea area;
    QMenu menu;
    TTrayIcon icon(nullptr);
    icon.SetIcon(picture(Qt::red));
    icon.SetPopupMenu(&menu);
    EXPECT_EQ(area->menu, nullptr); // not shown yet: nothing to attach it to
    icon.SetEnabled(true);
    EXPECT_EQ(area->menu, &menu);
}

TEST(TrayIcon, AMenuSetWhileShownReplacesTheOneInTheNotificationArea)
{
    ScopedNotifyArea area;
    QMenu first, second;
    TTrayIcon icon(nullptr);
    icon.SetIcon(picture(Qt::red));
    icon.SetPopupMenu(&first);
    icon.SetEnabled(true);
    icon.SetPopupMenu(&second);
    EXPECT_EQ(area->menu, &second);
    EXPECT_EQ(icon.PopupMenu(), &second);
}

TEST(TrayIcon, AnErrorInAClickHandlerGoesToTheErrorReport)
{
    ScopedNotifyArea area;
    testing_support::ScopedDialogs dialogs;
    Application::instance().SetTitle("quorvel");
    TTrayIcon icon(nullptr);
    icon.OnDlbClick = [](QObject*) { throw Exception("Connection Failed"); };
    click(icon, WM_LBUTTONDBLCLK);
    ASSERT_EQ(dialogs->messages.size(), 1U);
    EXPECT_EQ(dialogs->messages[0].caption, "quorvel");
    EXPECT_EQ(dialogs->messages[0].text, "Connection Failed.");
}

TEST(TrayIcon, MinimiseAndRestoreHandlersBecomeTheApplications)
{
    auto& app = Application::instance();
    TTrayIcon icon(nullptr);
    int minimised = 0, restored = 0;
    icon.SetOnMinimize([&](QObject*) { ++minimised; });
    icon.SetOnRestore([&](QObject*) { ++restored; });
    ASSERT_TRUE(app.OnMinimize);
    ASSERT_TRUE(app.OnRestore);
    app.OnMinimize(nullptr);
    app.OnRestore(nullptr);
    app.OnRestore(nullptr);
    EXPECT_EQ(minimised, 1);
    EXPECT_EQ(restored, 2);
    icon.SetOnMinimize(nullptr);
    icon.SetOnRestore(nullptr);
    EXPECT_FALSE(app.OnMinimize);
}

TEST(NotifyArea, RecordOfAnotherSizeIsRefused)
{
    ScopedNotifyArea area;
    NOTIFYICONDATA data;
    data.cbSize = 152;
    EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, &data));
    EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, nullptr));
    EXPECT_TRUE(area->calls.empty());
}

TEST(NotifyArea, TipWithoutTerminatorIsReadOnlyToTheFieldsEnd)
{
    NOTIFYICONDATA data;
    std::memset(data.szTip, 'q', sizeof data.szTip);
    EXPECT_EQ(TipText(data), QString(64, 'q'));
}

TEST(NotifyArea, WithoutADesktopAreaTheAddFailsAndTheIconStaysDisabled)
{
    // The offscreen platform has no notification area, like a desktop without a tray host.
    SetNotifyArea(nullptr);
    ASSERT_FALSE(NotifyAreaAvailable());
    TTrayIcon icon(nullptr);
    icon.SetIcon(picture(Qt::red));
    icon.SetEnabled(true);
    EXPECT_FALSE(icon.Enabled());
}

TEST(Icon, LoadingAMissingFileRaisesAndKeepsThePicture)
{
    TIcon icon = picture(Qt::red);
    EXPECT_THROW(icon.LoadFromFile("/nonexistent/aclock.ico"), Exception);
    EXPECT_FALSE(icon.Empty());
}

TEST(Icon, HandlesFollowThePicture)
{
    TIcon icon = picture(Qt::red);
    const HICON first = icon.Handle();
    EXPECT_EQ(icon.Handle(), first);
    EXPECT_FALSE(IconFromHandle(first).isNull());
    icon.Assign(picture(Qt::blue));
    EXPECT_TRUE(IconFromHandle(first).isNull());
    icon.Clear();
    EXPECT_EQ(icon.Handle(), 0U);
}
