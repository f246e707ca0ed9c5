// Scripted servers for what only a real TLS connection can show: clear-text bytes injected after
// the go-ahead of the upgrade are never read as if they had come over TLS. (The other corners of
// both protocols are transcripts, played by TranscriptTest.)
#include "tests/fixtures/ScriptServer.h"
#include "tests/mail/loopback/MailClientProbe.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace mail_tests;
using testing_support::ScriptServer;
using S = ScriptServer;

namespace {

struct Corner {
    const char* name;
    bool imap;
    // The server's side of the conversation.
    ScriptServer::Script script;
    // What the client must have sent first, in the clear and then over TLS.
    std::string clientStart;
    // The count the check gives.
    std::string outcome;
};

std::ostream& operator<<(std::ostream& out, const Corner& c)
{
    return out << c.name;
}

const Corner kCorners[] = {
    { "ImapStartTls", true,
        {
            S::Send("* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] ready\r\n"),
            S::ReceiveUntil("Q1 STARTTLS\r\n"),
            // One packet: the go-ahead and a forged line that would end the check if it were read.
            S::Send("Q1 OK Begin TLS negotiation now.\r\n* BYE injected\r\n"),
            S::StartTls(),
            S::ReceiveUntil("Q2 CAPABILITY\r\n"),
            S::Send("* CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN\r\nQ2 OK listed\r\n"),
            S::ReceiveUntil("Q3 "),
            S::Send("Q3 OK in\r\n"),
            S::ReceiveUntil("Q4 "),
            S::Send("* STATUS INBOX (UNSEEN 4)\r\nQ4 OK done\r\n"),
            S::ReceiveUntil("Q5 "),
            S::Send("Q5 OK bye\r\n"),
        },
        // The capabilities given in the clear are asked again over TLS.
        "Q1 STARTTLS\r\nQ2 CAPABILITY\r\n", "4" },
    { "Pop3Stls", false,
        {
            S::Send("+OK ready\r\n"),
            S::ReceiveUntil("STLS\r\n"),
            S::Send("+OK Begin TLS\r\n-ERR injected\r\n"),
            S::StartTls(),
            S::ReceiveUntil("CAPA\r\n"),
            S::Send("+OK\r\nSASL PLAIN\r\n.\r\n"),
            S::ReceiveUntil("AUTH "),
            S::Send("+OK in\r\n"),
            S::ReceiveUntil("STAT\r\n"),
            S::Send("+OK 2 20\r\n"),
            S::ReceiveUntil("QUIT\r\n"),
            S::Send("+OK\r\n"),
        },
        "STLS\r\nCAPA\r\n", "2" },
};

class ClearBytesAfterTheGoAhead : public ::testing::TestWithParam<Corner> { };

TEST_P(ClearBytesAfterTheGoAhead, AreNeverRead)
{
    const Corner& corner = GetParam();
    ScriptServer server;
    server.AddConnection(corner.script);
    std::string result;
    std::string error;
    {
        net::TImapCheck imap(nullptr);
        net::TPop3Check pop3(nullptr);
        if (corner.imap) {
            Aim(imap, server.port(), false);
            error = ErrorOf([&] { result = Describe(imap.CheckMailbox("anna", "pw", "INBOX")); });
        } else {
            Aim(pop3, server.port(), false);
            error = ErrorOf([&] { result = Describe(pop3.CheckMaildrop("anna", "pw")); });
        }
    }
    ASSERT_TRUE(server.WaitForClosed(0));
    EXPECT_EQ(server.Failure(), "");
    EXPECT_EQ(result.empty() ? error : result, corner.outcome);
    EXPECT_EQ(server.Received(0).substr(0, corner.clientStart.size()), corner.clientStart);
}

INSTANTIATE_TEST_SUITE_P(Corners, ClearBytesAfterTheGoAhead, ::testing::ValuesIn(kCorners),
    [](const ::testing::TestParamInfo<Corner>& info) { return std::string(info.param.name); });

} // namespace
