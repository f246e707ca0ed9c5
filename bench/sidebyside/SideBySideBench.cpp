// Prints the time of a check-all run over 8 IMAP accounts behind a 50 ms round trip with the
// checks side by side, beside the same run with each check in its turn and beside the slowest
// check of one account alone. As root with iproute2, the program moves into a network namespace
// of its own, delays its loopback there by 25 ms each way (tc netem) and runs Dovecot inside
// it; nothing outside the namespace is touched, and the namespace ends with the program.
// Where that cannot be done (not root, no tc, a kernel without netem) it says why, and a relay
// on loopback holds every byte 25 ms each way instead.
#include "app/CheckState.h"
#include "app/frmMain.h"
#include "platform/desktop/Application.h"
#include "tests/fixtures/Dovecot.h"
#include "tests/fixtures/Relay.h"
#include "tests/support/StoreSeeds.h"
#include "tests/support/TempRegistry.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sched.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kAccounts = 8;
constexpr int kRounds = 3;

bool Run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A namespace of this process's own whose loopback holds every packet 25 ms.
const char* EnterSlowNetwork()
{
    if (::geteuid() != 0)
        return "needs root";
    if (!Run("command -v tc") || !Run("command -v ip"))
        return "needs iproute2 (ip, tc)";
    if (::unshare(CLONE_NEWNET) != 0)
        return "cannot make a network namespace";
    if (!Run("ip link set lo up") || !Run("tc qdisc add dev lo root netem delay 25ms"))
        return "cannot delay the namespace's loopback (tc netem)";
    return nullptr;
}

// The best of a few check-all runs of the window's accounts, in milliseconds; negative when a
// run did not report the total it should.
double TimeRuns(std::size_t atOnce, int accounts, const std::string& imaps)
{
    testing_support::TempRegistry registry;
    testing_support::StorePush(0);
    for (int i = 0; i < accounts; ++i)
        testing_support::StoreSecretAccount("account " + std::to_string(i), "user" + std::to_string(i), imaps);
    app::TfrmQuorvel form;
    app::CheckState(form).checksAtOnce = atOnce;
    const QString wanted = QString::number(accounts) + " total number of new message(s), all accounts";
    double best = -1;
    for (int r = 0; r < kRounds; ++r) {
        QElapsedTimer clock;
        clock.start();
        form.btnCheckAll->click();
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        if (form.StatusBar->SimpleText() != wanted) {
            std::fprintf(stderr, "the run said \"%s\"\n", form.StatusBar->SimpleText().toUtf8().constData());
            return -1;
        }
        best = best < 0 ? ms : std::min(best, ms);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const char* noNetem = EnterSlowNetwork();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/quorvel-bench-has-no-system-bus", 1);
    QApplication application(argc, argv);

    testing_support::Dovecot dovecot;
    for (int i = 0; i < kAccounts; ++i)
        dovecot.AddUser("user" + std::to_string(i), "user" + std::to_string(i) + "-secret", 1, 0);
    std::unique_ptr<testing_support::Relay> relay;
    if (noNetem) {
        std::printf("tc netem: %s; a relay holds every byte 25 ms each way instead\n", noNetem);
        relay = std::make_unique<testing_support::Relay>(dovecot.imapsPort(), std::chrono::milliseconds(25));
    } else {
        std::printf("tc netem delays the namespace's loopback 25 ms each way\n");
    }
    const std::string imaps = "imaps://127.0.0.1:" + std::to_string(relay ? relay->port() : dovecot.imapsPort());

    const double sideBySide = TimeRuns(8, kAccounts, imaps);
    const double inTurn = TimeRuns(0, kAccounts, imaps);
    const double single = TimeRuns(8, 1, imaps);
    if (sideBySide < 0 || inTurn < 0 || single < 0)
        return 1;
    std::printf("check-all, %d IMAP accounts over TLS, 50 ms round trip (best of %d runs)\n", kAccounts, kRounds);
    std::printf("  one account alone                 %8.1f ms\n", single);
    std::printf("  side by side                      %8.1f ms  %5.2fx one account (goal at most 1.50x)\n", sideBySide,
        sideBySide / single);
    std::printf("  each in its turn                  %8.1f ms  %5.2fx one account\n", inTurn, inTurn / single);
    return 0;
}
