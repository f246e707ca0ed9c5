// Scripted servers on the clear connections of imap:// and pop3://: the login never leaves the
// machine before the upgrade, and the conversation is bounded in time and size.
#include "net/ImapCheck.h"
#include "net/Pop3Check.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/mail/loopback/MailClientProbe.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

using namespace mail_tests;
using testing_support::ScriptServer;
using S = ScriptServer;

namespace {

// No line the client sent names the password or a login command.
void ExpectNoLogin(const std::string& received)
{
    EXPECT_EQ(received.find("secret"), std::string::npos) << received;
    for (const char* command : { "LOGIN", "AUTHENTICATE", "USER", "PASS", "AUTH " })
        EXPECT_EQ(received.find(command), std::string::npos) << command << " in " << received;
}

// The gate the logins of both protocols pass: what it is given on a connection that is up but
// not secured stays on the machine.
struct Gate : net::TMailCheck {
    using TMailCheck::Open;
    using TMailCheck::SendSecret;
    using TMailCheck::TMailCheck;
};

TEST(CredentialGate, RefusesAConnectionThatIsUpButNotSecure)
{
    ScriptServer server;
    server.AddConnection({ S::Send("+OK ready\r\n"), S::Stall() });
    Gate gate(nullptr);
    gate.Host = "127.0.0.1";
    gate.Port = server.port();
    gate.ImplicitTLS = false;
    gate.TimeOut = 10000;
    gate.Open();
    ASSERT_TRUE(gate.Connected);
    EXPECT_EQ(ErrorOf([&] { gate.SendSecret("PASS secret\r\n"); }),
        "The connection to the mail server is not secure: the password is not sent");
    gate.Disconnect();
    ASSERT_TRUE(server.WaitForClosed(0));
    EXPECT_EQ(server.Received(0), "");
}

TEST(ImapInTheClear, ServerWithoutStartTlsGetsNoLogin)
{
    ScriptServer server;
    server.AddConnection({ S::Send("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN LOGIN] ready\r\n"), S::Stall() });
    net::TImapCheck client(nullptr);
    Aim(client, server.port(), false);
    EXPECT_EQ(ErrorOf([&] { client.CheckMailbox("anna", "secret", "INBOX"); }),
        "The mail server does not offer STARTTLS: the password is not sent in the clear");
    client.Disconnect();
    ASSERT_TRUE(server.WaitForClosed(0));
    ExpectNoLogin(server.Received(0));
}

TEST(ImapInTheClear, CapabilitiesAskedWhenTheGreetingHasNone)
{
    ScriptServer server;
    server.AddConnection({ S::Send("* OK ready\r\n"), S::ReceiveUntil("CAPABILITY\r\n"),
        S::Send("* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\nQ1 OK done\r\n"), S::Stall() });
    net::TImapCheck client(nullptr);
    Aim(client, server.port(), false);
    EXPECT_EQ(ErrorOf([&] { client.CheckMailbox("anna", "secret", "INBOX"); }),
        "The mail server does not offer STARTTLS: the password is not sent in the clear");
    client.Disconnect();
    ASSERT_TRUE(server.WaitForClosed(0));
    EXPECT_EQ(server.Received(0), "Q1 CAPABILITY\r\n");
}

TEST(ImapInTheClear, RefusedStartTlsGetsNoLogin)
{
    ScriptServer server;
    server.AddConnection({ S::Send("* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n"), S::ReceiveUntil("STARTTLS\r\n"),
        S::Send("Q1 NO [UNAVAILABLE] not today\r\n"), S::Stall() });
    net::TImapCheck client(nullptr);
    Aim(client, server.port(), false);
    EXPECT_EQ(ErrorOf([&] { client.CheckMailbox("anna", "secret", "INBOX"); }),
        "The mail server refused STARTTLS: not today");
    client.Disconnect();
    ASSERT_TRUE(server.WaitForClosed(0));
    ExpectNoLogin(server.Received(0));
}

TEST(ImapInTheClear, PreauthenticatedClearSessionIsRefused)
{
    ScriptServer server;
    server.AddConnection({ S::Send("* PREAUTH [CAPABILITY IMAP4rev1 STARTTLS] welcome\r\n"), S::Stall() });
    net::TImapCheck client(nullptr);
    Aim(client, server.port(), false);
    EXPECT_EQ(ErrorOf([&] { client.CheckMailbox("anna", "secret", "INBOX"); }),
        "The mail server offers no secure way to log in");
    client.Disconnect();
    ASSERT_TRUE(server.WaitForClosed(0));
    EXPECT_EQ(server.Received(0), "");
}

TEST(ImapInTheClear, ByeGreetingEndsTheCheckWithTheServersText)
{
    ScriptServer server;
    server.AddConnection({ S::Send("* BYE Too many connections\r\n"), S::Close() });
    net::TImapCheck client(nullptr);
    Aim(client, server.port(), false);
    EXPECT_EQ(ErrorOf([&] { client.CheckMailbox("anna", "secret", "INBOX"); }),
        "The mail server refused the connection: Too many connections");
}

TEST(ImapInTheClear, UnreadableGreetingIsAnInterpretationError)
{
    ScriptServer server;
    server.AddConnection({ S::Send("220 smtp.example.org ESMTP\r\n"), S::Stall() });
    net::TImapCheck client(nullptr);
    Aim(client, server.port(), false);
    EXPECT_EQ(client.CheckMailbox("anna", "secret", "INBOX").outcome, net::MailCount::Outcome::BadReply);
}

TEST(ImapInTheClear, OverlongLineIsAnInterpretationErrorNotAnEndlessRead)
{
    ScriptServer server;
    // Twice the limit and no line break: the client must stop reading on its own.
    server.AddConnection({ S::Send("* OK " + std::string(2 * net::TMailCheck::kMaxReply, 'x')), S::Stall() });
    net::TImapCheck client(nullptr);
    Aim(client, server.port(), false);
    EXPECT_EQ(client.CheckMailbox("anna", "secret", "INBOX").outcome, net::MailCount::Outcome::BadReply);
}

TEST(ImapInTheClear, ServerThatStallsAfterTheGreetingTimesOut)
{
    ScriptServer server;
    server.AddConnection({ S::Send("* OK ready\r\n"), S::Stall() });
    net::TImapCheck client(nullptr);
    Aim(client, server.port(), false, 600);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ErrorOf([&] { client.CheckMailbox("anna", "secret", "INBOX"); }),
        "127.0.0.1:" + std::to_string(server.port()) + " did not answer");
    EXPECT_GE(clock.elapsed(), 500);
    EXPECT_LT(clock.elapsed(), 8000);
}

TEST(ImapInTheClear, ServerThatClosesMidLineEndsTheCheck)
{
    ScriptServer server;
    server.AddConnection({ S::Send("* OK rea"), S::Close() });
    net::TImapCheck client(nullptr);
    Aim(client, server.port(), false);
    EXPECT_EQ(
        ErrorOf([&] { client.CheckMailbox("anna", "secret", "INBOX"); }), "The mail server closed the connection");
}

TEST(ImapInTheClear, CancelEndsTheWait)
{
    ScriptServer server;
    server.AddConnection({ S::Send("* OK ready\r\n"), S::Stall() });
    net::TImapCheck client(nullptr);
    Aim(client, server.port(), false);
    QTimer::singleShot(200, [&] { client.Cancel(); });
    EXPECT_THROW(client.CheckMailbox("anna", "secret", "INBOX"), net::EAbortError);
}

TEST(Pop3InTheClear, ServerWithoutStlsGetsNoLogin)
{
    ScriptServer server;
    server.AddConnection(
        { S::Send("+OK POP3 ready\r\n"), S::ReceiveUntil("\r\n"), S::Send("-ERR Unknown command\r\n"), S::Stall() });
    net::TPop3Check client(nullptr);
    Aim(client, server.port(), false);
    EXPECT_EQ(ErrorOf([&] { client.CheckMaildrop("anna", "secret"); }),
        "The mail server does not offer STLS: the password is not sent in the clear");
    client.Disconnect();
    ASSERT_TRUE(server.WaitForClosed(0));
    EXPECT_EQ(server.Received(0), "STLS\r\n");
}

TEST(Pop3InTheClear, RefusedGreetingEndsTheCheck)
{
    ScriptServer server;
    server.AddConnection({ S::Send("-ERR [SYS/TEMP] maintenance\r\n"), S::Close() });
    net::TPop3Check client(nullptr);
    Aim(client, server.port(), false);
    EXPECT_EQ(ErrorOf([&] { client.CheckMaildrop("anna", "secret"); }),
        "The mail server refused the connection: maintenance");
}

TEST(Pop3InTheClear, StallAfterTheGreetingTimesOut)
{
    ScriptServer server;
    server.AddConnection({ S::Send("+OK ready\r\n"), S::Stall() });
    net::TPop3Check client(nullptr);
    Aim(client, server.port(), false, 600);
    EXPECT_EQ(ErrorOf([&] { client.CheckMaildrop("anna", "secret"); }),
        "127.0.0.1:" + std::to_string(server.port()) + " did not answer");
}

} // namespace
