// The clients against a real Dovecot on loopback: the four kinds of address, refused logins,
// mailboxes, awkward credentials and an untrusted certificate.
#include "tests/fixtures/Dovecot.h"

#include "platform/core/HostResolver.h"
#include "tests/fixtures/LoopbackPorts.h"
#include "tests/mail/loopback/MailClientProbe.h"

#include <gtest/gtest.h>

#include <memory>

using namespace mail_tests;
using testing_support::Dovecot;

namespace {

const std::string kUser = "anna@example.org";
const std::string kPassword = "secret";
// "@" in the name; quote, backslash, blank and non-ASCII letters in the password.
const std::string kOddUser = "o.brien@example.org";
const std::string kOddPassword = "p\"a\\s s w\xc3\xb6rd\xc3\x9f";

class AgainstDovecot : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server = std::make_unique<Dovecot>();
        server->AddUser(kUser, kPassword, 3, 2);
        server->AddMailbox(kUser, "Entw&APw-rfe", 1, 4);
        server->AddUser(kOddUser, kOddPassword, 2, 0);
    }
    static void TearDownTestSuite() { server.reset(); }

    static std::string Imap(std::uint16_t port, bool tls, const std::string& user, const std::string& password,
        const std::string& mailbox = "INBOX")
    {
        net::TImapCheck client(nullptr);
        Aim(client, port, tls);
        return Describe(client.CheckMailbox(user, password, mailbox));
    }
    static std::string Pop3(std::uint16_t port, bool tls, const std::string& user, const std::string& password)
    {
        net::TPop3Check client(nullptr);
        Aim(client, port, tls);
        return Describe(client.CheckMaildrop(user, password));
    }

    static std::unique_ptr<Dovecot> server;
};

std::unique_ptr<Dovecot> AgainstDovecot::server;

TEST_F(AgainstDovecot, EachOfTheFourFormsCountsRight)
{
    EXPECT_EQ(Imap(server->imapsPort(), true, kUser, kPassword), "3");
    EXPECT_EQ(Imap(server->imapPort(), false, kUser, kPassword), "3");
    EXPECT_EQ(Pop3(server->pop3sPort(), true, kUser, kPassword), "5");
    EXPECT_EQ(Pop3(server->pop3Port(), false, kUser, kPassword), "5");
}

TEST_F(AgainstDovecot, WrongPasswordIsARefusedLogin)
{
    EXPECT_EQ(Imap(server->imapsPort(), true, kUser, "wrong"), "login refused");
    EXPECT_EQ(Imap(server->imapPort(), false, "nobody@example.org", kPassword), "login refused");
    EXPECT_EQ(Pop3(server->pop3sPort(), true, kUser, "wrong"), "login refused");
    EXPECT_EQ(Pop3(server->pop3Port(), false, kUser, ""), "login refused");
}

TEST_F(AgainstDovecot, MailboxesOtherThanTheInbox)
{
    EXPECT_EQ(Imap(server->imapsPort(), true, kUser, kPassword, "Entw\xc3\xbcrfe"), "1");
    EXPECT_EQ(Imap(server->imapsPort(), true, kUser, kPassword, "inbox"), "3");
    const std::string error = ErrorOf([] { Imap(server->imapsPort(), true, kUser, kPassword, "Nowhere"); });
    EXPECT_EQ(error.rfind("Mailbox not available: ", 0), 0U) << error;
}

TEST_F(AgainstDovecot, FailuresToReachTheServerSayWhatHappened)
{
    const std::string imap = "127.0.0.1:" + std::to_string(server->imapPort());
    const std::string pop3 = "127.0.0.1:" + std::to_string(server->pop3Port());
    const std::uint16_t closed = testing_support::FreeLoopbackPort();
    const char* const kNoTls = " does not speak TLS (for STARTTLS use imap:// or pop3://)";
    EXPECT_EQ(ErrorOf([] { Imap(server->imapPort(), true, kUser, kPassword); }), imap + kNoTls);
    EXPECT_EQ(ErrorOf([] { Pop3(server->pop3Port(), true, kUser, kPassword); }), pop3 + kNoTls);
    EXPECT_EQ(ErrorOf([&] { Imap(closed, true, kUser, kPassword); }),
        "127.0.0.1:" + std::to_string(closed) + " refused the connection");
    EXPECT_EQ(ErrorOf([&] { Pop3(closed, false, kUser, kPassword); }),
        "127.0.0.1:" + std::to_string(closed) + " refused the connection");

    const auto previous = platform::SetHostResolver([](const std::string& name) {
        platform::HostLookupResult r;
        r.error = 11001;
        r.name = name;
        return r;
    });
    const std::string unknown = ErrorOf([] {
        net::TImapCheck client(nullptr);
        Aim(client, server->imapsPort(), true);
        client.Host = "mail.invalid";
        client.CheckMailbox(kUser, kPassword, "INBOX");
    });
    platform::SetHostResolver(previous);
    EXPECT_EQ(unknown, "Mail server not found: mail.invalid");
}

TEST_F(AgainstDovecot, AwkwardUserNameAndPasswordLogIn)
{
    EXPECT_EQ(Imap(server->imapsPort(), true, kOddUser, kOddPassword), "2");
    EXPECT_EQ(Imap(server->imapPort(), false, kOddUser, kOddPassword), "2");
    EXPECT_EQ(Pop3(server->pop3sPort(), true, kOddUser, kOddPassword), "2");
}

TEST_F(AgainstDovecot, CharactersNoLoginCanCarryAreRefusedBeforeSending)
{
    EXPECT_EQ(ErrorOf([] { Imap(server->imapsPort(), true, kUser, "line\r\nQ9 LOGOUT"); }),
        "The user name or password holds a character that cannot be sent to the mail server");
    EXPECT_EQ(ErrorOf([] { Pop3(server->pop3sPort(), true, std::string("an\0na", 5), kPassword); }),
        "The user name or password holds a character that cannot be sent to the mail server");
}

TEST_F(AgainstDovecot, UntrustedCertificateEndsTheCheckBeforeTheLogin)
{
    const char* kept = std::getenv("SSL_CERT_FILE");
    const std::string before = kept ? kept : "";
    setenv("SSL_CERT_FILE", (server->dir() + "/no-such-file.pem").c_str(), 1);
    setenv("SSL_CERT_DIR", (server->dir() + "/no-such-dir").c_str(), 1);
    const std::size_t logBefore = server->log().size();
    const std::string imaps = ErrorOf([] { Imap(server->imapsPort(), true, kUser, kPassword); });
    const std::string imap = ErrorOf([] { Imap(server->imapPort(), false, kUser, kPassword); });
    const std::string pop3 = ErrorOf([] { Pop3(server->pop3Port(), false, kUser, kPassword); });
    setenv("SSL_CERT_FILE", before.c_str(), 1);
    unsetenv("SSL_CERT_DIR");
    for (const std::string& e : { imaps, imap, pop3 })
        EXPECT_EQ(e.rfind("TLS certificate not trusted", 0), 0U) << e;
    const std::string log = server->log().substr(logBefore);
    EXPECT_EQ(log.find("auth failed"), std::string::npos) << log;
    EXPECT_EQ(log.find("Login:"), std::string::npos) << log;
}

} // namespace
