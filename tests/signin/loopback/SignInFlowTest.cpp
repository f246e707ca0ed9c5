// Whole sign-ins on loopback: the browser's redirection to the listener, the code exchange with
// the proof key at a TLS token endpoint, and the refresh of access tokens.
#include "SignInPeers.h"
#include "net/SockErrors.h"
#include "signin/AccessTokens.h"
#include "signin/Pkce.h"
#include "signin/RedirectListener.h"
#include "signin/SignIn.h"
#include "signin/TokenStore.h"
#include "tests/support/TempRegistry.h"

#include <gtest/gtest.h>

#include <thread>

using namespace signin;
using namespace signin_tests;
using Kind = RedirectOutcome::Kind;

namespace {

Provider LocalProvider(const std::string& tokenUrl)
{
    Provider p;
    p.name = "Local";
    p.clientId = "quorvel-test";
    p.authorize = "https://127.0.0.1:1/authorize";
    p.token = tokenUrl;
    p.scope = "mail offline_access";
    return p;
}

// A browser on its own thread; joined when the test's scope ends.
struct Browser {
    std::vector<std::string> replies;
    std::thread thread;
    ~Browser()
    {
        if (thread.joinable())
            thread.join();
    }
};

} // namespace

TEST(RedirectListener, TurnsAwayForeignRequestsAndTakesTheOneWithItsState)
{
    auto owned = std::make_unique<RedirectListener>("S1", "me@example.org");
    RedirectListener& listener = *owned;
    const std::uint16_t port = listener.port();
    EXPECT_EQ(listener.redirectUri(), "http://127.0.0.1:" + std::to_string(port) + "/");
    std::vector<std::string> replies;
    std::thread browser([&] {
        // Only 127.0.0.1 listens.
        replies.push_back(PlainRequest(port, RedirectGet("code=x&state=S1"), "127.0.0.2"));
        replies.push_back(PlainRequest(port, RedirectGet("code=forged&state=S2")));
        replies.push_back(PlainRequest(port, "GET /favicon.ico HTTP/1.1\r\n\r\n"));
        replies.push_back(PlainRequest(port, "GET /?state=S1&code=" + std::string(20000, 'c')));
        replies.push_back(PlainRequest(port, RedirectGet("code=good&state=S1")));
        // After the one request the listener takes no other.
        replies.push_back(PlainRequest(port, RedirectGet("code=second&state=S1")));
    });
    const RedirectOutcome o = listener.Wait(std::chrono::seconds(20));
    listener.Complete(o);
    owned.reset();
    browser.join();
    EXPECT_EQ(o.kind, Kind::Code);
    EXPECT_EQ(o.code, "good");
    ASSERT_EQ(replies.size(), 6U);
    EXPECT_EQ(replies[0], "");
    for (int i : { 1, 2 })
        EXPECT_EQ(replies[i].rfind("HTTP/1.0 400 Bad Request\r\n", 0), 0U) << i << replies[i];
    // The oversized one is cut off while it still sends: it may see the 400 or only the reset.
    EXPECT_EQ(replies[3].find("200 OK"), std::string::npos);
    EXPECT_EQ(replies[4].rfind("HTTP/1.0 200 OK\r\n", 0), 0U) << replies[4];
    EXPECT_NE(replies[4].find("Quorvel is signed in to me@example.org. You can close this tab."), std::string::npos);
    EXPECT_EQ(replies[5].find("200 OK"), std::string::npos) << replies[5];
}

TEST(RedirectListener, GivesUpAfterItsWait)
{
    RedirectListener listener("S1", "me@example.org");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(listener.Wait(std::chrono::milliseconds(300)).kind, Kind::Incomplete);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
}

TEST(SignIn, CodeExchangeWithTheProofKeyKeepsTheRefreshTokenAndTheAccessToken)
{
    testing_support::TempRegistry registry;
    std::string challenge, hint;
    TokenEndpoint endpoint(1, [&](const auto& form) {
        if (PkceChallenge(Field(form, "code_verifier")) != challenge || Field(form, "code") != "C1")
            return JsonReply(400, R"({"error":"invalid_grant"})");
        return JsonReply(
            200, R"({"access_token":"AT1","token_type":"Bearer","expires_in":3600,"refresh_token":"RT1"})");
    });
    Browser browser;
    SignInRequest request;
    request.account = "work";
    request.address = "me@example.org";
    request.provider = LocalProvider(endpoint.url());
    request.openBrowser = [&](const std::string& address) {
        const auto q = QueryOf(address);
        challenge = Field(q, "code_challenge");
        hint = Field(q, "login_hint");
        EXPECT_EQ(Field(q, "code_challenge_method"), "S256");
        EXPECT_EQ(address.rfind("https://127.0.0.1:1/authorize?", 0), 0U);
        const std::string redirect = Field(q, "redirect_uri");
        const auto port = static_cast<std::uint16_t>(std::stoi(redirect.substr(redirect.rfind(':') + 1)));
        const std::string state = Field(q, "state");
        browser.thread = std::thread([&, port, state] {
            browser.replies.push_back(PlainRequest(port, RedirectGet("code=C1&state=" + PercentEncode(state))));
        });
        return true;
    };
    AccessTokens tokens;
    const SignInResult result = RunSignIn(nullptr, request, tokens);
    endpoint.finish();
    EXPECT_EQ(endpoint.failure(), "");
    EXPECT_TRUE(result.signedIn) << result.text;
    EXPECT_EQ(result.text, "Signed in to me@example.org");
    EXPECT_EQ(hint, "me@example.org");
    ASSERT_EQ(endpoint.forms.size(), 1U);
    EXPECT_EQ(Field(endpoint.forms[0], "client_id"), "quorvel-test");
    EXPECT_EQ(endpoint.requestLines, std::vector<std::string> { "POST /token HTTP/1.0\r\n" });
    EXPECT_EQ(Tokens().Read("work"), "RT1");
    // The access token is in memory: no second request for it.
    EXPECT_EQ(tokens.Get(nullptr, "work", request.provider, {}).token, "AT1");
    browser.thread.join();
    EXPECT_NE(browser.replies.at(0).find("Quorvel is signed in to me@example.org."), std::string::npos);
}

TEST(SignIn, EndsWithATextWhenItCannotComplete)
{
    testing_support::TempRegistry registry;
    const struct {
        std::string name;
        std::string redirectQuery; // empty: the browser never comes back
        std::string tokenUrl;
        std::string clientId;
        std::string text;
    } rows[] = {
        { "denied", "error=access_denied&state=", "https://127.0.0.1:1/token", "id", "Sign-in cancelled" },
        { "provider error", "error=server_error&error_description=down&state=", "https://127.0.0.1:1/token", "id",
            "Sign-in failed: server_error (down)" },
        { "timeout", "", "https://127.0.0.1:1/token", "id", "Sign-in timed out" },
        { "plain token address", "code=C&state=", "http://127.0.0.1:1/token", "id",
            "Sign-in failed: The token address of Local is not an https:// address" },
        { "token endpoint away", "code=C&state=", "https://127.0.0.1:1/token", "id",
            "Sign-in failed: Connection Failed" },
        { "no registration", "", "https://127.0.0.1:1/token", "",
            "This copy of Quorvel has no sign-in registration for Local: see README, Sign-in" },
    };
    for (const auto& row : rows) {
        Browser browser;
        bool opened = false;
        SignInRequest request;
        request.account = "a";
        request.address = "me@example.org";
        request.provider = LocalProvider(row.tokenUrl);
        request.provider.clientId = row.clientId;
        request.wait = std::chrono::milliseconds(row.redirectQuery.empty() ? 300 : 20000);
        request.openBrowser = [&](const std::string& address) {
            opened = true;
            const auto q = QueryOf(address);
            const std::string redirect = Field(q, "redirect_uri");
            const auto port = static_cast<std::uint16_t>(std::stoi(redirect.substr(redirect.rfind(':') + 1)));
            if (!row.redirectQuery.empty())
                browser.thread = std::thread([&, port, state = Field(q, "state")] {
                    browser.replies.push_back(PlainRequest(port, RedirectGet(row.redirectQuery + state)));
                });
            return true;
        };
        const SignInResult result = RunSignIn(nullptr, request);
        EXPECT_FALSE(result.signedIn) << row.name;
        EXPECT_EQ(result.text, row.text) << row.name;
        EXPECT_EQ(opened, !row.clientId.empty()) << row.name;
        EXPECT_FALSE(Tokens().Read("a")) << row.name;
        if (browser.thread.joinable()) {
            browser.thread.join();
            // The browser's page tells what the status line tells.
            const std::string shown = row.text.substr(row.text.find(':') + 2);
            EXPECT_NE(browser.replies.at(0).find(row.text == "Sign-in cancelled" ? row.text : shown), std::string::npos)
                << row.name << browser.replies.at(0);
        }
    }
}

TEST(AccessTokens, RefreshesNearTheEndRotatesAndForgetsARevokedGrant)
{
    testing_support::TempRegistry registry;
    auto now = std::chrono::steady_clock::now();
    AccessTokens tokens([&] { return now; });
    int served = 0;
    TokenEndpoint endpoint(3, [&](const auto&) {
        switch (served++) {
        case 0:
            return JsonReply(
                200, R"({"access_token":"AT2","token_type":"Bearer","expires_in":3600,"refresh_token":"RT2"})");
        case 1:
            return JsonReply(400, R"({"error":"invalid_grant","error_description":"revoked"})");
        default:
            return JsonReply(500, R"({"error":"temporarily_unavailable"})");
        }
    });
    const Provider provider = LocalProvider(endpoint.url());
    // Nothing kept: a sign-in is needed, and nobody is asked.
    EXPECT_TRUE(tokens.Get(nullptr, "a", provider, {}).signInNeeded());

    TokenReply signedIn;
    signedIn.kind = TokenReply::Kind::Tokens;
    signedIn.accessToken = "AT1";
    signedIn.expiresIn = 3600;
    signedIn.refreshToken = "RT1";
    ASSERT_TRUE(tokens.Take("a", signedIn));
    now += std::chrono::seconds(3600 - 61);
    EXPECT_EQ(tokens.Get(nullptr, "a", provider, {}).token, "AT1");
    now += std::chrono::seconds(2);
    // Less than a minute left: refreshed, and the rotated refresh token replaces the old one.
    EXPECT_EQ(tokens.Get(nullptr, "a", provider, {}).token, "AT2");
    EXPECT_EQ(Tokens().Read("a"), "RT2");
    now += std::chrono::seconds(3600);
    EXPECT_TRUE(tokens.Get(nullptr, "a", provider, {}).signInNeeded());
    EXPECT_FALSE(Tokens().Read("a"));
    // A refusal of another kind is an error of the check, and the token stays.
    ASSERT_TRUE(Tokens().Write("a", "RT3"));
    try {
        tokens.Get(nullptr, "a", provider, {});
        ADD_FAILURE() << "no exception";
    } catch (const net::ESockError& e) {
        EXPECT_EQ(e.Message, "Sign-in refresh failed: temporarily_unavailable");
    }
    EXPECT_EQ(Tokens().Read("a"), "RT3");
    endpoint.finish();
    EXPECT_EQ(endpoint.failure(), "");
    ASSERT_EQ(endpoint.forms.size(), 3U);
    EXPECT_EQ(Field(endpoint.forms[0], "refresh_token"), "RT1");
    EXPECT_EQ(Field(endpoint.forms[0], "grant_type"), "refresh_token");
    EXPECT_EQ(Field(endpoint.forms[1], "refresh_token"), "RT2");
    EXPECT_EQ(Field(endpoint.forms[2], "refresh_token"), "RT3");
}
