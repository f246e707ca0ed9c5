// Scripted TLS servers for what only a real TLS connection can show: clear-text bytes injected
// after the go-ahead of the upgrade are never read as if they had come over TLS. (The other
// corners of both protocols are transcripts, played by TranscriptTest.)
#include "tests/fixtures/TestCertificates.h"
#include "tests/fixtures/TlsServer.h"
#include "tests/mail/loopback/MailClientProbe.h"

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
