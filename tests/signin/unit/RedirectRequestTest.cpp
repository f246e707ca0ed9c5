// The one request the loopback listener takes: every form it may meet, as a table.
#include "signin/Authorization.h"

#include <gtest/gtest.h>

using namespace signin;
using Kind = RedirectOutcome::Kind;

namespace {

std::string Get(const std::string& target)
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:4711\r\nUser-Agent: x\r\n\r\n";
}

} // namespace

TEST(RedirectRequest, OnlyTheRootWithTheMatchingStateCounts)
{
    const struct {
        std::string request;
        Kind kind;
        std::string code, error;
    } rows[] = {
        { Get("/?code=abc&state=S1"), Kind::Code, "abc", "" },
        { Get("/?state=S1&code=a%2Fb%2Bc"), Kind::Code, "a/b+c", "" },
        { Get("/?code=abc&state=S1&session_state=x"), Kind::Code, "abc", "" },
        { "GET /?code=abc&state=S1 HTTP/1.0\n\n", Kind::Code, "abc", "" },
        { Get("/?error=access_denied&state=S1"), Kind::Cancelled, "", "access_denied" },
        { Get("/?error=server_error&error_description=try+later%0D%0A&state=S1"), Kind::Failed, "",
            "server_error (try later)" },
        // A request that is not the redirection, or not of this sign-in, changes nothing.
        { Get("/?code=abc&state=S2"), Kind::Foreign, "", "" },
        { Get("/?code=abc&state=s1"), Kind::Foreign, "", "" },
        { Get("/?code=abc"), Kind::Foreign, "", "" },
        { Get("/?code=abc&state=S1&state=S1"), Kind::Foreign, "", "" },
        { Get("/?code=abc&code=def&state=S1"), Kind::Foreign, "", "" },
        { Get("/?code=&state=S1"), Kind::Foreign, "", "" },
        { Get("/?state=S1"), Kind::Foreign, "", "" },
        { Get("/favicon.ico"), Kind::Foreign, "", "" },
        { Get("/cb?code=abc&state=S1"), Kind::Foreign, "", "" },
        { Get("/?code=%zz&state=S1"), Kind::Foreign, "", "" },
        { "POST /?code=abc&state=S1 HTTP/1.1\r\n\r\n", Kind::Foreign, "", "" },
        { "GET /?code=abc&state=S1\r\n\r\n", Kind::Foreign, "", "" },
        { "\x16\x03\x01\x02\x01\xfc\x03\x03\r\n\r\n", Kind::Foreign, "", "" },
        // Not finished yet: the listener reads on.
        { "GET /?code=abc&state=S1 HTTP/1.1\r\nHost: x\r\n", Kind::Incomplete, "", "" },
        { "", Kind::Incomplete, "", "" },
        // A request that never ends within the bound is no browser's.
        { "GET /?code=abc&state=S1 HTTP/1.1\r\nX: " + std::string(kMaxRedirectRequest, 'a'), Kind::Foreign, "", "" },
        { "GET /?code=abc&state=S1 HTTP/1.1\r\nX: " + std::string(kMaxRedirectRequest, 'a') + "\r\n\r\n", Kind::Foreign,
            "", "" },
    };
    for (const auto& row : rows) {
        const RedirectOutcome o = ReadRedirectRequest(row.request, "S1");
        EXPECT_EQ(o.kind, row.kind) << row.request.substr(0, 80);
        EXPECT_EQ(o.code, row.code) << row.request.substr(0, 80);
        EXPECT_EQ(o.error, row.error) << row.request.substr(0, 80);
    }
    // No expected state, no match, whatever comes.
    EXPECT_EQ(ReadRedirectRequest(Get("/?code=abc&state="), "").kind, Kind::Foreign);
}

TEST(RedirectRequest, TheBrowserGetsTheClosingPageOrA400)
{
    const struct {
        RedirectOutcome outcome;
        std::string status, text;
    } rows[] = {
        { { Kind::Code, "c", "" }, "HTTP/1.0 200 OK\r\n",
            "Quorvel is signed in to a&amp;b@example.org. You can close this tab." },
        { { Kind::Cancelled, "", "access_denied" }, "HTTP/1.0 200 OK\r\n", "Sign-in cancelled" },
        { { Kind::Failed, "", "<script>" }, "HTTP/1.0 200 OK\r\n", "Sign-in failed: &lt;script&gt;" },
        { { Kind::Foreign, "", "" }, "HTTP/1.0 400 Bad Request\r\n", "This is not a sign-in of Quorvel." },
    };
    for (const auto& row : rows) {
        const std::string reply = RedirectReply(row.outcome, "a&b@example.org");
        EXPECT_EQ(reply.rfind(row.status, 0), 0U) << reply;
        EXPECT_NE(reply.find(row.text), std::string::npos) << reply;
        const auto body = reply.find("\r\n\r\n") + 4;
        EXPECT_NE(reply.find("Content-Length: " + std::to_string(reply.size() - body) + "\r\n"), std::string::npos);
    }
}
