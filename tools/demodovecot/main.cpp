// quorvel-demo-dovecot: runs Dovecot on loopback with one mailbox holding unseen mail, and the
// demo authorization server whose tokens it takes; writes "IMAPS POP3S CAFILE CLIENT AUTHORIZE
// TOKEN" (its ports for IMAP and POP3 over TLS, the authority to trust, the sign-in client and
// addresses) to the file named on the command line, and stops both when told to end.
#include "tests/fixtures/AuthServer.h"
#include "tests/fixtures/Dovecot.h"
#include "tests/fixtures/TestCertificates.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: quorvel-demo-dovecot PORT-FILE\n"
                     "  The mailbox is demo@example.org with the password demo-secret.\n";
        return 2;
    }
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    // Blocked before any child starts: the signal is taken by sigwait below, so the server
    // is stopped by the destructors.
    sigprocmask(SIG_BLOCK, &ending, nullptr);
    try {
        testing_support::AuthServer auth;
        testing_support::Dovecot dovecot(testing_support::Dovecot::Options { auth.introspectionUrl() });
        dovecot.AddUser("demo@example.org", "demo-secret", 2, 3);
        // Written aside and renamed, so that a reader never sees half of it.
        const std::string file = argv[1];
        {
            std::ofstream out(file + ".part");
            out << dovecot.imapsPort() << ' ' << dovecot.pop3sPort() << ' '
                << testing_support::TestCertificates::Shared().authorityFile << ' ' << auth.options().clientId << ' '
                << auth.url("/authorize") << ' ' << auth.url("/token") << '\n';
        }
        std::rename((file + ".part").c_str(), file.c_str());
        int signal = 0;
        sigwait(&ending, &signal);
    } catch (const std::exception& e) {
        std::cerr << "quorvel-demo-dovecot: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
