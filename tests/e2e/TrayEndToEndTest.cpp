// The real program on a private X display with a window manager and a tray host, driven with
// xdotool as a person would drive it.
#include "settings/Store.h"
#include "tests/e2e/ProgramFixture.h"

#include <QCursor>

#include <cstdlib>

using e2e::artifact;
using e2e::Quorvel;
using testing_support::PollUntil;
using testing_support::X11Session;

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
    ASSERT_TRUE(Xdotool({ "windowminimize", window }));
    ASSERT_TRUE(PollUntil([&] { return Iconic() && SkipsTaskBar(); })) << "not minimised to the tray";
    EXPECT_FALSE(session->Viewable(window));

    const QPoint centre = icon->center();
    ASSERT_TRUE(Xdotool({ "mousemove", QString::number(centre.x()), QString::number(centre.y()) }));
    // A single click does nothing on a tray that reports double clicks; give it time to do the
    // wrong thing.
    ASSERT_TRUE(Xdotool({ "click", "1" }));
    EXPECT_FALSE(PollUntil([&] { return session->Viewable(window); }, 1500)) << "a single click restored it";
    ASSERT_TRUE(Xdotool({ "click", "--repeat", "2", "--delay", "80", "1" }));
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
        ASSERT_TRUE(Xdotool({ "windowactivate", "--sync", window }));
        ASSERT_TRUE(Xdotool({ "windowfocus", "--sync", window }));
        ASSERT_TRUE(Xdotool({ "key", "--clearmodifiers", "alt+d" }));
        PollUntil(inputBoxShown, 3000);
    }
    ASSERT_FALSE(dialog.isEmpty()) << "no input box";
    session->Screenshot(dialog, artifact("new-account-box.png"));
    ASSERT_TRUE(Xdotool({ "type", "--delay", "20", "Typed by hand" }));
    ASSERT_TRUE(Xdotool({ "key", "Return" }));
    ASSERT_TRUE(PollUntil([&] {
        return session->FindWindows({ "--onlyvisible", "--name", "^New account$" }).empty();
    }));

    const QPoint centre = icon->center();
    ASSERT_TRUE(Xdotool({ "mousemove", QString::number(centre.x()), QString::number(centre.y()) }));
    ASSERT_TRUE(Xdotool({ "click", "3" }));
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

    ASSERT_TRUE(Xdotool({ "key", "l" })); // "C&lose"
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
    ASSERT_TRUE(Xdotool({ "windowminimize", window }));
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
