// What push gives and what it costs, through the window against a real Dovecot on loopback:
// 1. 20 messages delivered one by one into a mailbox: the time from each delivery until the
//    status line shows the new total, median and worst, beside the time until the server tells a
//    bare IDLE connection of the same delivery (the server's own delay, which no client can
//    beat) and the wait for the check timer (its default of 10 minutes).
// 2. The window idle with six IDLE connections, beside the same window idle with none (push
//    off): CPU time of the process and wake-ups of its user-interface thread over the same span,
//    measured once the last run has settled. The default span holds one keepalive line of the
//    server's on every connection (Dovecot sends one every 2 minutes).
// Usage: bench_push [idle seconds, default 130]
#include "app/PushAccounts.h"
#include "app/frmMain.h"
#include "net/LineEnd.h"
#include "platform/core/MessageLoop.h"
#include "tests/fixtures/Dovecot.h"
#include "tests/fixtures/Wait.h"
#include "tests/support/StoreSeeds.h"
#include "tests/support/TempRegistry.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSocketNotifier>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
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

// A bare IDLE connection over plain IMAP on loopback (Dovecot counts loopback as secure): the
// reference for when the server tells a client of a delivery. Notes the time of each EXISTS.
class BareIdle {
public:
    BareIdle(std::uint16_t port, const std::string& user, const std::string& password)
    {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
            return;
        if (!Await("* OK") || !Send("a LOGIN " + user + " " + password) || !Await("a OK") || !Send("b EXAMINE INBOX")
            || !Await("b OK") || !Send("c IDLE") || !Await("+ "))
            return;
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Read(); });
    }
    ~BareIdle()
    {
        notifier_.reset();
        if (fd_ >= 0)
            close(fd_);
    }
    BareIdle(const BareIdle&) = delete;
    BareIdle& operator=(const BareIdle&) = delete;

    bool idling() const { return notifier_ != nullptr; }
    // Times (ms of `clock`) at which an EXISTS arrived, in order.
    std::vector<double> exists;
    QElapsedTimer clock;

private:
    bool Send(const std::string& line)
    {
        const std::string wire = line + "\r\n";
        return write(fd_, wire.data(), wire.size()) == static_cast<ssize_t>(wire.size());
    }
    // The next whole line received, without its end.
    std::optional<std::string> TakeLine()
    {
        const auto end = net::FindLine(pending_);
        if (!end)
            return std::nullopt;
        std::string line = pending_.substr(0, end->text);
        pending_.erase(0, end->whole);
        return line;
    }
    // Reads until a line starts with `prefix`.
    bool Await(const std::string& prefix)
    {
        for (;;) {
            while (const auto line = TakeLine()) {
                if (line->rfind(prefix, 0) == 0)
                    return true;
                if (line->rfind(prefix.substr(0, 2), 0) == 0)
                    return false; // the tagged answer, but not OK
            }
            char block[4096];
            const ssize_t n = read(fd_, block, sizeof block);
            if (n <= 0)
                return false;
            pending_.append(block, static_cast<std::size_t>(n));
        }
    }
    void Read()
    {
        char block[4096];
        const ssize_t n = read(fd_, block, sizeof block);
        if (n <= 0) {
            notifier_->setEnabled(false);
            return;
        }
        const double at = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        pending_.append(block, static_cast<std::size_t>(n));
        while (const auto line = TakeLine())
            if (line->find(" EXISTS") != std::string::npos)
                exists.push_back(at);
    }

    int fd_ = -1;
    std::string pending_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Worst(const std::vector<double>& v)
{
    return *std::max_element(v.begin(), v.end());
}

// Lets the window finish what the last run left (the store, the notice, deferred deletes).
void Settle(app::TfrmQuorvel& form)
{
    WaitUntil([&] { return form.btnCheckAll->isEnabled(); }, 20000);
    testing_support::RunEventsFor(3000);
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/quorvel-bench-has-no-system-bus", 1);
    QApplication application(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 130;

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
        Settle(form);
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

    BareIdle bare(dovecot.imapPort(), "user0", "user0-secret");
    if (!bare.idling()) {
        std::fprintf(stderr, "the bare IDLE connection did not come up\n");
        return 1;
    }

    std::vector<double> latencies, server;
    for (int n = 0; n < kDeliveries; ++n) {
        const QString expected = QString::number(kAccounts + n + 1) + " total number of new message(s)";
        QElapsedTimer clock;
        bare.exists.clear();
        clock.start();
        bare.clock.start();
        dovecot.Deliver("user0");
        if (!WaitUntil([&] { return form.StatusBar->SimpleText().startsWith(expected); }, 10000)) {
            std::fprintf(stderr, "delivery %d not seen: %s\n", n + 1, qPrintable(form.StatusBar->SimpleText()));
            return 1;
        }
        latencies.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        // Settle: the next delivery comes to a connection in IDLE again.
        WaitUntil([&] { return app::Push(form).Idling("account 0") && !bare.exists.empty(); }, 5000);
        server.push_back(bare.exists.empty() ? 0.0 : bare.exists.front());
    }
    std::vector<double> own;
    for (std::size_t i = 0; i < latencies.size(); ++i)
        own.push_back(latencies[i] - server[i]);
    std::printf(
        "delivery to status line, %d messages, through the window (goal: median < 300 ms, worst < 1 s)\n", kDeliveries);
    std::printf("  %-44s %9.1f ms median %9.1f ms worst\n", "push (IDLE): delivery to status line", Median(latencies),
        Worst(latencies));
    std::printf("  %-44s %9.1f ms median %9.1f ms worst\n", "server alone: delivery to EXISTS (reference)",
        Median(server), Worst(server));
    std::printf(
        "  %-44s %9.1f ms median %9.1f ms worst\n", "Quorvel's part: EXISTS to status line", Median(own), Worst(own));
    std::printf("  %-44s %9.1f ms mean   %9.1f ms worst\n", "check timer, every 10 minutes", 300000.0, 600000.0);

    // The connections idle once the push run of the last delivery has settled.
    Settle(form);
    const Usage with = Idle(seconds);
    std::printf("idle for %d s with %d accounts (goal: < 0.01 %% of a core, at most one wake-up per connection "
                "per keepalive: %d in this span)\n",
        seconds, kAccounts, kAccounts * std::max(1, seconds / 120));
    PrintIdle("push off: no connection (reference)", without, seconds);
    PrintIdle("push on: six IDLE connections", with, seconds);
    return 0;
}
