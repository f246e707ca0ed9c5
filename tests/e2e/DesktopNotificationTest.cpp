// The real program and a real notification daemon (dunst) on a private session bus and X
// display: new mail pops up a notice, and a click on the notice brings the window back.
#include "tests/check/MailServiceProcess.h"
#include "tests/e2e/ProgramFixture.h"
#include "tests/fixtures/desktop/SessionBus.h"

#include <QDBusConnectionInterface>
#include <QFile>

using e2e::artifact;
using e2e::kStartUpMs;
using e2e::Quorvel;
using testing_support::MailServiceProcess;
using testing_support::PollUntil;
using testing_support::SessionBus;

namespace {

// Notices stay until clicked, and a left click runs a notice's default action.
const char* const kDunstConfiguration = R"([global]
    monitor = 0
    follow = none
    width = 320
    height = 200
    origin = top-right
    offset = 12x12
    font = Monospace 10
    markup = full
    format = "<b>%s</b>\n%b"
    icon_position = left
    show_indicators = no
    max_icon_size = 48
    frame_width = 2
    frame_color = "#88aacc"
    mouse_left_click = do_action, close_current
    mouse_right_click = close_current
[urgency_normal]
    background = "#20303f"
    foreground = "#ffffff"
    timeout = 0
)";

class DesktopNotification : public Quorvel {
protected:
    void TearDown() override
    {
        Quorvel::TearDown();
        session.reset(); // the program and the daemon go before their bus
    }

    QString NoticeWindow()
    {
        const auto found = session->FindWindows({ "--onlyvisible", "--class", "[Dd]unst" });
        return found.empty() ? QString() : found.back();
    }

    SessionBus bus;
};

} // namespace

TEST_F(DesktopNotification, NewMailPopsUpANoticeAndAClickOnItBringsTheWindowBack)
{
    ASSERT_TRUE(bus.Ready()) << bus.Error().toStdString();
    MailServiceProcess service({ "--account", "u3:pw:3", "--account", "u2:pw:2" });
    ASSERT_GT(service.port(), 0);
    ASSERT_TRUE(StoreAccount("Work", "u3"));
    ASSERT_TRUE(StoreAccount("Home", "u2"));

    ASSERT_NO_FATAL_FAILURE(
        Launch({}, { bus.Environment(), "QUORVEL_LOGIN_HOST=" + QString::fromStdString(service.address()) }));
    const auto icon = WaitForTrayIcon();
    ASSERT_TRUE(icon) << "no icon in the tray";

    const QString config = home.filePath("dunstrc");
    QFile file(config);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kDunstConfiguration);
    file.close();
    QProcess* daemon = session->Start("dunst", { "-config", config }, { bus.Environment() });
    QDBusConnection probe = bus.Connect("probe");
    ASSERT_TRUE(PollUntil(
        [&] { return probe.interface()->isServiceRegistered("org.freedesktop.Notifications").value(); }, kStartUpMs))
        << "dunst did not come up: " << daemon->readAllStandardError().toStdString();

    // "Check All" from the tray menu, as a person would pick it.
    const QPoint centre = icon->center();
    ASSERT_TRUE(Xdotool({ "mousemove", QString::number(centre.x()), QString::number(centre.y()) }));
    ASSERT_TRUE(Xdotool({ "click", "3" }));
    ASSERT_TRUE(PollUntil([&] {
        for (const QString& w : session->FindWindows({ "--onlyvisible", "--class", "quorvel" }))
            if (w != window && session->Geometry(w) && session->Geometry(w)->height() > 30)
                return true;
        return false;
    })) << "no menu";
    ASSERT_TRUE(Xdotool({ "key", "c" }));

    QString notice;
    ASSERT_TRUE(PollUntil([&] { return !(notice = NoticeWindow()).isEmpty(); }, kStartUpMs)) << "no notice";
    PollUntil([] { return false; }, 500); // let it finish drawing
    EXPECT_TRUE(session->Screenshot("root", artifact("new-mail-notice.png")));
    EXPECT_TRUE(session->Screenshot(notice, artifact("new-mail-notice-window.png")));

    ASSERT_TRUE(Xdotool({ "windowminimize", window }));
    ASSERT_TRUE(PollUntil([&] { return Iconic() && !session->Viewable(window); })) << "not minimised";
    const auto noticeRect = session->Geometry(notice);
    ASSERT_TRUE(noticeRect);
    ASSERT_TRUE(
        Xdotool({ "mousemove", QString::number(noticeRect->center().x()), QString::number(noticeRect->center().y()) }));
    ASSERT_TRUE(Xdotool({ "click", "1" }));
    ASSERT_TRUE(PollUntil([&] { return session->Viewable(window) && !Iconic(); })) << "not restored";
    EXPECT_TRUE(PollUntil([&] { return NoticeWindow().isEmpty(); })) << "the notice stayed";
    session->Screenshot("root", artifact("after-notice-click.png"));
}
