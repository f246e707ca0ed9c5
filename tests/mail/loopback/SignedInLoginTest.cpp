// Signed-in logins against scripted TLS servers, one transcript a row: XOAUTH2 with and without
// an initial response, OAUTHBEARER where only it is listed, and refusals whose challenge
// carries the status.
#include "net/SaslOAuth.h"
#include "tests/fixtures/TestCertificates.h"
#include "tests/fixtures/TlsServer.h"
#include "tests/mail/loopback/MailClientProbe.h"

#include <gtest/gtest.h>

#include <vector>

using namespace mail_tests;
using testing_support::TestCertificates;
using testing_support::TlsPeer;
using testing_support::TlsServer;

namespace {

const std::string kUser = "anna@example.org";
const std::string kToken = "ya29.token-1";

// "S: text" is sent by the server; "C: text" is the line the client must send next, where
// {XOAUTH2} and {OAUTHBEARER} stand for the message of that mechanism.
std::string Expand(std::string line)
{
    for (const auto& [name, m] : { std::pair { "{XOAUTH2}", net::OAuthMechanism::XOAuth2 },
             std::pair { "{OAUTHBEARER}", net::OAuthMechanism::OAuthBearer } }) {
        if (const auto at = line.find(name); at != std::string::npos)
            line.replace(at, std::string(name).size(), net::OAuthInitialResponse(m, kUser, kToken));
    }
    return line;
}

void Play(TlsPeer& p, const std::vector<std::string>& script, std::string& mismatch)
{
    if (!p.Handshake())
        throw std::runtime_error("handshake failed");
    for (const std::string& step : script) {
        const std::string text = Expand(step.substr(3));
        if (step.starts_with("S: ")) {
            p.Write(text + "\r\n");
            continue;
        }
        const std::string got = p.ReadLine();
        if (got != text + "\r\n" && mismatch.empty())
            mismatch = "expected \"" + text + "\", got \"" + got + "\"";
    }
    p.ReadUntilClose();
}

// {"status":"401","schemes":"bearer","scope":"mail"}, as Dovecot sends it.
const std::string kChallenge401 = "eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIiwic2NvcGUiOiJtYWlsIn0=";
// {"status":"invalid_token"}
const std::string kChallengeInvalid = "eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=";

struct Row {
    std::string name;
    bool imap;
    std::vector<std::string> script;
    std::string outcome;
};

} // namespace

TEST(SignedInLogin, TranscriptsOfBothProtocols)
{
    const std::vector<Row> rows = {
        { "imap initial response", true,
            { "S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN AUTH=XOAUTH2 AUTH=OAUTHBEARER] ready",
                "C: Q1 AUTHENTICATE XOAUTH2 {XOAUTH2}", "S: Q1 OK done", "C: Q2 STATUS \"INBOX\" (UNSEEN)",
                "S: * STATUS INBOX (UNSEEN 4)", "S: Q2 OK", "C: Q3 LOGOUT", "S: * BYE", "S: Q3 OK" },
            "4" },
        { "imap after the go-ahead", true,
            { "S: * OK [CAPABILITY IMAP4rev1 AUTH=XOAUTH2] ready", "C: Q1 AUTHENTICATE XOAUTH2", "S: + ",
                "C: {XOAUTH2}", "S: Q1 OK done", "C: Q2 STATUS \"INBOX\" (UNSEEN)", "S: * STATUS INBOX (UNSEEN 0)",
                "S: Q2 OK", "C: Q3 LOGOUT", "S: Q3 OK" },
            "0" },
        { "imap lists only oauthbearer", true,
            { "S: * OK ready", "C: Q1 CAPABILITY", "S: * CAPABILITY IMAP4rev1 SASL-IR AUTH=OAUTHBEARER", "S: Q1 OK",
                "C: Q2 AUTHENTICATE OAUTHBEARER {OAUTHBEARER}", "S: Q2 OK", "C: Q3 STATUS \"INBOX\" (UNSEEN)",
                "S: * STATUS INBOX (UNSEEN 7)", "S: Q3 OK", "C: Q4 LOGOUT", "S: Q4 OK" },
            "7" },
        { "imap lists neither", true,
            { "S: * OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready", "C: Q1 AUTHENTICATE XOAUTH2", "S: + ", "C: {XOAUTH2}",
                "S: Q1 NO [AUTHENTICATIONFAILED] AUTHENTICATE failed.", "C: Q2 LOGOUT", "S: Q2 OK" },
            "sign-in refused: AUTHENTICATE failed." },
        { "imap refusal with a challenge", true,
            { "S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2] ready", "C: Q1 AUTHENTICATE XOAUTH2 {XOAUTH2}",
                "S: + " + kChallenge401, "C: ", "S: Q1 NO [AUTHENTICATIONFAILED] Authentication failed.",
                "C: Q2 LOGOUT", "S: Q2 OK" },
            "sign-in refused: 401" },
        { "imap oauthbearer refusal", true,
            { "S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=OAUTHBEARER] ready",
                "C: Q1 AUTHENTICATE OAUTHBEARER {OAUTHBEARER}", "S: + " + kChallengeInvalid, "C: AQ==", "S: Q1 NO no",
                "C: Q2 LOGOUT", "S: Q2 OK" },
            "sign-in refused: invalid_token" },
        { "imap challenge that is no JSON", true,
            { "S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2] ready", "C: Q1 AUTHENTICATE XOAUTH2 {XOAUTH2}",
                "S: + bm90IGpzb24=", "C: ", "S: Q1 NO refused here", "C: Q2 LOGOUT", "S: Q2 OK" },
            "sign-in refused: refused here" },
        { "imap asks again after the answer", true,
            { "S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2] ready", "C: Q1 AUTHENTICATE XOAUTH2 {XOAUTH2}",
                "S: + " + kChallenge401, "C: ", "S: + more" },
            "bad reply" },
        { "pop3", false,
            { "S: +OK ready", "C: CAPA", "S: +OK", "S: SASL PLAIN XOAUTH2", "S: .", "C: AUTH XOAUTH2", "S: +",
                "C: {XOAUTH2}", "S: +OK welcome", "C: STAT", "S: +OK 3 300", "C: QUIT", "S: +OK" },
            "3" },
        { "pop3 oauthbearer only", false,
            { "S: +OK ready", "C: CAPA", "S: +OK", "S: SASL OAUTHBEARER", "S: .", "C: AUTH OAUTHBEARER", "S: + ",
                "C: {OAUTHBEARER}", "S: +OK", "C: STAT", "S: +OK 1 10", "C: QUIT", "S: +OK" },
            "1" },
        { "pop3 refusal with a challenge", false,
            { "S: +OK ready", "C: CAPA", "S: +OK", "S: SASL XOAUTH2", "S: .", "C: AUTH XOAUTH2", "S: +", "C: {XOAUTH2}",
                "S: + " + kChallenge401, "C: ", "S: -ERR [AUTH] Authentication failed.", "C: QUIT", "S: +OK" },
            "sign-in refused: 401" },
        { "pop3 refused at once", false,
            { "S: +OK ready", "C: CAPA", "S: -ERR no capa", "C: AUTH XOAUTH2",
                "S: -ERR [AUTH] Basic authentication is disabled.", "C: QUIT", "S: +OK" },
            "sign-in refused: Basic authentication is disabled." },
    };
    for (const Row& row : rows) {
        std::string mismatch;
        TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) { Play(p, row.script, mismatch); });
        std::string outcome;
        std::string error;
        {
            auto run = [&](auto& client, auto check) {
                Aim(client, server.port(), true);
                client.AccessToken = kToken;
                error = ErrorOf([&] { outcome = Describe(check()); });
            };
            if (row.imap) {
                net::TImapCheck client(nullptr);
                run(client, [&] { return client.CheckMailbox(kUser, "the password", "INBOX"); });
            } else {
                net::TPop3Check client(nullptr);
                run(client, [&] { return client.CheckMaildrop(kUser, "the password"); });
            }
        }
        server.finish();
        EXPECT_EQ(server.failure, "") << row.name;
        EXPECT_EQ(mismatch, "") << row.name;
        EXPECT_EQ(outcome.empty() ? error : outcome, row.outcome) << row.name;
    }
}

TEST(SignedInLogin, ATokenThatCannotTravelIsNeverSent)
{
    for (const std::string& token : { std::string("a\x01") + "b", std::string("a\r\nQ9 LOGOUT") }) {
        std::string seen;
        TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
            p.Handshake();
            p.Write("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2] ready\r\n");
            seen = p.ReadUntilClose();
        });
        net::TImapCheck client(nullptr);
        Aim(client, server.port(), true);
        client.AccessToken = token;
        EXPECT_EQ(ErrorOf([&] { client.CheckMailbox(kUser, "", "INBOX"); }),
            "The user name or token holds a character that cannot be sent to the mail server");
        client.Disconnect();
        server.finish();
        EXPECT_EQ(seen.find("AUTHENTICATE"), std::string::npos);
    }
}

TEST(SignedInLogin, TheTokenGoesOnlyOverTheUpgradedConnection)
{
    const struct {
        bool imap;
        std::vector<std::string> clear; // "S: " sent in the clear, "C: " expected in the clear
        std::vector<std::string> secure;
        std::string outcome;
    } rows[] = {
        { true,
            { "S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2 STARTTLS] ready", "C: Q1 STARTTLS",
                "S: Q1 OK begin" },
            { "C: Q2 CAPABILITY", "S: * CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2", "S: Q2 OK",
                "C: Q3 AUTHENTICATE XOAUTH2 {XOAUTH2}", "S: Q3 OK", "C: Q4 STATUS \"INBOX\" (UNSEEN)",
                "S: * STATUS INBOX (UNSEEN 2)", "S: Q4 OK", "C: Q5 LOGOUT", "S: Q5 OK" },
            "2" },
        { false, { "S: +OK ready", "C: STLS", "S: +OK begin" },
            { "C: CAPA", "S: +OK", "S: SASL XOAUTH2", "S: .", "C: AUTH XOAUTH2", "S: +", "C: {XOAUTH2}", "S: +OK",
                "C: STAT", "S: +OK 6 60", "C: QUIT", "S: +OK" },
            "6" },
    };
    for (const auto& row : rows) {
        std::string mismatch, clearSeen;
        TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
            for (const std::string& step : row.clear) {
                if (step.starts_with("S: ")) {
                    p.SendClear(step.substr(3) + "\r\n");
                    continue;
                }
                const std::string got = p.ReadClearLine();
                clearSeen += got;
                if (got != step.substr(3) + "\r\n" && mismatch.empty())
                    mismatch = "clear: got \"" + got + "\"";
            }
            Play(p, row.secure, mismatch);
        });
        std::string outcome;
        {
            auto run = [&](auto& client, auto check) {
                Aim(client, server.port(), false);
                client.AccessToken = kToken;
                const std::string error = ErrorOf([&] { outcome = Describe(check()); });
                if (outcome.empty())
                    outcome = error;
            };
            if (row.imap) {
                net::TImapCheck client(nullptr);
                run(client, [&] { return client.CheckMailbox(kUser, "", "INBOX"); });
            } else {
                net::TPop3Check client(nullptr);
                run(client, [&] { return client.CheckMaildrop(kUser, ""); });
            }
        }
        server.finish();
        EXPECT_EQ(server.failure, "");
        EXPECT_EQ(mismatch, "");
        EXPECT_EQ(outcome, row.outcome);
        EXPECT_EQ(clearSeen.find(kToken), std::string::npos);
        EXPECT_EQ(clearSeen.find("AUTH"), std::string::npos) << clearSeen;
    }
}
