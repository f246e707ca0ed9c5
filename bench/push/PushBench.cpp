// What push gives and what it costs, through the window against a real Dovecot on loopback:
// 1. 20 messages delivered one by one into a mailbox: the time from each delivery until the
//    status line shows the new total, median and worst, beside the wait for the check timer
//    (its default of 10 minutes: 5 minutes on average, 10 at worst).
// 2. The window idle with six IDLE connections, beside the same window idle with none (push
//    off): CPU time of the process and wake-ups of its user-interface thread over the same span.
// Usage: bench_push [idle seconds, default 60]
#include "app/PushAccounts.h"
#include "app/frmMain.h"
#include "platform/core/MessageLoop.h"
#include "tests/fixtures/Dovecot.h"
#include "tests/fixtures/Wait.h"
#include "tests/support/StoreSeeds.h"
#include "tests/support/TempRegistry.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using testing_support::Dovecot;
using testing_support::WaitUntil;

constexpr int kAccounts = 6;
constexpr int kDeliveries = 20;

struct Usage {
    double cpuMs = 0; // the whole process
    long wakeUps = 0; // voluntary context switches of this (the user-interface) thread
};

Usage Now()
{
    rusage self {};
    getrusage(RUSAGE_SELF, &self);
    rusage thread {};
    getrusage(RUSAGE_THREAD, &thread);
    const double cpu
        = (self.ru_utime.tv_sec + self.ru_stime.tv_sec) * 1e3 + (self.ru_utime.tv_usec + self.ru_stime.tv_usec) / 1e3;
    return { cpu, thread.ru_nvcsw };
}

// The window idle for `seconds`: what the process used meanwhile.
Usage Idle(int seconds)
{
    const Usage before = Now();
    testing_support::RunEventsFor(seconds * 1000);
    const Usage after = Now();
    return { after.cpuMs - before.cpuMs, after.wakeUps - before.wakeUps };
}

void PrintIdle(const char* name, const Usage& u, int seconds)
{
    std::printf("  %-36s %9.2f ms CPU %8.4f %% of a core %6ld wake-ups\n", name, u.cpuMs, u.cpuMs / (seconds * 10.0),
        u.wakeUps);
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/quorvel-bench-has-no-system-bus", 1);
    QApplication application(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;

    Dovecot dovecot;
    for (int i = 0; i < kAccounts; ++i)
        dovecot.AddUser("user" + std::to_string(i), "user" + std::to_string(i) + "-secret", 1, 0);
    const std::string imaps = "imaps://127.0.0.1:" + std::to_string(dovecot.imapsPort());

    // The reference: the same window with the same accounts, push off.
    Usage without;
    {
        testing_support::TempRegistry registry;
        testing_support::StorePush(0);
        for (int i = 0; i < kAccounts; ++i)
            testing_support::StoreSecretAccount("account " + std::to_string(i), "user" + std::to_string(i), imaps);
        app::TfrmQuorvel form;
        form.btnCheckAll->click();
        without = Idle(seconds);
    }

    testing_support::TempRegistry registry;
    for (int i = 0; i < kAccounts; ++i)
        testing_support::StoreSecretAccount("account " + std::to_string(i), "user" + std::to_string(i), imaps);
    app::TfrmQuorvel form;
    form.btnCheckAll->click();
    const auto allIdling = [&] {
        for (int i = 0; i < kAccounts; ++i)
            if (!app::Push(form).Idling(QString("account %1").arg(i)))
                return false;
        return true;
    };
    if (!WaitUntil(allIdling, 20000)) {
        std::fprintf(stderr, "the push connections did not all come up\n");
        return 1;
    }

    std::vector<double> latencies;
    for (int n = 0; n < kDeliveries; ++n) {
        const QString expected = QString::number(kAccounts + n + 1) + " total number of new message(s)";
        QElapsedTimer clock;
        clock.start();
        dovecot.Deliver("user0");
        if (!WaitUntil([&] { return form.StatusBar->SimpleText().startsWith(expected); }, 10000)) {
            std::fprintf(stderr, "delivery %d not seen: %s\n", n + 1, qPrintable(form.StatusBar->SimpleText()));
            return 1;
        }
        latencies.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        // Settle: the next delivery comes to a connection in IDLE again.
        WaitUntil([&] { return app::Push(form).Idling("account 0"); }, 5000);
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf(
        "delivery to status line, %d messages, through the window (goal: median < 300 ms, worst < 1 s)\n", kDeliveries);
    std::printf(
        "  %-36s %9.1f ms median %9.1f ms worst\n", "push (IDLE)", latencies[latencies.size() / 2], latencies.back());
    std::printf("  %-36s %9.1f ms mean   %9.1f ms worst\n", "check timer, every 10 minutes", 300000.0, 600000.0);

    // The push run of the last delivery is over; the connections idle.
    const Usage with = Idle(seconds);
    std::printf("idle for %d s with %d accounts (goal: < 0.01 %% of a core, at most one wake-up per connection "
                "per keepalive)\n",
        seconds, kAccounts);
    PrintIdle("push off: no connection (reference)", without, seconds);
    PrintIdle("push on: six IDLE connections", with, seconds);
    return 0;
}
