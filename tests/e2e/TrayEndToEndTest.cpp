// The real program on a private X display with a window manager and a tray host, driven with
// xdotool as a person would drive it.
#include "settings/Store.h"
#include "tests/support/X11Session.h"

#include <QCursor>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

using testing_support::PollUntil;
using testing_support::X11Session;

namespace {

// A loaded machine, or a sanitizer build, can take many seconds to bring a window up.
constexpr int kStartUpMs = 40000;

QString artifact(const QString& name)
{
    QDir().mkpath(QUORVEL_ARTIFACTS);
    return QString(QUORVEL_ARTIFACTS) + "/" + name;
}

class Quorvel : public ::testing::Test {
protected:
    void Launch(X11Session::Options options = {})
    {
        ASSERT_TRUE(home.isValid());
        session = std::make_unique<X11Session>(options);
        ASSERT_TRUE(session->Ready()) << session->Error().toStdString();
        program = session->Start(QUORVEL_BINARY, {},
            { "QUORVEL_REGISTRY=" + StorePath(), "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + home.path(),
                "XDG_RUNTIME_DIR=" + home.path() },
            home.path());
        ASSERT_TRUE(PollUntil(
            [&] {
                const auto found = session->FindWindows({ "--onlyvisible", "--name", "^Quorvel$" });
                if (!found.empty())
                    window = found.front();
                return !found.empty();
            },
            kStartUpMs))
            << "the main window did not appear; the program "
            << (program->state() == QProcess::Running ? "runs" : "ended")
            << ", its errors: " << program->readAllStandardError().toStdString();
    }

    QString StorePath() const { return home.path() + "/registry.sqlite3"; }

    void TearDown() override
    {
        if (session && session->Ready())
            session->Screenshot("root",
                artifact(QString::fromStdString(::testing::UnitTest::GetInstance()->current_test_info()->name())
                    + "-end.png"));
    }

    bool Iconic() const { return session->Property(window, "WM_STATE").contains("Iconic"); }
    bool SkipsTaskBar() const
    {
        return session->Property(window, "_NET_WM_STATE").contains("_NET_WM_STATE_SKIP_TASKBAR");
    }

    std::optional<QRect> WaitForTrayIcon()
    {
        std::optional<QRect> icon;
        // Settled: the same place twice in a row.
        std::optional<QRect> previous;
        PollUntil(
            [&] {
                previous = icon;
                icon = session->TrayIconOf("quorvel");
                return icon && previous == icon;
            },
            kStartUpMs);
        return icon;
    }

    void Xdotool(const QStringList& arguments)
    {
        int code = -1;
        session->Run("xdotool", arguments, &code);
        ASSERT_EQ(code, 0) << arguments.join(' ').toStdString();
    }

    QTemporaryDir home;
    std::unique_ptr<X11Session> session;
    QProcess* program = nullptr;
    QString window;
};

} // namespace

TEST_F(Quorvel, ShowsItsWindowAndItsIconInTheTray)
{
    ASSERT_NO_FATAL_FAILURE(Launch());
    const auto icon = WaitForTrayIcon();
    ASSERT_TRUE(icon) << "no icon in the tray";
    EXPECT_FALSE(SkipsTaskBar());
    const auto frame = session->Geometry(window);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->size(), QSize(428, 429));
    EXPECT_TRUE(session->Screenshot(window, artifact("main-window.png")));
    EXPECT_TRUE(session->Screenshot("root", artifact("screen-at-start.png")));
}

TEST_F(Quorvel, ItsTitleBarIsAskedForMenuMinimiseAndCloseButNoMaximise)
{
    Launch();
    // The window's Motif hints: flags, functions, decorations, as xprop prints them.
    const QString hints = session->Property(window, "_MOTIF_WM_HINTS");
    const QStringList fields = hints.section('=', 1).split(',', Qt::SkipEmptyParts);
    ASSERT_GE(fields.size(), 3) << hints.toStdString();
    bool ok = false;
    const unsigned functions = fields[1].trimmed().toUInt(&ok, 16);
    ASSERT_TRUE(ok) << hints.toStdString();
    const unsigned decorations = fields[2].trimmed().toUInt(&ok, 16);
    ASSERT_TRUE(ok) << hints.toStdString();
    constexpr unsigned resize = 0x2, minimise = 0x8, maximise = 0x10, close = 0x20;
    EXPECT_EQ(functions & (resize | minimise | maximise | close), resize | minimise | close) << hints.toStdString();
    constexpr unsigned border = 0x2, title = 0x8, menu = 0x10, minimiseButton = 0x20, maximiseButton = 0x40;
    EXPECT_EQ(
        decorations & (border | title | menu | minimiseButton | maximiseButton), border | title | menu | minimiseButton)
        << hints.toStdString();
    EXPECT_TRUE(session->Screenshot("root", artifact("title-bar.png")));
}

TEST_F(Quorvel, MinimisedItLeavesTheTaskBarAndADoubleClickOnTheIconBringsItBack)
{
    ASSERT_NO_FATAL_FAILURE(Launch());
    const auto icon = WaitForTrayIcon();
    ASSERT_TRUE(icon);
    Xdotool({ "windowminimize", window });
    ASSERT_TRUE(PollUntil([&] { return Iconic() && SkipsTaskBar(); })) << "not minimised to the tray";
    EXPECT_FALSE(session->Viewable(window));

    const QPoint centre = icon->center();
    Xdotool({ "mousemove", QString::number(centre.x()), QString::number(centre.y()) });
    Xdotool({ "click", "--repeat", "2", "--delay", "80", "1" });
    ASSERT_TRUE(PollUntil([&] { return session->Viewable(window) && !Iconic(); })) << "not restored";
    EXPECT_TRUE(PollUntil([&] { return session->ActiveWindow() == window; })) << "not brought to the front";
    // From the first minimise on there is no task-bar entry.
    EXPECT_TRUE(SkipsTaskBar());
    session->Screenshot("root", artifact("screen-restored.png"));
}

TEST_F(Quorvel, TheTrayMenuOpensAtThePointerAndCloseSavesAndQuits)
{
    ASSERT_NO_FATAL_FAILURE(Launch());
    const auto icon = WaitForTrayIcon();
    ASSERT_TRUE(icon);

    // An account added through the window, to be saved on the way out.
    // The window manager may hand the focus over a moment after the activation is reported,
    // so a key pressed too early goes nowhere: press again until the box shows.
    QString dialog;
    const auto inputBoxShown = [&] {
        const auto found = session->FindWindows({ "--onlyvisible", "--name", "^New account$" });
        if (!found.empty())
            dialog = found.front();
        return !found.empty();
    };
    for (int attempt = 0; attempt < 4 && !inputBoxShown(); ++attempt) {
        Xdotool({ "windowactivate", "--sync", window });
        Xdotool({ "windowfocus", "--sync", window });
        Xdotool({ "key", "--clearmodifiers", "alt+d" });
        PollUntil(inputBoxShown, 3000);
    }
    ASSERT_FALSE(dialog.isEmpty()) << "no input box";
    session->Screenshot(dialog, artifact("new-account-box.png"));
    Xdotool({ "type", "--delay", "20", "Typed by hand" });
    Xdotool({ "key", "Return" });
    ASSERT_TRUE(PollUntil([&] {
        return session->FindWindows({ "--onlyvisible", "--name", "^New account$" }).empty();
    }));

    const QPoint centre = icon->center();
    Xdotool({ "mousemove", QString::number(centre.x()), QString::number(centre.y()) });
    Xdotool({ "click", "3" });
    QString menu;
    std::optional<QRect> menuRect;
    ASSERT_TRUE(PollUntil([&] {
        for (const QString& w : session->FindWindows({ "--onlyvisible", "--class", "quorvel" })) {
            const auto rect = session->Geometry(w);
            if (w != window && rect && rect->height() > 30 && rect->width() > 40) {
                menu = w;
                menuRect = rect;
                return true;
            }
        }
        return false;
    })) << "no menu";
    session->Screenshot("root", artifact("tray-menu.png"));
    // At the pointer: a corner of the menu sits on it (moved up and left to stay on the screen).
    EXPECT_TRUE(menuRect->adjusted(-2, -2, 2, 2).contains(centre))
        << menuRect->x() << "," << menuRect->y() << " " << menuRect->width() << "x" << menuRect->height();

    Xdotool({ "key", "l" }); // "C&lose"
    ASSERT_TRUE(program->waitForFinished(30000)) << "still running after Close";
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program->exitCode(), 0);

    setenv("QUORVEL_REGISTRY", StorePath().toLocal8Bit().constData(), 1);
    const auto accounts = settings::LoadAccountList();
    EXPECT_EQ(accounts.Names, std::vector<std::string> { "Typed by hand" });
    const auto screen = settings::LoadScreen();
    EXPECT_TRUE(screen.Left && screen.Top);
    EXPECT_EQ(screen.Width, 428);
    EXPECT_EQ(screen.Height, 429);
    const auto stored = settings::LoadSettings();
    EXPECT_EQ(stored.Delay, "10");
    unsetenv("QUORVEL_REGISTRY");
}

TEST_F(Quorvel, WithoutATrayHostMinimisingKeepsTheTaskBarEntry)
{
    X11Session::Options options;
    options.trayHost = false;
    ASSERT_NO_FATAL_FAILURE(Launch(options));
    Xdotool({ "windowminimize", window });
    ASSERT_TRUE(PollUntil([&] { return Iconic(); }));
    // The handler runs right after the state change; give it time to do the wrong thing.
    EXPECT_FALSE(PollUntil([&] { return SkipsTaskBar(); }, 1500));
    program->terminate(); // as at logout: the program still saves on the way out
    ASSERT_TRUE(program->waitForFinished(30000));
    EXPECT_EQ(program->exitCode(), 0);
    setenv("QUORVEL_REGISTRY", StorePath().toLocal8Bit().constData(), 1);
    EXPECT_EQ(settings::LoadScreen().Width, 428);
    unsetenv("QUORVEL_REGISTRY");
}
