// The real program on a private X display with a window manager and, unless a test says
// otherwise, a tray host, driven with xdotool as a person would drive it.
#pragma once

#include "settings/Store.h"
#include "tests/support/X11Session.h"

#include <QDir>
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
    void Launch(X11Session::Options options = {}, const QStringList& environment = {})
    {
        ASSERT_TRUE(home.isValid());
        session = std::make_unique<X11Session>(options);
        ASSERT_TRUE(session->Ready()) << session->Error().toStdString();
        QStringList variables { "QUORVEL_REGISTRY=" + StorePath(), "QT_QPA_PLATFORM=xcb",
            "XDG_CONFIG_HOME=" + home.path(), "XDG_RUNTIME_DIR=" + home.path() };
        program = session->Start(QUORVEL_BINARY, {}, variables + environment, home.path());
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

    [[nodiscard]] bool Xdotool(const QStringList& arguments)
    {
        int code = -1;
        session->Run("xdotool", arguments, &code);
        EXPECT_EQ(code, 0) << arguments.join(' ').toStdString();
        return code == 0;
    }

    QTemporaryDir home;
    std::unique_ptr<X11Session> session;
    QProcess* program = nullptr;
    QString window;
};

} // namespace e2e
