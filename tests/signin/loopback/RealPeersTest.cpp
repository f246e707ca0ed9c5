// Sign-in against real peers on loopback: the stand-in authorization server, Dovecot checking
// tokens by introspection, and the test user agent as the browser. Each test signs in through
// the browser, then checks the mailbox over IMAP and POP3 with the token.
#include "net/ImapCheck.h"
#include "net/Pop3Check.h"
#include "signin/AccessTokens.h"
#include "signin/SignIn.h"
#include "signin/TokenStore.h"
#include "tests/fixtures/AuthServer.h"
#include "tests/fixtures/Dovecot.h"
#include "tests/support/TempRegistry.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

using namespace signin;
using testing_support::AuthServer;
using testing_support::Dovecot;

namespace {

const std::string kUser = "anna@example.org";

std::string ReadFile(const std::string& name)
{
    std::ifstream in(name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class RealPeers : public ::testing::Test {
protected:
    void Start(AuthServer::Options options = {})
    {
        auth = std::make_unique<AuthServer>(options);
        dovecot = std::make_unique<Dovecot>(Dovecot::Options { auth->introspectionUrl() });
        dovecot->AddUser(kUser, "an app password", 3, 2);
    }

    Provider LocalProvider() const
    {
        Provider p;
        p.name = "Local";
        p.clientId = auth->options().clientId;
        p.authorize = auth->url("/authorize");
        p.token = auth->url("/token");
        p.scope = "mail offline_access";
        return p;
    }

    // Signs the account in through the test user agent; the page it ended on is in `page`.
    SignInResult SignIn(AccessTokens& tokens, const std::string& consent = "allow")
    {
        SignInRequest request;
        request.account = "work";
        request.address = kUser;
        request.provider = LocalProvider();
        request.wait = std::chrono::seconds(60);
        const std::string pageFile = folder.filePath("page.html").toStdString();
        request.openBrowser = [&, pageFile](const std::string& address) {
            const std::string command = "QUORVEL_TEST_CONSENT=" + consent + " QUORVEL_TEST_PAGE='" + pageFile + "' '"
                + AuthServer::UserAgentScript() + "' '" + address + "'";
            browser = std::thread([command] { std::system(command.c_str()); });
            return true;
        };
        const SignInResult result = RunSignIn(nullptr, request, tokens);
        if (browser.joinable())
            browser.join();
        page = ReadFile(pageFile);
        return result;
    }

    // The check's result: the count, "sign-in refused: <status>", or the error.
    template <typename Client, typename F> std::string Check(const std::string& token, std::uint16_t port, F run)
    {
        Client client(nullptr);
        client.Host = "127.0.0.1";
        client.Port = port;
        client.TimeOut = 10000;
        client.AccessToken = token;
        try {
            const net::MailCount c = run(client);
            if (c.outcome == net::MailCount::Outcome::Count)
                return std::to_string(c.count);
            if (c.outcome == net::MailCount::Outcome::SignInRefused)
                return "sign-in refused: " + c.refusal;
            return "other outcome";
        } catch (const net::ESockError& e) {
            return e.Message;
        }
    }
    std::string CheckImap(const std::string& token)
    {
        return Check<net::TImapCheck>(
            token, dovecot->imapsPort(), [](net::TImapCheck& c) { return c.CheckMailbox(kUser, "", "INBOX"); });
    }
    std::string CheckPop3(const std::string& token)
    {
        return Check<net::TPop3Check>(
            token, dovecot->pop3sPort(), [](net::TPop3Check& c) { return c.CheckMaildrop(kUser, ""); });
    }

    testing_support::TempRegistry registry;
    QTemporaryDir folder;
    std::unique_ptr<AuthServer> auth;
    std::unique_ptr<Dovecot> dovecot;
    std::thread browser;
    std::string page;
};

} // namespace

TEST_F(RealPeers, SignInThenBothProtocolsCountWithTheToken)
{
    Start();
    AccessTokens tokens;
    const SignInResult result = SignIn(tokens);
    ASSERT_TRUE(result.signedIn) << result.text << "\n" << auth->log();
    EXPECT_NE(page.find("Quorvel is signed in to anna@example.org. You can close this tab."), std::string::npos)
        << page;
    const std::string token = tokens.Get(nullptr, "work", LocalProvider(), {}).token;
    ASSERT_FALSE(token.empty());
    EXPECT_EQ(CheckImap(token), "3") << dovecot->log();
    EXPECT_EQ(CheckPop3(token), "5") << dovecot->log();
    // A token that is not the provider's is refused with the status of the challenge.
    EXPECT_EQ(CheckImap("not-a-token"), "sign-in refused: 401");
    EXPECT_EQ(CheckPop3("not-a-token"), "sign-in refused: 401");
    // The access token lives in memory only: nothing was asked of the token endpoint for it.
    EXPECT_EQ(auth->log().find("refresh_token"), std::string::npos) << auth->log();
}

TEST_F(RealPeers, AnExpiredTokenIsRefusedAndARefreshRotatesTheStoredOne)
{
    Start({ .accessLifetime = 2 });
    auto now = std::chrono::steady_clock::now();
    AccessTokens tokens([&] { return now; });
    ASSERT_TRUE(SignIn(tokens).signedIn);
    const std::optional<std::string> first = Tokens().Read("work");
    ASSERT_TRUE(first);
    // Two seconds of life are less than the margin: every use refreshes, and every refresh
    // rotates the refresh token.
    const std::string token = tokens.Get(nullptr, "work", LocalProvider(), {}).token;
    const std::optional<std::string> second = Tokens().Read("work");
    ASSERT_TRUE(second);
    EXPECT_NE(*second, *first);
    EXPECT_EQ(CheckImap(token), "3");
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    EXPECT_EQ(CheckImap(token), "sign-in refused: 401");
    const std::string fresh = tokens.Get(nullptr, "work", LocalProvider(), {}).token;
    EXPECT_NE(fresh, token);
    EXPECT_NE(Tokens().Read("work"), second);
    EXPECT_EQ(CheckPop3(fresh), "5");
}

TEST_F(RealPeers, ARevokedGrantMeansSignInNeeded)
{
    Start();
    AccessTokens tokens;
    ASSERT_TRUE(SignIn(tokens).signedIn);
    ASSERT_TRUE(auth->Revoke(*Tokens().Read("work")));
    tokens.Forget("work");
    EXPECT_TRUE(tokens.Get(nullptr, "work", LocalProvider(), {}).signInNeeded());
    EXPECT_FALSE(Tokens().Read("work"));
}

TEST_F(RealPeers, DeniedConsentCancelsTheSignIn)
{
    Start();
    AccessTokens tokens;
    const SignInResult result = SignIn(tokens, "deny");
    EXPECT_FALSE(result.signedIn);
    EXPECT_EQ(result.text, "Sign-in cancelled");
    EXPECT_NE(page.find("Sign-in cancelled"), std::string::npos) << page;
    EXPECT_FALSE(Tokens().Read("work"));
    EXPECT_EQ(auth->log().find("/token"), std::string::npos);
}
