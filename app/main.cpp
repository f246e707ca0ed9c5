// Entry of the program: the application object, the main window, the message loop, the end.
#include "app/CommandLine.h"
#include "app/Guard.h"
#include "app/HiddenStart.h"
#include "app/KeyringTokenStore.h"
#include "app/Pictures.h"
#include "app/frmMain.h"
#include "platform/desktop/Application.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalSocket[2] = { -1, -1 };

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalSocket[0], &byte, 1);
}

// A termination request from outside (logout, kill) ends the program the ordinary way, so that
// the current account, the settings and the window bounds are saved as on every other way out.
std::unique_ptr<QSocketNotifier> watchTerminationSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalSocket) != 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(g_signalSocket[1], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [] {
        char byte;
        [[maybe_unused]] const auto got = ::read(g_signalSocket[1], &byte, 1);
        platform::Application::instance().Terminate();
    });
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    return notifier;
}

} // namespace

int main(int argc, char** argv)
{
    // Read before the application object exists: --help, --version and a refusal need no display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const app::CommandLine line = app::ReadCommandLine(arguments);
    switch (line.action) {
    case app::CommandLine::Action::Help:
        std::fputs(qPrintable(app::UsageText()), stdout);
        return 0;
    case app::CommandLine::Action::Version:
        std::fputs(qPrintable(app::VersionText()), stdout);
        return 0;
    case app::CommandLine::Action::Refuse:
        std::fprintf(stderr, "quorvel: %s\n%s", qPrintable(line.error), qPrintable(app::ShortUsageText()));
        return 2;
    case app::CommandLine::Action::Run:
        break;
    }

    std::signal(SIGPIPE, SIG_IGN);
    QApplication qtApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName("quorvel");
    QApplication::setWindowIcon(app::ProgramIcon());
    auto& application = platform::Application::instance();
    application.SetTitle("quorvel");
    const auto terminationWatch = watchTerminationSignals();

    // Before the window loads an account or starts a check.
    const app::TokenKeeping tokenKeeping;
    int result = 0;
    {
        app::TfrmQuorvel frmQuorvel;
        if (!application.Terminated()) {
            if (line.hidden)
                app::StartHidden(frmQuorvel);
            else
                frmQuorvel.show();
            result = QApplication::exec();
        }
    }
    return result;
}
