// IMAP checks (TLS, login, STATUS of the INBOX, logout) against Dovecot on loopback, with curl
// doing the same as the reference. Prints figures; asserts nothing.
#include "net/ImapCheck.h"
#include "tests/fixtures/Dovecot.h"
#include "tests/fixtures/TestCertificates.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using testing_support::Dovecot;

namespace {

double Milliseconds(const std::function<void()>& work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

struct Figures {
    double median;
    double best;
};

Figures Summary(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return { v[v.size() / 2], v.front() };
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int checks = argc > 1 ? std::atoi(argv[1]) : 100;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;

    Dovecot dovecot;
    dovecot.AddUser("anna@example.org", "anna-secret", 3, 2);
    const std::string ca = testing_support::TestCertificates::Shared().authorityFile;
    const std::string port = std::to_string(dovecot.imapsPort());
    // One curl process per check, as each check of the program is a connection of its own.
    const std::string curl = "curl --silent --show-error --cacert '" + ca + "' --user 'anna@example.org:anna-secret' "
        + "'imaps://localhost:" + port + "/' -X 'STATUS INBOX (UNSEEN)' >/dev/null";
    std::printf("Dovecot on 127.0.0.1:%s (imaps); %d checks a round, %d rounds, median and best\n", port.c_str(),
        checks, rounds);

    bool wrong = false;
    std::vector<double> ours;
    std::vector<double> theirs;
    std::vector<double> starts;
    for (int r = 0; r < rounds; ++r) {
        ours.push_back(Milliseconds([&] {
            for (int i = 0; i < checks; ++i) {
                net::TImapCheck client(nullptr);
                client.Host = "localhost";
                client.Port = dovecot.imapsPort();
                client.TimeOut = 10000;
                const net::MailCount c = client.CheckMailbox("anna@example.org", "anna-secret", "INBOX");
                wrong = wrong || c.outcome != net::MailCount::Outcome::Count || c.count != 3;
            }
        }));
        theirs.push_back(Milliseconds([&] {
            for (int i = 0; i < checks; ++i)
                if (std::system(curl.c_str()) != 0)
                    wrong = true;
        }));
        starts.push_back(Milliseconds([&] {
            for (int i = 0; i < checks; ++i)
                if (std::system("curl --version >/dev/null") != 0)
                    wrong = true;
        }));
    }
    const Figures a = Summary(ours);
    const Figures b = Summary(theirs);
    const Figures s = Summary(starts);
    std::printf(
        "%d IMAP checks   TImapCheck %8.1f ms (best %8.1f)   curl %8.1f ms (best %8.1f)   ratio %5.2f (best %5.2f)\n",
        checks, a.median, a.best, b.median, b.best, a.median / b.median, a.best / b.best);
    std::printf(
        "  of curl's time, starting %d curl processes that do nothing: %.1f ms; ratio to curl without it %5.2f\n",
        checks, s.median, a.median / std::max(1.0, b.median - s.median));
    if (wrong) {
        std::fprintf(stderr, "a check went wrong\n");
        return 1;
    }
    return 0;
}
