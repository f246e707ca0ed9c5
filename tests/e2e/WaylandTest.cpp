// The real program in a Wayland session (weston, headless) with no X display anywhere: it shows
// its window, reaches the tray as a StatusNotifierItem on a private bus, and checks mail.
#include "tests/check/MailServiceProcess.h"
#include "tests/e2e/ProgramFixture.h"
#include "tests/fixtures/desktop/SessionBus.h"
#include "tests/fixtures/desktop/StatusNotifierHost.h"
#include "tests/fixtures/desktop/WaylandSession.h"

using e2e::artifact;
using e2e::kStartUpMs;
using testing_support::MailServiceProcess;
using testing_support::PollUntil;
using testing_support::SessionBus;
using testing_support::StatusNotifierHost;
using testing_support::WaylandSession;

namespace {

// Pixels that differ between two pictures of the screen.
int Changed(const QImage& before, const QImage& after)
{
    if (before.size() != after.size())
        return -1;
    int changed = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            changed += before.pixel(x, y) != after.pixel(x, y);
    return changed;
}

} // namespace

TEST(Wayland, TheProgramShowsItsWindowReachesTheTrayAndChecksMail)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    SessionBus bus;
    ASSERT_TRUE(bus.Ready()) << bus.Error().toStdString();
    StatusNotifierHost host(bus.Address());
    ASSERT_TRUE(host.Ready());
    MailServiceProcess service({ "--account", "u3:pw:3" });
    ASSERT_GT(service.port(), 0);
    const QString store = home.path() + "/registry.sqlite3";
    setenv("QUORVEL_REGISTRY", store.toLocal8Bit().constData(), 1);
    settings::TAccount account;
    account.Name = "Inbox";
    account.Host = "Hotmail";
    account.UserName = "u3";
    account.Password = "pw";
    ASSERT_TRUE(settings::SaveAccount(account));
    unsetenv("QUORVEL_REGISTRY");

    WaylandSession session;
    ASSERT_TRUE(session.Ready()) << session.Error().toStdString();
    const QImage empty = session.Screenshot();
    ASSERT_FALSE(empty.isNull()) << "no screenshot of the empty session";

    // No platform named: the program takes Wayland because the session says it is one.
    QProcess* program = session.Start(QUORVEL_BINARY, {},
        { "QUORVEL_REGISTRY=" + store, "XDG_CONFIG_HOME=" + home.path(), bus.Environment(),
            "QUORVEL_LOGIN_HOST=" + QString::fromStdString(service.address()),
            "QUORVEL_HOMEPAGE=http://" + QString::fromStdString(service.address()) + "/" },
        home.path());
    ASSERT_TRUE(program->waitForStarted(kStartUpMs));
    ASSERT_TRUE(
        PollUntil([&] { return !host.Items().empty() || program->state() == QProcess::NotRunning; }, kStartUpMs))
        << "no item registered";
    ASSERT_EQ(program->state(), QProcess::Running) << program->readAllStandardError().toStdString();
    ASSERT_FALSE(host.Items().empty());
    const QString item = host.Items().front();

    // The window: a large part of the screen changes once it is drawn.
    QImage shown;
    EXPECT_TRUE(PollUntil(
        [&] {
            shown = session.Screenshot();
            return Changed(empty, shown) > 428 * 429 / 2;
        },
        kStartUpMs))
        << "the window did not appear: " << Changed(empty, shown) << " pixels changed";
    EXPECT_TRUE(shown.save(artifact("wayland-window.png")));

    int checkAll = -1, close = -1;
    for (const auto& e : host.Menu(item)) {
        if (e.label == "_Check All")
            checkAll = e.id;
        if (e.label == "C_lose")
            close = e.id;
    }
    ASSERT_GE(checkAll, 0);
    host.ClickMenuEntry(item, checkAll);
    EXPECT_TRUE(PollUntil(
        [&] {
            const auto tip = host.ItemToolTip(item);
            return tip && tip->title == "3 total number of new message(s), all accounts";
        },
        kStartUpMs))
        << "no check";
    session.Screenshot().save(artifact("wayland-after-check.png"));

    host.ClickMenuEntry(item, close);
    ASSERT_TRUE(program->waitForFinished(30000)) << "still running after Close";
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program->exitCode(), 0);
    const QString errors = QString::fromLocal8Bit(program->readAllStandardError());
    EXPECT_FALSE(errors.contains("xcb", Qt::CaseInsensitive)) << errors.toStdString();
}
