// Conversations with a scripted TLS server, one table row each: what the server says ("S:"), the
// line the client must send next ("C:"), pauses ("P:" milliseconds), and "E:" for a client that
// must close without sending anything more; then how the check ends.
#include "net/SaslPlain.h"
#include "tests/fixtures/TestCertificates.h"
#include "tests/fixtures/TlsServer.h"
#include "tests/mail/loopback/MailClientProbe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>
#include <vector>

using namespace mail_tests;
using testing_support::TestCertificates;
using testing_support::TlsPeer;
using testing_support::TlsServer;

namespace {

enum class Protocol { Imap, Pop3 };

struct Transcript {
    const char* name;
    Protocol protocol;
    std::vector<std::string> lines;
    std::string expected;
    std::string user = "anna";
    int timeOut = 10000;
};

void PrintTo(const Transcript& t, std::ostream* os)
{
    *os << t.name;
}

// Plays the lines on the server's side; a mismatch is the server's failure.
void Play(TlsPeer& p, const std::vector<std::string>& lines)
{
    p.MustHandshake();
    for (const std::string& line : lines) {
        const std::string what = line.substr(0, 2);
        const std::string text = line.size() > 3 ? line.substr(3) : "";
        if (what == "S:") {
            p.Write(text + "\r\n");
        } else if (what == "C:") {
            const std::string got = p.ReadLine();
            if (got != text + "\r\n")
                throw std::runtime_error("expected \"" + text + "\", got \"" + got + "\"");
        } else if (what == "P:") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(text)));
        } else if (what == "E:") {
            const std::string rest = p.ReadUntilClose();
            if (!rest.empty())
                throw std::runtime_error("sent after the end: " + rest);
        }
    }
}

class Transcripts : public ::testing::TestWithParam<Transcript> { };

TEST_P(Transcripts, EndAsExpected)
{
    const Transcript& t = GetParam();
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) { Play(p, t.lines); });
    std::string result;
    std::string error;
    {
        net::TImapCheck imap(nullptr);
        net::TPop3Check pop3(nullptr);
        if (t.protocol == Protocol::Imap) {
            Aim(imap, server.port(), true, t.timeOut);
            error = ErrorOf([&] { result = Describe(imap.CheckMailbox(t.user, "pw", "INBOX")); });
        } else {
            Aim(pop3, server.port(), true, t.timeOut);
            error = ErrorOf([&] { result = Describe(pop3.CheckMaildrop(t.user, "pw")); });
        }
    }
    server.finish();
    EXPECT_EQ(server.failure, "");
    EXPECT_EQ(result.empty() ? error : result, t.expected);
}

const std::string kImapReady = "S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] ready";
const std::string kImapLogin = "C: Q1 AUTHENTICATE PLAIN " + net::SaslPlain("anna", "pw");
const std::string kImapStatus = "C: Q2 STATUS \"INBOX\" (UNSEEN)";

std::string Repeat(const std::string& s, std::size_t n)
{
    std::string out;
    for (std::size_t i = 0; i < n; ++i)
        out += s;
    return out;
}

// A user name long enough that AUTH PLAIN with its response would pass 255 octets.
const std::string kLongUser = Repeat("u", 200) + "@example.org";

std::vector<Transcript> Rows()
{
    using P = Protocol;
    return {
        { "ImapStatusOfAnotherMailboxOnlyIsNoCount", P::Imap,
            { kImapReady, kImapLogin, "S: Q1 OK in", kImapStatus, "S: * STATUS Archive (UNSEEN 9)", "S: Q2 OK done",
                "C: Q3 LOGOUT", "S: Q3 OK bye" },
            "bad reply" },
        { "ImapStatusOfAnotherMailboxBeforeTheOneAskedFor", P::Imap,
            { kImapReady, kImapLogin, "S: Q1 OK in", kImapStatus, "S: * STATUS Archive (UNSEEN 9)",
                "S: * STATUS inbox (UNSEEN 2)", "S: Q2 OK done", "C: Q3 LOGOUT", "S: Q3 OK bye" },
            "2" },
        { "ImapLoginDisabledOverTlsSendsNoLogin", P::Imap,
            { "S: * OK [CAPABILITY IMAP4rev1 LOGINDISABLED] ready", "E:" },
            "The mail server does not allow logging in over TLS (LOGINDISABLED)" },
        { "ImapLoginDisabledButAuthenticatePlainLogsIn", P::Imap,
            { "S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN LOGINDISABLED] ready", kImapLogin, "S: Q1 OK in",
                kImapStatus, "S: * STATUS INBOX (UNSEEN 1)", "S: Q2 OK done", "C: Q3 LOGOUT", "S: Q3 OK bye" },
            "1" },
        { "ImapUnavailableAtLoginIsNoWrongPassword", P::Imap,
            { kImapReady, kImapLogin, "S: Q1 NO [UNAVAILABLE] Maintenance until 6", "C: Q2 LOGOUT", "S: Q2 OK bye" },
            "Mailbox not available: Maintenance until 6" },
        { "ImapInUseAtLogin", P::Imap,
            { kImapReady, kImapLogin, "S: Q1 NO [INUSE] Locked", "C: Q2 LOGOUT", "S: Q2 OK bye" },
            "Mailbox not available: Locked" },
        { "ImapServerBugAtLogin", P::Imap,
            { kImapReady, kImapLogin, "S: Q1 NO [SERVERBUG] Oops", "C: Q2 LOGOUT", "S: Q2 OK bye" },
            "Mailbox not available: Oops" },
        { "ImapLimitAtLogin", P::Imap,
            { kImapReady, kImapLogin, "S: Q1 NO [LIMIT] Too many sessions", "C: Q2 LOGOUT", "S: Q2 OK bye" },
            "Mailbox not available: Too many sessions" },
        { "ImapAuthenticationFailedIsALoginFailure", P::Imap,
            { kImapReady, kImapLogin, "S: Q1 NO [AUTHENTICATIONFAILED] Authentication failed.", "C: Q2 LOGOUT",
                "S: Q2 OK bye" },
            "login refused" },
        { "ImapAlertWithTheRefusalIsShown", P::Imap,
            { kImapReady, kImapLogin, "S: Q1 NO [ALERT] Your account is locked, call the help desk", "C: Q2 LOGOUT",
                "S: Q2 OK bye" },
            "login refused: Your account is locked, call the help desk" },
        { "ImapAlertBeforeTheRefusalIsShown", P::Imap,
            { kImapReady, kImapLogin, "S: * OK [ALERT] Password expired", "S: Q1 NO Authentication failed.",
                "C: Q2 LOGOUT", "S: Q2 OK bye" },
            "login refused: Password expired" },
        { "ImapBadToTheLogin", P::Imap,
            { kImapReady, kImapLogin, "S: Q1 BAD Invalid base64", "C: Q2 LOGOUT", "S: Q2 OK bye" },
            "The mail server refused the login command: Invalid base64" },
        { "ImapLongByeIsCutAndHasNoControlCharacters", P::Imap,
            { kImapReady, kImapLogin, "S: * BYE \x1b[2J" + Repeat("x", 55000), "E:" },
            "The mail server ended the session: [2J" + Repeat("x", 197) },
        { "ImapLoginReplyHeldBackPastTheTimeOut", P::Imap,
            { kImapReady, kImapLogin, "P: 1500", "S: Q1 NO [AUTHENTICATIONFAILED] Authentication failed.",
                "C: Q2 LOGOUT", "S: Q2 OK bye" },
            "login refused", "anna", 500 },
        { "Pop3SysErrorToStatIsMailboxNotAvailable", P::Pop3,
            { "S: +OK ready", "C: CAPA", "S: +OK", "S: SASL PLAIN", "S: .",
                "C: AUTH PLAIN " + net::SaslPlain("anna", "pw"), "S: +OK in", "C: STAT",
                "S: -ERR [SYS/TEMP] Maildrop cannot be read", "C: QUIT", "S: +OK" },
            "Mailbox not available: Maildrop cannot be read" },
        { "Pop3LongAuthPlainWaitsForTheGoAhead", P::Pop3,
            { "S: +OK ready", "C: CAPA", "S: +OK", "S: SASL PLAIN", "S: .", "C: AUTH PLAIN", "S: + ",
                "C: " + net::SaslPlain(kLongUser, "pw"), "S: +OK in", "C: STAT", "S: +OK 4 400", "C: QUIT", "S: +OK" },
            "4", kLongUser },
        { "Pop3LongAuthPlainRefusedBeforeTheResponse", P::Pop3,
            { "S: +OK ready", "C: CAPA", "S: +OK", "S: SASL PLAIN", "S: .", "C: AUTH PLAIN", "S: -ERR [AUTH] No",
                "C: QUIT", "S: +OK" },
            "login refused", kLongUser },
        { "Pop3LoginReplyHeldBackPastTheTimeOut", P::Pop3,
            { "S: +OK ready", "C: CAPA", "S: +OK", "S: USER", "S: .", "C: USER anna", "S: +OK", "C: PASS pw", "P: 1500",
                "S: -ERR [AUTH] Authentication failed.", "C: QUIT", "S: +OK" },
            "login refused", "anna", 500 },
    };
}

INSTANTIATE_TEST_SUITE_P(Table, Transcripts, ::testing::ValuesIn(Rows()),
    [](const ::testing::TestParamInfo<Transcript>& info) { return std::string(info.param.name); });

} // namespace
