// A real Dovecot for tests and benchmarks: IMAP and POP3, each with TLS from the first byte and
// with STARTTLS, on free 127.0.0.1 ports, with its own configuration, a passwd-file of users,
// maildirs, and the shared test certificate for "localhost" and 127.0.0.1 (whose authority the
// process trusts); stopped (and killed if need be) when destroyed.
#pragma once

#include "tests/support/TestCertificates.h"

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace testing_support {

class Dovecot {
public:
    struct Options {
        // Non-empty: tokens (XOAUTH2, OAUTHBEARER) are checked at this RFC 7662 endpoint, and
        // belong to the user named by the introspection's "username".
        std::string introspectionUrl;
    };

    // `extraConfig`: lines added to the configuration (such as "imap_idle_notify_interval = 1 secs").
    explicit Dovecot(std::string extraConfig = {});
    explicit Dovecot(Options options, std::string extraConfig = {});
    ~Dovecot();
    Dovecot(const Dovecot&) = delete;
    Dovecot& operator=(const Dovecot&) = delete;

    bool running() const { return pid_ > 0; }
    std::uint16_t imapPort() const { return imap_; }
    std::uint16_t imapsPort() const { return imaps_; }
    std::uint16_t pop3Port() const { return pop3_; }
    std::uint16_t pop3sPort() const { return pop3s_; }
    const std::string& dir() const { return dir_; }

    // A user with `unseen` new and `seen` read messages in the INBOX. Any bytes but ":" and line
    // breaks in the name; any bytes in the password.
    void AddUser(const std::string& user, const std::string& password, int unseen, int seen);
    // A further mailbox of a user, named on disk as on the wire (modified UTF-7).
    void AddMailbox(const std::string& user, const std::string& wireName, int unseen, int seen);
    std::string log() const;
    // How often `text` occurs in the log.
    int CountInLog(const std::string& text) const;

    // A new message delivered into the user's INBOX as a delivery agent does it (written in
    // "tmp", then moved into "new").
    void Deliver(const std::string& user);
    // Removes one message from the user's INBOX; false when it is empty.
    bool Expunge(const std::string& user);
    // A new password for the user; the server reads it at the next login.
    void SetPassword(const std::string& user, const std::string& password);
    // Stops the server and starts it again on the same ports; false when it did not come back.
    bool Restart();

private:
    bool Start();
    void Stop();
    void FillMaildir(const std::string& path, int unseen, int seen);
    std::string Home(const std::string& user) const;

    Options options_;
    std::string extraConfig_;
    TlsIdentity identity_;
    std::string dir_;
    std::uint16_t imap_ = 0, imaps_ = 0, pop3_ = 0, pop3s_ = 0;
    pid_t pid_ = -1;
    int messages_ = 0;
    unsigned mailUid_ = 0, mailGid_ = 0;
};

} // namespace testing_support
