// How the real program starts: its command line, and --hidden as a session's autostart runs it,
// with a tray host on the display and without one.
#include "tests/check/MailServiceProcess.h"
#include "tests/e2e/ProgramFixture.h"

#include <QProcess>
#include <QProcessEnvironment>

using e2e::artifact;
using e2e::kStartUpMs;
using e2e::Quorvel;
using testing_support::MailServiceProcess;
using testing_support::PollUntil;
using testing_support::X11Session;

namespace {

struct Outcome {
    int code = -1;
    QString out;
    QString err;
};

// Runs the program to its end with no display of any kind: what it prints must not need one.
Outcome RunWithoutDisplay(const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        environment.remove(name);
    process.setProcessEnvironment(environment);
    process.start(QUORVEL_BINARY, arguments);
    Outcome outcome;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return outcome;
    }
    outcome.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

class HiddenStart : public Quorvel {
protected:
    void LaunchHidden(X11Session::Options options)
    {
        service = std::make_unique<MailServiceProcess>(QStringList { "--account", "u3:pw:3" });
        ASSERT_GT(service->port(), 0);
        ASSERT_TRUE(StoreAccount("Inbox", "u3"));
        ASSERT_NO_FATAL_FAILURE(Launch(options,
            { "QUORVEL_LOGIN_HOST=" + QString::fromStdString(service->address()),
                "QUORVEL_HOMEPAGE=http://" + QString::fromStdString(service->address()) + "/" },
            { "--hidden" }));
    }

    // The first run has checked the account and saved its result.
    bool Checked()
    {
        setenv("QUORVEL_REGISTRY", StorePath().toLocal8Bit().constData(), 1);
        const auto status = settings::LoadAccount("Inbox").Status;
        unsetenv("QUORVEL_REGISTRY");
        return status && *status == "3";
    }

    std::unique_ptr<MailServiceProcess> service;
};

} // namespace

TEST(CommandLine, HelpAndVersionPrintAndLeaveAndAnUnknownOptionIsRefused)
{
    const Outcome help = RunWithoutDisplay({ "--help" });
    EXPECT_EQ(help.code, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith("Usage: quorvel")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("--hidden"));

    const Outcome version = RunWithoutDisplay({ "--version" });
    EXPECT_EQ(version.code, 0) << version.err.toStdString();
    EXPECT_EQ(version.out.toStdString(), "quorvel 0.2.4\n");

    const Outcome unknown = RunWithoutDisplay({ "--tray" });
    EXPECT_EQ(unknown.code, 2);
    EXPECT_TRUE(unknown.out.isEmpty());
    EXPECT_EQ(unknown.err.toStdString(),
        "quorvel: unknown option '--tray'\nUsage: quorvel [--hidden | --help | --version]\n");
}

TEST_F(HiddenStart, WithATrayItStartsMinimisedOutOfTheTaskBarChecksOnceAndTheIconBringsItBack)
{
    ASSERT_NO_FATAL_FAILURE(LaunchHidden({}));
    const auto icon = WaitForTrayIcon();
    ASSERT_TRUE(icon) << "no icon in the tray";
    EXPECT_TRUE(PollUntil([&] { return Iconic() && SkipsTaskBar(); })) << "not minimised to the tray";
    EXPECT_FALSE(session->Viewable(window));
    EXPECT_TRUE(PollUntil([&] { return Checked(); }, kStartUpMs)) << "no check after the start";
    session->Screenshot("root", artifact("hidden-start-with-tray.png"));

    const QPoint centre = icon->center();
    ASSERT_TRUE(Xdotool({ "mousemove", QString::number(centre.x()), QString::number(centre.y()) }));
    ASSERT_TRUE(Xdotool({ "click", "--repeat", "2", "--delay", "80", "1" }));
    EXPECT_TRUE(PollUntil([&] { return session->Viewable(window) && !Iconic(); })) << "not restored";
}

TEST_F(HiddenStart, WithoutATrayItStartsMinimisedToTheTaskBarAndChecksOnce)
{
    X11Session::Options options;
    options.trayHost = false;
    ASSERT_NO_FATAL_FAILURE(LaunchHidden(options));
    EXPECT_TRUE(PollUntil([&] { return Iconic(); })) << "not minimised";
    EXPECT_TRUE(PollUntil([&] { return Checked(); }, kStartUpMs)) << "no check after the start";
    // The task bar is the only way back.
    EXPECT_FALSE(SkipsTaskBar());
    session->Screenshot("root", artifact("hidden-start-without-tray.png"));
}
