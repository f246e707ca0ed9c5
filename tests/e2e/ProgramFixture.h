// The real program on a private X display with a window manager and, unless a test says
// otherwise, a tray host, driven with xdotool as a person would drive it.
#pragma once

#include "settings/Store.h"
#include "tests/fixtures/X11Session.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace e2e {

using testing_support::PollUntil;
using testing_support::X11Session;

// A loaded machine, or a sanitizer build, can take many seconds to bring a window up.
constexpr int kStartUpMs = 40000;

inline QString artifact(const QString& name)
{
    QDir().mkpath(QUORVEL_ARTIFACTS);
    return QString(QUORVEL_ARTIFACTS) + "/" + name;
}

class Quorvel : public ::testing::Test {
protected:
    // Starts the program and waits for its main window: a visible one, unless it starts hidden.
    void Launch(
        X11Session::Options options = {}, const QStringList& environment = {}, const QStringList& arguments = {})
    {
        ASSERT_TRUE(home.isValid());
        session = std::make_unique<X11Session>(options);
        ASSERT_TRUE(session->Ready()) << session->Error().toStdString();
        QStringList variables { "QUORVEL_REGISTRY=" + StorePath(), "QT_QPA_PLATFORM=xcb",
            "XDG_CONFIG_HOME=" + home.path(), "XDG_RUNTIME_DIR=" + home.path() };
        program = session->Start(binary, arguments, variables + environment, home.path());
        const bool hidden = arguments.contains("--hidden");
        ASSERT_TRUE(PollUntil(
            [&] {
                auto found = session->FindWindows(hidden ? QStringList { "--name", "^Quorvel$" }
                                                         : QStringList { "--onlyvisible", "--name", "^Quorvel$" });
                // A window that is not shown yet may be the group leader, which has the same name
                // but is never mapped: the main window is the one the window manager manages.
                if (hidden)
                    std::erase_if(
                        found, [&](const QString& w) { return !session->Property(w, "WM_STATE").contains("state"); });
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

    // An account in the program's store, before the program starts.
    [[nodiscard]] bool StoreAccount(
        const std::string& name, const std::string& user, const std::string& password = "pw")
    {
        setenv("QUORVEL_REGISTRY", StorePath().toLocal8Bit().constData(), 1);
        settings::TAccount a;
        a.Name = name;
        a.Host = "Hotmail";
        a.UserName = user;
        a.Password = password;
        a.LastChecked = "N/A";
        a.Status = "N/A";
        const bool stored = settings::SaveAccount(a);
        unsetenv("QUORVEL_REGISTRY");
        return stored;
    }

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

    // Opens the tray menu with the right button and waits for it.
    void OpenTrayMenu(const QRect& icon)
    {
        ASSERT_TRUE(Xdotool({ "mousemove", QString::number(icon.center().x()), QString::number(icon.center().y()) }));
        ASSERT_TRUE(Xdotool({ "click", "3" }));
        ASSERT_TRUE(PollUntil([&] {
            for (const QString& w : session->FindWindows({ "--onlyvisible", "--class", "quorvel" })) {
                const auto rect = session->Geometry(w);
                if (w != window && rect && rect->height() > 30 && rect->width() > 40)
                    return true;
            }
            return false;
        })) << "no menu";
    }

    // The icon as the tray host shows it now.
    QImage IconOnScreen(const QRect& icon)
    {
        const QString file = home.path() + "/screen.png";
        if (!session->Screenshot("root", file))
            return {};
        return QImage(file).copy(icon).convertToFormat(QImage::Format_RGB32);
    }

    // Pixels of the count badge's red in the bottom-right quarter of a picture.
    static int BadgePixels(const QImage& icon)
    {
        int red = 0;
        for (int y = icon.height() / 2; y < icon.height(); ++y)
            for (int x = icon.width() / 2; x < icon.width(); ++x)
                red += icon.pixel(x, y) == qRgb(208, 0, 0);
        return red;
    }

    [[nodiscard]] bool Xdotool(const QStringList& arguments)
    {
        int code = -1;
        session->Run("xdotool", arguments, &code);
        EXPECT_EQ(code, 0) << arguments.join(' ').toStdString();
        return code == 0;
    }

    QTemporaryDir home;
    QString binary = QUORVEL_BINARY;
    std::unique_ptr<X11Session> session;
    QProcess* program = nullptr;
    QString window;
};

} // namespace e2e
