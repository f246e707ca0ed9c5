// Scripted TLS servers for the corners of both protocols that a real server rarely shows: replies
// in pieces and out of the common order, literals, large counts, sessions ended by the server,
// other login forms, and clear-text bytes injected before the upgrade.
#include "net/SaslPlain.h"
#include "tests/mail/loopback/MailClientProbe.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TlsServer.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

using namespace mail_tests;
using testing_support::TestCertificates;
using testing_support::TlsPeer;
using testing_support::TlsServer;

namespace {

// What the client sent, line by line, as the server's thread saw it.
struct Transcript {
    std::mutex mutex;
    std::vector<std::string> lines;
    std::string Read(TlsPeer& p)
    {
        std::string line = p.ReadLine();
        std::lock_guard lock(mutex);
        lines.push_back(line);
        return line;
    }
    std::string ReadClear(TlsPeer& p)
    {
        std::string line = p.ReadClearLine();
        std::lock_guard lock(mutex);
        lines.push_back(line);
        return line;
    }
};

// The check's result, or its error text.
template <typename Client, typename F> std::string Outcome(TlsServer& server, bool tls, F check)
{
    std::string result;
    std::string error;
    {
        Client client(nullptr);
        Aim(client, server.port(), tls);
        error = ErrorOf([&] { result = Describe(check(client)); });
    }
    server.finish();
    EXPECT_EQ(server.failure, "");
    return result.empty() ? error : result;
}

std::string ImapOutcome(TlsServer& server, bool tls, const std::string& user = "anna",
    const std::string& password = "pw", const std::string& mailbox = "INBOX")
{
    return Outcome<net::TImapCheck>(
        server, tls, [&](net::TImapCheck& c) { return c.CheckMailbox(user, password, mailbox); });
}

std::string Pop3Outcome(
    TlsServer& server, bool tls, const std::string& user = "anna", const std::string& password = "pw")
{
    return Outcome<net::TPop3Check>(server, tls, [&](net::TPop3Check& c) { return c.CheckMaildrop(user, password); });
}

const auto& Identity()
{
    return TestCertificates::Shared().localhost;
}

TEST(ImapCorners, UntaggedRepliesLiteralMailboxNameAndACountPastSixteenBits)
{
    Transcript t;
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.Handshake();
        p.Write("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] ready\r\n");
        t.Read(p);
        p.Write("* CAPABILITY IMAP4rev1 LITERAL+\r\n* 3 EXISTS\r\nQ1 OK [CAPABILITY IMAP4rev1] Logged in\r\n");
        t.Read(p);
        // The reply in pieces: the literal's line, its bytes and the rest each in a record of its own.
        p.Write("* 12 EXISTS\r\n* STATUS {5}\r\n");
        p.Write("INBOX");
        p.Write(" (MESSAGES 80000 UNSEEN 70000)\r\n* OK [ALERT] note\r\nQ2 OK done\r\n");
        t.Read(p);
        p.Write("* BYE logging out\r\nQ3 OK bye\r\n");
        p.ReadUntilClose();
    });
    EXPECT_EQ(ImapOutcome(server, true), "70000");
    ASSERT_EQ(t.lines.size(), 3U);
    EXPECT_EQ(t.lines[0], "Q1 AUTHENTICATE PLAIN " + net::SaslPlain("anna", "pw") + "\r\n");
    EXPECT_EQ(t.lines[1], "Q2 STATUS \"INBOX\" (UNSEEN)\r\n");
    EXPECT_EQ(t.lines[2], "Q3 LOGOUT\r\n");
}

TEST(ImapCorners, StatusOfAnotherMailboxNameIsEncodedAndMatched)
{
    Transcript t;
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.Handshake();
        p.Write("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] ready\r\n");
        t.Read(p);
        p.Write("Q1 OK in\r\n");
        t.Read(p);
        p.Write("* STATUS \"Entw&APw-rfe\" (UNSEEN 7)\r\nQ2 OK done\r\n");
        t.Read(p);
        p.Write("Q3 OK bye\r\n");
    });
    EXPECT_EQ(ImapOutcome(server, true, "anna", "pw", "Entw\xc3\xbcrfe"), "7");
    ASSERT_GE(t.lines.size(), 2U);
    EXPECT_EQ(t.lines[1], "Q2 STATUS \"Entw&APw-rfe\" (UNSEEN)\r\n");
}

TEST(ImapCorners, ByeInTheMiddleEndsTheCheckWithTheServersText)
{
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.Handshake();
        p.Write("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] ready\r\n");
        p.ReadLine();
        p.Write("Q1 OK in\r\n");
        p.ReadLine();
        p.Write("* BYE Server shutting down\r\n");
        p.CloseNotify();
    });
    EXPECT_EQ(ImapOutcome(server, true), "The mail server ended the session: Server shutting down");
}

TEST(ImapCorners, ByeInsteadOfTheLoginReply)
{
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.Handshake();
        p.Write("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] ready\r\n");
        p.ReadLine();
        p.Write("* BYE Too many invalid commands\r\n");
        p.CloseNotify();
    });
    EXPECT_EQ(ImapOutcome(server, true), "The mail server ended the session: Too many invalid commands");
}

TEST(ImapCorners, AuthenticateWithoutInitialResponseWaitsForTheGoAhead)
{
    Transcript t;
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.Handshake();
        p.Write("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready\r\n");
        t.Read(p);
        p.Write("+ \r\n");
        t.Read(p);
        p.Write("Q1 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n");
        t.Read(p);
        p.Write("Q2 OK bye\r\n");
    });
    EXPECT_EQ(ImapOutcome(server, true), "login refused");
    ASSERT_EQ(t.lines.size(), 3U);
    EXPECT_EQ(t.lines[0], "Q1 AUTHENTICATE PLAIN\r\n");
    EXPECT_EQ(t.lines[1], net::SaslPlain("anna", "pw") + "\r\n");
    EXPECT_EQ(t.lines[2], "Q2 LOGOUT\r\n");
}

TEST(ImapCorners, LoginWithQuotedStringsAndLiterals)
{
    const std::string password = "p\xc3\xa4ss \"w\"";
    Transcript t;
    std::string literal;
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.Handshake();
        p.Write("* OK [CAPABILITY IMAP4rev1 AUTH=LOGIN] ready\r\n");
        t.Read(p);
        p.Write("+ Ready for literal data\r\n");
        literal = p.Read(password.size() + 2);
        p.Write("Q1 OK Logged in\r\n");
        t.Read(p);
        p.Write("* STATUS INBOX (UNSEEN 0)\r\nQ2 OK done\r\n");
        t.Read(p);
        p.Write("Q3 OK bye\r\n");
    });
    EXPECT_EQ(ImapOutcome(server, true, "a\\b \"c\"@example.org", password), "0");
    ASSERT_GE(t.lines.size(), 1U);
    EXPECT_EQ(t.lines[0], "Q1 LOGIN \"a\\\\b \\\"c\\\"@example.org\" {" + std::to_string(password.size()) + "}\r\n");
    EXPECT_EQ(literal, password + "\r\n");
}

TEST(ImapCorners, LoginRefusedBeforeTheLiteral)
{
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.Handshake();
        p.Write("* OK [CAPABILITY IMAP4rev1] ready\r\n");
        p.ReadLine();
        p.Write("Q1 NO too long\r\n");
        p.ReadLine();
        p.Write("Q2 OK bye\r\n");
    });
    EXPECT_EQ(ImapOutcome(server, true, "\xc3\xa4nna", "pw"), "login refused");
}

TEST(ImapCorners, RefusedStatusNamesTheMailbox)
{
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.Handshake();
        p.Write("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] ready\r\n");
        p.ReadLine();
        p.Write("Q1 OK in\r\n");
        p.ReadLine();
        p.Write("Q2 NO [NONEXISTENT] Mailbox doesn't exist: Work\r\n");
        p.ReadLine();
        p.Write("Q3 OK bye\r\n");
    });
    EXPECT_EQ(ImapOutcome(server, true, "anna", "pw", "Work"), "Mailbox not available: Mailbox doesn't exist: Work");
}

TEST(ImapCorners, StatusWithoutItsDataIsAnInterpretationError)
{
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.Handshake();
        p.Write("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] ready\r\n");
        p.ReadLine();
        p.Write("Q1 OK in\r\n");
        p.ReadLine();
        p.Write("* STATUS INBOX (MESSAGES 4)\r\nQ2 OK done\r\n");
        p.ReadLine();
        p.Write("Q3 OK bye\r\n");
    });
    EXPECT_EQ(ImapOutcome(server, true), "bad reply");
}

TEST(ImapCorners, AHugeLiteralIsNotWaitedFor)
{
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.Handshake();
        p.Write("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] ready\r\n");
        p.ReadLine();
        p.Write("* STATUS {4000000000}\r\n");
        p.ReadUntilClose();
    });
    EXPECT_EQ(ImapOutcome(server, true), "bad reply");
}

TEST(ImapCorners, ClearBytesAfterTheStartTlsGoAheadAreNeverRead)
{
    Transcript t;
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.SendClear("* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] ready\r\n");
        t.ReadClear(p);
        // One packet: the go-ahead and a forged line that would end the check if it were read.
        p.SendClear("Q1 OK Begin TLS negotiation now.\r\n* BYE injected\r\n");
        if (!p.Handshake())
            return;
        t.Read(p);
        p.Write("* CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN\r\nQ2 OK listed\r\n");
        t.Read(p);
        p.Write("Q3 OK in\r\n");
        t.Read(p);
        p.Write("* STATUS INBOX (UNSEEN 4)\r\nQ4 OK done\r\n");
        t.Read(p);
        p.Write("Q5 OK bye\r\n");
    });
    EXPECT_EQ(ImapOutcome(server, false), "4");
    ASSERT_GE(t.lines.size(), 3U);
    EXPECT_EQ(t.lines[0], "Q1 STARTTLS\r\n");
    // The capabilities given in the clear are asked again over TLS.
    EXPECT_EQ(t.lines[1], "Q2 CAPABILITY\r\n");
}

TEST(Pop3Corners, UserAndPassWithoutSaslAndACountPastSixteenBits)
{
    Transcript t;
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.Handshake();
        p.Write("+OK POP3 ready\r\n");
        t.Read(p);
        p.Write("+OK\r\nUSER\r\n..odd\r\nTOP\r\n.\r\n");
        t.Read(p);
        p.Write("+OK\r\n");
        t.Read(p);
        p.Write("+OK Logged in.\r\n");
        t.Read(p);
        p.Write("+OK 70001 123456789\r\n");
        t.Read(p);
        p.Write("+OK Bye\r\n");
    });
    EXPECT_EQ(Pop3Outcome(server, true, "anna@example.org", "p w"), "70001");
    EXPECT_EQ(t.lines,
        (std::vector<std::string> { "CAPA\r\n", "USER anna@example.org\r\n", "PASS p w\r\n", "STAT\r\n", "QUIT\r\n" }));
}

TEST(Pop3Corners, ServerWithoutCapaStillLogsIn)
{
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.Handshake();
        p.Write("+OK ready\r\n");
        p.ReadLine();
        p.Write("-ERR unknown command\r\n");
        p.ReadLine();
        p.Write("+OK\r\n");
        p.ReadLine();
        p.Write("-ERR [AUTH] wrong\r\n");
        p.ReadLine();
        p.Write("+OK\r\n");
    });
    EXPECT_EQ(Pop3Outcome(server, true), "login refused");
}

// One POP3 conversation over TLS: the server's CAPA reply, then its reply to each line the client
// sends after CAPA, and what the check must make of it.
struct Pop3Row {
    const char* name;
    std::string capa;
    std::vector<std::string> replies;
    std::vector<std::string> sent; // the client's lines after CAPA
    std::string outcome;
};

void PrintTo(const Pop3Row& row, std::ostream* out)
{
    *out << row.name;
}

std::string CapaLines(int count)
{
    std::string reply = "+OK\r\n";
    for (int i = 0; i < count; ++i)
        reply += "X-CAPABILITY-" + std::to_string(i) + "\r\n";
    return reply + "USER\r\n.\r\n";
}

const std::string kAuthPlain = "AUTH PLAIN " + net::SaslPlain("anna", "pw") + "\r\n";

class Pop3Conversation : public ::testing::TestWithParam<Pop3Row> { };

TEST_P(Pop3Conversation, EndsAsTheServerSaid)
{
    const Pop3Row& row = GetParam();
    Transcript t;
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.Handshake();
        p.Write("+OK ready\r\n");
        t.Read(p);
        p.Write(row.capa);
        for (const std::string& reply : row.replies) {
            t.Read(p);
            p.Write(reply);
        }
        p.ReadUntilClose();
    });
    EXPECT_EQ(Pop3Outcome(server, true), row.outcome);
    ASSERT_FALSE(t.lines.empty());
    EXPECT_EQ(t.lines[0], "CAPA\r\n");
    EXPECT_EQ(std::vector<std::string>(t.lines.begin() + 1, t.lines.end()), row.sent);
}

INSTANTIATE_TEST_SUITE_P(Pop3Corners, Pop3Conversation,
    ::testing::Values(
        // A maildrop that cannot be opened now is no wrong password, whatever login was used.
        Pop3Row { "InUseAfterAuthPlain", "+OK\r\nSASL PLAIN\r\n.\r\n",
            { "-ERR [IN-USE] Mailbox is locked by another session\r\n", "+OK bye\r\n" }, { kAuthPlain, "QUIT\r\n" },
            "Mailbox not available: Mailbox is locked by another session" },
        Pop3Row { "LoginDelayAfterPass", "+OK\r\nUSER\r\n.\r\n",
            { "+OK\r\n", "-ERR [LOGIN-DELAY] wait 10 minutes\r\n", "+OK bye\r\n" },
            { "USER anna\r\n", "PASS pw\r\n", "QUIT\r\n" }, "Mailbox not available: wait 10 minutes" },
        Pop3Row { "SysTempAfterAuthPlain", "+OK\r\nSASL PLAIN\r\n.\r\n",
            { "-ERR [SYS/TEMP] back in a minute\r\n", "+OK bye\r\n" }, { kAuthPlain, "QUIT\r\n" },
            "Mailbox not available: back in a minute" },
        Pop3Row { "AuthCodeIsAWrongPassword", "+OK\r\nSASL PLAIN\r\n.\r\n",
            { "-ERR [AUTH] Authentication failed\r\n", "+OK bye\r\n" }, { kAuthPlain, "QUIT\r\n" }, "login refused" },
        // Mechanisms the client does not speak: USER and PASS, never AUTH PLAIN.
        Pop3Row { "SaslWithoutPlainUsesUserAndPass", "+OK\r\nSASL SCRAM-SHA-256 XOAUTH2\r\nUSER\r\n.\r\n",
            { "+OK\r\n", "+OK in\r\n", "+OK 3 300\r\n", "+OK bye\r\n" },
            { "USER anna\r\n", "PASS pw\r\n", "STAT\r\n", "QUIT\r\n" }, "3" },
        Pop3Row { "AThousandCapabilityLinesAreRead", CapaLines(999),
            { "+OK\r\n", "+OK in\r\n", "+OK 0 0\r\n", "+OK bye\r\n" },
            { "USER anna\r\n", "PASS pw\r\n", "STAT\r\n", "QUIT\r\n" }, "0" },
        Pop3Row { "AThousandAndOneAreABadReply", CapaLines(1000), {}, {}, "bad reply" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Pop3Corners, UnreadableStatIsAnInterpretationError)
{
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.Handshake();
        p.Write("+OK ready\r\n");
        p.ReadLine();
        p.Write("+OK\r\nSASL PLAIN\r\n.\r\n");
        p.ReadLine();
        p.Write("+OK in\r\n");
        p.ReadLine();
        p.Write("+OK many\r\n");
        p.ReadLine();
        p.Write("+OK\r\n");
    });
    EXPECT_EQ(Pop3Outcome(server, true), "bad reply");
}

TEST(Pop3Corners, ClearBytesAfterTheStlsGoAheadAreNeverRead)
{
    Transcript t;
    TlsServer server(Identity(), [&](TlsPeer& p) {
        p.SendClear("+OK ready\r\n");
        t.ReadClear(p);
        p.SendClear("+OK Begin TLS\r\n-ERR injected\r\n");
        if (!p.Handshake())
            return;
        t.Read(p);
        p.Write("+OK\r\nSASL PLAIN\r\n.\r\n");
        t.Read(p);
        p.Write("+OK in\r\n");
        t.Read(p);
        p.Write("+OK 2 20\r\n");
        t.Read(p);
        p.Write("+OK\r\n");
    });
    EXPECT_EQ(Pop3Outcome(server, false), "2");
    ASSERT_GE(t.lines.size(), 2U);
    EXPECT_EQ(t.lines[0], "STLS\r\n");
    EXPECT_EQ(t.lines[1], "CAPA\r\n");
}

} // namespace
