// Replies that try to pass a cut page off as whole, to hold a check for ever, to grow the process,
// or to smuggle lines into the next request.
#include "net/SockErrors.h"
#include "platform/core/HostResolver.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/http/HttpProbe.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <malloc.h>
#include <netinet/in.h>
#include <sstream>

using namespace http_tests;
using testing_support::ScriptServer;
using S = ScriptServer;

namespace {

const std::string kReset = "10054:Connection reset by peer";

struct Outcome {
    std::string message; // of the ESockError raised, "" when none
    qint64 elapsed = 0;
    int successes = 0;
};

template <typename Setup> Outcome Request(Probe& http, const std::string& url, Setup setup)
{
    Outcome out;
    http.OnSuccess = [&](net::CmdType) { ++out.successes; };
    setup(http);
    QElapsedTimer clock;
    clock.start();
    try {
        http.Get(url);
    } catch (const net::ESockError& e) {
        out.message = e.Message;
    }
    out.elapsed = clock.elapsed();
    return out;
}

Outcome Request(Probe& http, const std::string& url)
{
    return Request(http, url, [](Probe&) {});
}

std::string ReadFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Bytes the allocator has handed out: what a reservation on the server's word would show.
std::size_t AllocatedBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

std::size_t ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    std::size_t resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// Every name resolves to 127.0.0.1 while the object lives: other names for one loopback server.
struct LoopbackNames {
    LoopbackNames()
        : previous(platform::SetHostResolver([](const std::string& name) {
            platform::HostLookupResult r;
            r.name = name;
            r.addresses.push_back(htonl(INADDR_LOOPBACK));
            return r;
        }))
    { }
    ~LoopbackNames() { platform::SetHostResolver(previous); }
    LoopbackNames(const LoopbackNames&) = delete;
    LoopbackNames& operator=(const LoopbackNames&) = delete;
    platform::HostResolverFunction previous;
};

} // namespace

TEST(CutReply, AResetWhileTheStatusLineHeaderOrBodyIsReadFailsTheRequest)
{
    for (const std::string& sent : { std::string("HTTP/1.0 20"), std::string("HTTP/1.0 200 OK\r\nX-Half: 1"),
             std::string("HTTP/1.0 200 OK\r\n\r\npart of the page"),
             std::string("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\npart") }) {
        ScriptServer server;
        server.AddConnection({ S::ReceiveRequest(), S::Send(sent), S::Pause(100), S::Reset() });
        Probe http(nullptr);
        int disconnects = 0;
        http.OnDisconnect = [&](QObject*) { ++disconnects; };
        const Outcome out = Request(http, server.url("/"));
        EXPECT_EQ(out.message, kReset) << sent;
        EXPECT_EQ(out.successes, 0) << sent;
        EXPECT_LT(out.elapsed, 5000) << sent;
        EXPECT_FALSE(http.Connected) << sent;
        EXPECT_GE(disconnects, 1) << sent;
    }
}

TEST(CutReply, ABodyShorterThanItsAnnouncedLengthIsIncomplete)
{
    for (const std::string keepAlive : { "", "Connection: keep-alive\r\n" }) {
        ScriptServer server;
        server.AddConnection({ S::ReceiveRequest(),
            S::Send("HTTP/1.0 200 OK\r\n" + keepAlive + "Content-Length: 100\r\n\r\nshort"), S::Close() });
        Probe http(nullptr);
        const Outcome out = Request(http, server.url("/"));
        EXPECT_EQ(out.message, "Reply Body Incomplete") << keepAlive;
        EXPECT_EQ(out.successes, 0);
        // What arrived is kept.
        EXPECT_EQ(http.Body, "short");
    }
}

TEST(CutReply, AnIncompleteBodyIntoAFileFailsToo)
{
    QTemporaryDir dir;
    ScriptServer server;
    server.AddConnection(
        { S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nshort"), S::Close() });
    Probe http(nullptr);
    http.InputFileMode = true;
    http.Body = dir.filePath("body").toStdString();
    EXPECT_EQ(Request(http, server.url("/")).message, "Reply Body Incomplete");
    EXPECT_EQ(ReadFile(http.Body), "short");
}

TEST(CutReply, AWholeBodyIntoADeviceIsWhole)
{
    // /dev/null keeps no size to measure the body by.
    ScriptServer server;
    server.AddConnection(
        { S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nwhole"), S::Close() });
    Probe http(nullptr);
    http.InputFileMode = true;
    http.Body = "/dev/null";
    EXPECT_EQ(Request(http, server.url("/")).message, "");
}

TEST(CutReply, WholeBodiesAndBodiesWithoutALengthStillSucceed)
{
    // The announced length reached, a head reply without a body, and no length at all.
    const std::vector<std::pair<std::string, std::string>> replies {
        { "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nwhole", "whole" },
        { "HTTP/1.0 200 OK\r\n\r\nuntil the close", "until the close" },
        { "HTTP/1.0 204 No Content\r\nContent-Length: 50\r\n\r\n", "" },
    };
    for (const auto& [reply, body] : replies) {
        ScriptServer server;
        server.AddConnection({ S::ReceiveRequest(), S::Send(reply), S::Close() });
        Probe http(nullptr);
        const Outcome out = Request(http, server.url("/"));
        EXPECT_EQ(out.message, "") << reply;
        EXPECT_EQ(http.Body, body);
    }
}

TEST(ReplyDeadline, ATricklingServerIsCutOffAtTheDeadline)
{
    // A byte every 100 ms never stalls, but never ends either.
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(),
        S::SendFragments("HTTP/1.0 200 OK\r\n\r\n" + std::string(200, 't'), 1, 100), S::Close() });
    Probe http(nullptr);
    const Outcome out = Request(http, server.url("/"), [](Probe& p) {
        p.ReplyTimeOut = 60000;
        p.ReplyDeadline = 1000;
    });
    EXPECT_EQ(out.message, "Reply Timed Out");
    EXPECT_GE(out.elapsed, 1000);
    EXPECT_LT(out.elapsed, 6000);
    EXPECT_EQ(out.successes, 0);
    EXPECT_FALSE(http.Connected);
}

TEST(ReplyDeadline, CoversTheHeaderAsWellAsTheBody)
{
    ScriptServer server;
    std::string header = "HTTP/1.0 200 OK\r\n";
    for (int i = 0; i < 100; ++i)
        header += "X: " + std::to_string(i) + "\r\n";
    server.AddConnection({ S::ReceiveRequest(), S::SendFragments(header, 2, 50), S::Close() });
    Probe http(nullptr);
    const Outcome out = Request(http, server.url("/"), [](Probe& p) { p.ReplyDeadline = 800; });
    EXPECT_EQ(out.message, "Reply Timed Out");
    EXPECT_LT(out.elapsed, 6000);
}

TEST(ReplyDeadline, DefaultsToTwoMinutesAndZeroMeansNone)
{
    EXPECT_EQ(Probe(nullptr).ReplyDeadline, 120000);
    ScriptServer server;
    server.AddConnection(
        { S::ReceiveRequest(), S::SendFragments("HTTP/1.0 200 OK\r\n\r\n0123456789", 3, 150), S::Close() });
    Probe http(nullptr);
    const Outcome out = Request(http, server.url("/"), [](Probe& p) { p.ReplyDeadline = 0; });
    EXPECT_EQ(out.message, "");
    EXPECT_EQ(http.Body, "0123456789");
}

TEST(BodyLimit, ABodyPastTheLimitEndsTheRequest)
{
    for (const std::string length : { "", "Connection: keep-alive\r\nContent-Length: 3000000\r\n" }) {
        ScriptServer server;
        server.AddConnection({ S::ReceiveRequest(),
            S::SendFragments("HTTP/1.0 200 OK\r\n" + length + "\r\n" + std::string(3000000, 'b'), 65536, 1),
            S::Stall() });
        Probe http(nullptr);
        const Outcome out = Request(http, server.url("/"), [](Probe& p) { p.MaxBodySize = 1000000; });
        EXPECT_EQ(out.message, "Reply Body Too Long") << length;
        EXPECT_LE(http.Body.size(), 1000000U + 2 * 65536);
        EXPECT_FALSE(http.Connected);
    }
    EXPECT_EQ(Probe(nullptr).MaxBodySize, 64 * 1024 * 1024);
}

TEST(BodyLimit, NothingIsReservedOnTheServersWord)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\nContent-Length: 2147483647\r\n\r\n"),
        S::Pause(200), S::Send("0123456789"), S::Stall() });
    Probe http(nullptr);
    const std::size_t allocatedBefore = AllocatedBytes();
    const std::size_t residentBefore = ResidentBytes();
    std::size_t allocatedDuring = 0;
    std::size_t residentDuring = 0;
    http.OnPacketRecvd = [&](QObject*) {
        allocatedDuring = std::max(allocatedDuring, AllocatedBytes());
        residentDuring = std::max(residentDuring, ResidentBytes());
        if (http.BytesRecvd >= 10)
            http.Cancel();
    };
    try {
        http.Get(server.url("/"));
    } catch (const net::ESockError&) { }
    ASSERT_GT(residentDuring, 0U) << "the body never arrived";
    constexpr std::size_t kFewMiB = 8 * 1024 * 1024;
    EXPECT_LT(residentDuring, residentBefore + kFewMiB);
    // The sanitizer's allocator does not report through mallinfo2.
    if (allocatedBefore > 0) {
        EXPECT_LT(allocatedDuring, allocatedBefore + kFewMiB);
    }
}

TEST(Injection, LocationAndCookieValuesEndAtTheirFirstLineBreakOrZero)
{
    ScriptServer server;
    const std::string cookie = std::string("id=1\0Cookie: forged", 19);
    server.AddConnection({ S::ReceiveRequest(),
        S::Send("HTTP/1.0 302 Found\r\nSet-Cookie: " + cookie + "\r\nLocation: /next\rX-Forged: 1\r\n\r\n"),
        S::Close() });
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n\r\nfine"), S::Close() });
    Probe http(nullptr);
    http.Get(server.url("/"));
    ASSERT_TRUE(server.WaitForClosed(1));
    const std::string expected
        = "GET /next HTTP/1.0\r\nHost: 127.0.0.1\r\n" + kAccept1 + kAccept2 + "Cookie: id=1\r\n" + kForm + "\r\n";
    EXPECT_EQ(server.Received(1), expected);
    EXPECT_EQ(http.HeaderInfo()->Cookie, "id=1");
}

TEST(Injection, AZeroByteEndsALocation)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(),
        S::Send(std::string("HTTP/1.0 302 Found\r\nLocation: /y\0 HTTP/1.0\r\nX-Forged: 1\r\n\r\n", 59)), S::Close() });
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n\r\n"), S::Close() });
    Probe http(nullptr);
    http.Get(server.url("/"));
    ASSERT_TRUE(server.WaitForClosed(1));
    EXPECT_EQ(server.Received(1), DirectGet("/y", "127.0.0.1"));
}

TEST(Redirect, ACookieTakenOverGoesOnlyToTheHostThatSetIt)
{
    ScriptServer server;
    const std::string port = std::to_string(server.port());
    server.AddConnection({ S::ReceiveRequest(),
        S::Send("HTTP/1.0 302 Found\r\nSet-Cookie: s=1\r\nLocation: http://127.0.0.1:" + port + "/b\r\n\r\n"),
        S::Close() });
    server.AddConnection({ S::ReceiveRequest(),
        S::Send("HTTP/1.0 302 Found\r\nLocation: http://LocalHost:" + port + "/c\r\n\r\n"), S::Close() });
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n\r\n"), S::Close() });
    Probe http(nullptr);
    http.Get("http://localhost:" + port + "/a");
    ASSERT_TRUE(server.WaitForClosed(2));
    EXPECT_EQ(server.Received(1).find("Cookie:"), std::string::npos) << server.Received(1);
    // Host names are compared without regard to case.
    EXPECT_NE(server.Received(2).find("\r\nCookie: s=1\r\n"), std::string::npos) << server.Received(2);
}

TEST(Redirect, ACookieTheCallerSetGoesEverywhere)
{
    ScriptServer server;
    const std::string port = std::to_string(server.port());
    server.AddConnection({ S::ReceiveRequest(),
        S::Send("HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:" + port + "/b\r\n\r\n"), S::Close() });
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n\r\n"), S::Close() });
    Probe http(nullptr);
    http.HeaderInfo()->Cookie = "mine=1";
    http.Get("http://localhost:" + port + "/a");
    ASSERT_TRUE(server.WaitForClosed(1));
    EXPECT_NE(server.Received(1).find("\r\nCookie: mine=1\r\n"), std::string::npos);
}

TEST(Redirect, ACookieTheCallerSetsAfterARedirectCookieGoesEverywhere)
{
    ScriptServer server;
    const std::string port = std::to_string(server.port());
    server.AddConnection(
        { S::ReceiveRequest(), S::Send("HTTP/1.0 302 Found\r\nSet-Cookie: s=1\r\nLocation: /b\r\n\r\n"), S::Close() });
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n\r\n"), S::Close() });
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n\r\n"), S::Close() });
    const LoopbackNames names;
    Probe http(nullptr);
    http.Get("http://127.0.0.1:" + port + "/a");
    ASSERT_EQ(http.HeaderInfo()->Cookie, "s=1");
    // The caller's own cookie replaces the one the redirection took over, and is not bound to
    // the host that set that one.
    http.HeaderInfo()->Cookie = "mine=1";
    http.Get("http://mail.test:" + port + "/c");
    ASSERT_TRUE(server.WaitForClosed(2));
    EXPECT_NE(server.Received(1).find("\r\nCookie: s=1\r\n"), std::string::npos) << server.Received(1);
    EXPECT_NE(server.Received(2).find("\r\nCookie: mine=1\r\n"), std::string::npos) << server.Received(2);
}

TEST(Redirect, ABareLocationKeepsTheCurrentPort)
{
    ScriptServer server;
    server.AddConnection(
        { S::ReceiveRequest(), S::Send("HTTP/1.0 302 Found\r\nLocation: page.htm\r\n\r\n"), S::Close() });
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n\r\nthe page"), S::Close() });
    Probe http(nullptr);
    http.Get(server.url("/start"));
    EXPECT_EQ(http.Body, "the page");
    ASSERT_TRUE(server.WaitForClosed(1));
    EXPECT_EQ(server.Received(1), DirectGet("/page.htm", "127.0.0.1"));
}
