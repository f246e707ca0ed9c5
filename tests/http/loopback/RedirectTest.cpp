// Redirections, cookies carried into the next request, authentication.
#include "platform/core/Exceptions.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/http/HttpProbe.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace http_tests;
using testing_support::ScriptServer;
using S = ScriptServer;

namespace {

const std::string kOk = "HTTP/1.0 200 OK\r\n\r\n";

ScriptServer::Script Reply(const std::string& bytes)
{
    return { S::ReceiveRequest(), S::Send(bytes), S::Close() };
}

// A stop raised from OnAboutToSend, so that a test can look at a request before it connects.
struct Stopped { };

} // namespace

TEST(Redirect, FollowsLocationThroughAProxyToAnotherHost)
{
    ScriptServer proxy;
    proxy.AddConnection(Reply("HTTP/1.0 302 Found\r\nLocation: http://other/x\r\n\r\nmoved"));
    proxy.AddConnection(Reply(kOk + "final"));
    Probe http(nullptr);
    http.Proxy = "127.0.0.1";
    http.ProxyPort = proxy.port();
    http.Get("http://first/start");
    ASSERT_TRUE(proxy.WaitForClosed(1));
    EXPECT_EQ(proxy.Received(0), ProxyGet("http://first/start", "first"));
    EXPECT_EQ(proxy.Received(1), ProxyGet("http://other/x", "other"));
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.Body, "final");
    EXPECT_EQ(http.Header, kOk);
    EXPECT_EQ(http.Host, "other");
    EXPECT_EQ(http.Port, 80);
}

TEST(Redirect, DirectRedirectToAnotherHostConnectsThereOnPort80)
{
    ScriptServer server;
    server.AddConnection(Reply("HTTP/1.0 302 Found\r\nLocation: http://other/x\r\n\r\n"));
    Probe http(nullptr);
    int passes = 0;
    http.OnAboutToSend = [&](QObject*) {
        if (++passes == 2)
            throw Stopped {};
    };
    EXPECT_THROW(http.Get(server.url("/")), Stopped);
    EXPECT_EQ(http.Host, "other");
    EXPECT_EQ(http.Port, 80);
    EXPECT_EQ(http.HeaderLines.Text(), DirectGet("/x", "other"));
}

// Where a Location leads: the request that follows it, made directly or through a proxy.
struct LocationCase {
    std::string name;
    std::string redirect; // the whole redirecting reply
    bool viaProxy;
    std::string start; // the first address (a path on the scripted server when direct)
    std::string next; // the request that follows the redirection
};

std::ostream& operator<<(std::ostream& out, const LocationCase& c)
{
    return out << c.name;
}

class Location : public testing::TestWithParam<LocationCase> { };

TEST_P(Location, LeadsToTheNextRequest)
{
    const LocationCase& c = GetParam();
    ScriptServer server;
    server.AddConnection(Reply(c.redirect));
    server.AddConnection(Reply(kOk + "final"));
    Probe http(nullptr);
    if (c.viaProxy) {
        http.Proxy = "127.0.0.1";
        http.ProxyPort = server.port();
        http.Get(c.start);
    } else {
        http.Get(server.url(c.start));
    }
    ASSERT_TRUE(server.WaitForClosed(1));
    EXPECT_EQ(server.Received(1), c.next);
    EXPECT_EQ(http.Body, "final");
}

INSTANTIATE_TEST_SUITE_P(Redirect, Location,
    testing::Values(LocationCase { "LeadingSlashKeepsHostAndPort", "HTTP/1.0 301 Moved\r\nlocation: /next?a=1\r\n\r\n",
                        false, "/first", DirectGet("/next?a=1", "127.0.0.1") },
        // Through a proxy the request line then carries only the path.
        LocationCase { "LeadingSlashThroughAProxyCarriesOnlyThePath", "HTTP/1.0 302 Found\r\nLOCATION: /next\r\n\r\n",
            true, "http://server/first", ProxyGet("/next", "server") },
        LocationCase { "WithoutSlashIsTakenRelativeToTheHost", "HTTP/1.0 302 Found\r\nLocation: page.htm\r\n\r\n", true,
            "http://server/dir/first", ProxyGet("http://server/page.htm", "server") },
        LocationCase { "WithInnerSlashNamesAHost", "HTTP/1.0 302 Found\r\nLocation: dir/x\r\n\r\n", true,
            "http://server/first", ProxyGet("dir/x", "dir") },
        LocationCase { "WithoutValueGoesToTheHostsRoot", "HTTP/1.0 302 Found\r\nLocation: \r\n\r\n", true,
            "http://server/first", ProxyGet("http://server/", "server") },
        LocationCase { "WithoutTheSpaceIsNotALocation",
            "HTTP/1.0 302 Found\r\nLocation:/elsewhere\r\nLocation:\r\n\r\n", false, "/same",
            DirectGet("/same", "127.0.0.1") }),
    [](const auto& info) { return info.param.name; });

TEST(Redirect, WithoutLocationTheSameRequestIsRepeatedAsGet)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveUntil("data"), S::Send("HTTP/1.0 303 See Other\r\n\r\n"), S::Close() });
    server.AddConnection(Reply(kOk + "done"));
    Probe http(nullptr);
    std::vector<int> commands;
    http.OnSuccess = [&](net::CmdType cmd) { commands.push_back(cmd); };
    http.Post(server.url("/form"), "data");
    ASSERT_TRUE(server.WaitForClosed(1));
    EXPECT_EQ(server.Received(1), DirectGet("/form", "127.0.0.1"));
    EXPECT_EQ(commands, std::vector<int> { net::cmdGET });
    EXPECT_EQ(http.Body, "done");
}

TEST(Redirect, EndlessRedirectionEndsWithAnError)
{
    ScriptServer server;
    for (int i = 0; i < net::TNMHTTP::kMaxRedirects + 1; ++i)
        server.AddConnection(Reply("HTTP/1.0 302 Found\r\nLocation: /loop\r\n\r\n"));
    server.AddConnection(Reply(kOk));
    Probe http(nullptr);
    int redirects = 0;
    http.OnRedirect = [&](bool&) { ++redirects; };
    try {
        http.Get(server.url("/loop"));
        FAIL() << "no exception";
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.Message, "Too Many Redirections");
    }
    EXPECT_EQ(server.ConnectionCount(), static_cast<std::size_t>(net::TNMHTTP::kMaxRedirects + 1));
    EXPECT_EQ(redirects, net::TNMHTTP::kMaxRedirects + 1);
    EXPECT_EQ(http.ReplyNumber, 302);
    EXPECT_FALSE(http.Connected);
}

TEST(Redirect, HandledEndsTheOperationWithTheRedirectingReply)
{
    ScriptServer server;
    server.AddConnection(Reply("HTTP/1.0 302 Found\r\nLocation: /next\r\nSet-Cookie: s=1\r\n\r\nmoved"));
    Probe http(nullptr);
    http.OnRedirect = [](bool& handled) { handled = true; };
    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 302);
    EXPECT_EQ(http.Body, "moved");
    EXPECT_EQ(http.URL, "/next");
    EXPECT_EQ(http.HeaderInfo()->Cookie, "s=1");
    EXPECT_EQ(server.ConnectionCount(), 1U);
}

TEST(Redirect, CookieOfARedirectIsSentOnTheNextRequest)
{
    ScriptServer server;
    server.AddConnection(Reply("HTTP/1.0 302 Found\r\nSet-Cookie: a=1; path=/\r\nset-cookie: "
                               "b=2; path=/; expires=Wed, 09 Jun 2027 10:18:14 GMT\r\nLocation: /in\r\n\r\n"));
    server.AddConnection(Reply(kOk + "welcome"));
    Probe http(nullptr);
    http.Get(server.url("/login"));
    ASSERT_TRUE(server.WaitForClosed(1));
    const std::string cookie = "b=2; path=/; expires=Wed, 09 Jun 2027 10:18:14 GMT";
    EXPECT_EQ(server.Received(1),
        "GET /in HTTP/1.0\r\nHost: 127.0.0.1\r\n" + kAccept1 + kAccept2 + "Cookie: " + cookie + "\r\n" + kForm
            + "\r\n");
    EXPECT_EQ(http.HeaderInfo()->Cookie, cookie);
    EXPECT_EQ(http.ReceivedCookie, "");
    EXPECT_EQ(http.Body, "welcome");
}

TEST(Redirect, CookieOfAFinalReplyStaysInReceivedCookie)
{
    ScriptServer server;
    server.AddConnection(Reply("HTTP/1.0 200 OK\r\nSet-Cookie: z=9\r\nSet-Cookie:nospace=1\r\n\r\n"));
    Probe http(nullptr);
    http.HeaderInfo()->Cookie = "mine=1";
    http.Get(server.url("/"));
    EXPECT_EQ(http.ReceivedCookie, "z=9");
    EXPECT_EQ(http.HeaderInfo()->Cookie, "mine=1");
}

TEST(Redirect, LongCookieAndLocationAreCutAt256)
{
    const std::string longValue(400, 'v');
    ScriptServer server;
    server.AddConnection(
        Reply("HTTP/1.0 200 OK\r\nSet-Cookie: " + longValue + "\r\nLocation: /" + longValue + "\r\n\r\n"));
    Probe http(nullptr);
    http.Get(server.url("/"));
    EXPECT_EQ(http.ReceivedCookie, longValue.substr(0, 256));
    EXPECT_EQ(http.URL, "/" + longValue.substr(0, 255));
}

TEST(Redirect, UnauthorizedRaisesFailureThenAuthenticationOnce)
{
    ScriptServer server;
    server.AddConnection(Reply("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\n\r\nno"));
    server.AddConnection(Reply(kOk + "yes"));
    Probe http(nullptr);
    std::vector<std::string> events;
    http.OnFailure = [&](net::CmdType) { events.push_back("failure"); };
    http.OnAuthenticationNeeded = [&](QObject* sender) { events.push_back(sender == &http ? "auth" : "auth?"); };
    http.Get(server.url("/private"));
    EXPECT_EQ(events, (std::vector<std::string> { "failure", "auth" }));
    EXPECT_EQ(http.ReplyNumber, 401);
    EXPECT_EQ(server.ConnectionCount(), 1U);

    // The caller fills in the credentials and asks again.
    http.HeaderInfo()->UserId = "user";
    http.HeaderInfo()->Password = "pass";
    http.Get(server.url("/private"));
    ASSERT_TRUE(server.WaitForClosed(1));
    EXPECT_NE(server.Received(1).find("Authorization: Basic dXNlcjpwYXNz\r\n"), std::string::npos);
    EXPECT_EQ(http.Body, "yes");
}
