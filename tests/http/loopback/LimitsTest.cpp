// Replies that would hold a request: kept-open connections, silent servers, bad headers.
#include "net/SockErrors.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/http/HttpProbe.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace http_tests;
using testing_support::ScriptServer;
using S = ScriptServer;

namespace {

constexpr int kLimitMs = 500;

std::string ReadFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs `request` and returns the message of the ESockError it raises ("" if none) and its duration.
template <typename F> std::pair<std::string, qint64> Failure(F request)
{
    QElapsedTimer clock;
    clock.start();
    try {
        request();
    } catch (const net::ESockError& e) {
        return { e.Message, clock.elapsed() };
    }
    return { "", clock.elapsed() };
}

} // namespace

TEST(KeepAlive, ProxyReplyIsCompleteAtItsContentLength)
{
    const std::string body = "<html>" + std::string(40000, 'x') + "</html>";
    const std::string header = "HTTP/1.0 200 OK\r\nProxy-Connection: keep-alive\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n";
    ScriptServer proxy;
    proxy.AddConnection({ S::ReceiveRequest(), S::SendFragments(header + body, 7000, 2), S::Stall() });
    Probe http(nullptr);
    http.Proxy = "127.0.0.1";
    http.ProxyPort = proxy.port();
    http.ReplyTimeOut = 30000;
    QElapsedTimer clock;
    clock.start();
    http.Get("http://mail.example/login?x=1");
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(http.Body, body);
    EXPECT_EQ(http.Header, header);
    EXPECT_EQ(http.ReplyNumber, 200);
    // The request bytes are unchanged, and the component closed the connection itself.
    EXPECT_EQ(proxy.Received(0), ProxyGet("http://mail.example/login?x=1", "mail.example"));
    EXPECT_TRUE(proxy.WaitForClosed(0));
    EXPECT_FALSE(http.Connected);
}

TEST(KeepAlive, AnyLetterCaseAndEitherHeader)
{
    for (const std::string line : { "Connection: Keep-Alive", "connection: KEEP-ALIVE", "PROXY-CONNECTION: Keep-alive",
             "Connection: keep-alive, Upgrade" }) {
        ScriptServer server;
        server.AddConnection({ S::ReceiveRequest(),
            S::Send("HTTP/1.0 200 OK\r\n" + line + "\r\nContent-Length: 4\r\n\r\nbody"), S::Stall() });
        Probe http(nullptr);
        http.ReplyTimeOut = 30000;
        QElapsedTimer clock;
        clock.start();
        http.Get(server.url("/"));
        EXPECT_LT(clock.elapsed(), 5000) << line;
        EXPECT_EQ(http.Body, "body") << line;
        EXPECT_TRUE(server.WaitForClosed(0)) << line;
    }
}

TEST(KeepAlive, BytesBeyondTheLengthAreNotPartOfTheBody)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(),
        S::Send("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 3\r\n\r\nabcEXTRA"), S::Stall() });
    Probe http(nullptr);
    http.Get(server.url("/"));
    EXPECT_EQ(http.Body, "abc");
}

TEST(KeepAlive, ZeroLengthAndHeadEndAtOnce)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(),
        S::Send("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 0\r\n\r\n"), S::Stall() });
    server.AddConnection({ S::ReceiveRequest(),
        S::Send("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 5000\r\n\r\n"), S::Stall() });
    Probe http(nullptr);
    http.ReplyTimeOut = 30000;
    QElapsedTimer clock;
    clock.start();
    http.Get(server.url("/"));
    EXPECT_EQ(http.Body, "");
    http.Head(server.url("/"));
    EXPECT_EQ(http.Body, "");
    EXPECT_EQ(http.BytesToSend, 5000);
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST(KeepAlive, EarlyCloseIsAnIncompleteBodyThatKeepsWhatArrived)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(),
        S::Send("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 100\r\n\r\nshort"), S::Close() });
    Probe http(nullptr);
    http.ReplyTimeOut = 30000;
    EXPECT_EQ(Failure([&] { http.Get(server.url("/")); }).first, "Reply Body Incomplete");
    EXPECT_EQ(http.Body, "short");
}

TEST(KeepAlive, IntoAFile)
{
    QTemporaryDir dir;
    const std::string bodyFile = dir.filePath("body").toStdString();
    const std::string body(100000, 'f');
    const std::string header = "HTTP/1.0 200 OK\r\nProxy-Connection: Keep-Alive\r\nContent-Length: 100000\r\n\r\n";
    for (const std::size_t fragment : { std::size_t(0), std::size_t(30000) }) {
        ScriptServer server;
        server.AddConnection(
            { S::ReceiveRequest(), S::SendFragments(header + body + "MORE", fragment, 5), S::Stall() });
        Probe http(nullptr);
        http.ReplyTimeOut = 30000;
        http.InputFileMode = true;
        http.Body = bodyFile;
        QElapsedTimer clock;
        clock.start();
        http.Get(server.url("/"));
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_EQ(ReadFile(bodyFile), body);
        EXPECT_TRUE(server.WaitForClosed(0));
    }
}

TEST(KeepAlive, WithoutTheHeaderTheBodyRunsUntilTheClose)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nbody"),
        S::Pause(300), S::Send("more"), S::Close() });
    Probe http(nullptr);
    http.Get(server.url("/"));
    EXPECT_EQ(http.Body, "bodymore");
}

TEST(KeepAlive, UntrustworthyLengthsAreReadUntilTheLimit)
{
    for (const std::string lengths : { "Content-Length: -4\r\n", "Content-Length: 4\r\nContent-Length: 5\r\n",
             "Content-Length: 5\r\nContent-Length: 4\r\n", "Content-Length: 99999999999999999999\r\n" }) {
        ScriptServer server;
        server.AddConnection({ S::ReceiveRequest(),
            S::Send("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\n" + lengths + "\r\nbody"), S::Stall() });
        Probe http(nullptr);
        http.ReplyTimeOut = kLimitMs;
        const auto [message, elapsed] = Failure([&] { http.Get(server.url("/")); });
        EXPECT_EQ(message, "Reply Timed Out") << lengths;
        EXPECT_EQ(http.Body, "body") << lengths;
    }
}

TEST(WaitLimit, SilentServerBeforeTheStatusLine)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Stall() });
    Probe http(nullptr);
    http.ReplyTimeOut = kLimitMs;
    const auto [message, elapsed] = Failure([&] { http.Get(server.url("/")); });
    EXPECT_EQ(message, "Reply Timed Out");
    EXPECT_GE(elapsed, kLimitMs);
    EXPECT_LT(elapsed, kLimitMs + 2000);
    EXPECT_FALSE(http.Connected);
    EXPECT_TRUE(server.WaitForClosed(0));
}

TEST(WaitLimit, ServerStopsInTheMiddleOfTheHeaderOrBody)
{
    for (const std::string sent : { "HTTP/1.0 200 OK\r\nX-Partial", "HTTP/1.0 200 OK\r\n\r\npartial body" }) {
        ScriptServer server;
        server.AddConnection({ S::ReceiveRequest(), S::Send(sent), S::Stall() });
        Probe http(nullptr);
        http.ReplyTimeOut = kLimitMs;
        const auto [message, elapsed] = Failure([&] { http.Get(server.url("/")); });
        EXPECT_EQ(message, "Reply Timed Out") << sent;
        EXPECT_LT(elapsed, kLimitMs + 2000);
        EXPECT_TRUE(server.WaitForClosed(0));
    }
}

TEST(WaitLimit, SlowButSteadyRepliesAreNotCut)
{
    ScriptServer server;
    server.AddConnection(
        { S::ReceiveRequest(), S::SendFragments("HTTP/1.0 200 OK\r\n\r\n0123456789", 9, 200), S::Close() });
    Probe http(nullptr);
    http.ReplyTimeOut = kLimitMs;
    http.Get(server.url("/"));
    EXPECT_EQ(http.Body, "0123456789");
}

TEST(WaitLimit, TheDefaultIsAMinute)
{
    Probe http(nullptr);
    EXPECT_EQ(http.ReplyTimeOut, 60000);
}

TEST(WaitLimit, NoLimitWhenZero)
{
    ScriptServer server;
    server.AddConnection(
        { S::ReceiveRequest(), S::Pause(kLimitMs + 300), S::Send("HTTP/1.0 200 OK\r\n\r\nlate"), S::Close() });
    Probe http(nullptr);
    http.ReplyTimeOut = 0;
    http.Get(server.url("/"));
    EXPECT_EQ(http.Body, "late");
}

TEST(WaitLimit, ServerThatDoesNotReadTheData)
{
    ScriptServer server;
    server.AddConnection({ S::Sleep(10000), S::Send("HTTP/1.0 200 OK\r\n\r\n"), S::Close() });
    Probe http(nullptr);
    http.ReplyTimeOut = kLimitMs;
    // Far more than the socket buffers hold, so the send has to wait for the server.
    const std::string data(64 * 1024 * 1024, 'd');
    const auto [message, elapsed] = Failure([&] { http.Put(server.url("/"), data); });
    EXPECT_EQ(message, "Send Timed Out");
    EXPECT_LT(elapsed, 6000);
}

TEST(BadReply, ClosedBeforeTheHeaderEnds)
{
    for (const std::string& sent :
        { std::string(), std::string("HTTP/1.0 200 OK\r\nX-Half: 1"), std::string("HTTP/1.0 200 OK\r\nA: 1\r\n"),
            std::string("\x01\x02\xff\x00garbage", 11), std::string("no status line at all") }) {
        ScriptServer server;
        server.AddConnection({ S::ReceiveRequest(), S::Send(sent), S::Close() });
        Probe http(nullptr);
        http.ReplyTimeOut = 30000;
        const auto [message, elapsed] = Failure([&] { http.Get(server.url("/")); });
        EXPECT_EQ(message, "Reply Header Incomplete") << sent;
        EXPECT_LT(elapsed, 3000) << sent;
        EXPECT_FALSE(http.Connected);
    }
}

TEST(BadReply, ResetBeforeTheHeaderEnds)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n"), S::Pause(20), S::Reset() });
    Probe http(nullptr);
    http.ReplyTimeOut = 30000;
    const auto [message, elapsed] = Failure([&] { http.Get(server.url("/")); });
    EXPECT_EQ(message, "10054:Connection reset by peer");
    EXPECT_LT(elapsed, 3000);
}

TEST(BadReply, BinaryGarbageWithLineEnds)
{
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += static_cast<char>((i * 37) % 251 + 1);
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Send(garbage + "\n\nafter"), S::Close() });
    Probe http(nullptr);
    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 0);
    EXPECT_EQ(http.Body, "after");
    EXPECT_EQ(http.Header, garbage + "\n\n");
}

TEST(BadReply, HeaderThatNeverEnds)
{
    std::string lines;
    for (int i = 0; lines.size() < net::TNMHTTP::kMaxReplyHeader + 100000; ++i)
        lines += "X-Line-" + std::to_string(i) + ": some value to fill the header\r\n";
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n" + lines), S::Stall() });
    Probe http(nullptr);
    http.ReplyTimeOut = 30000;
    const auto [message, elapsed] = Failure([&] { http.Get(server.url("/")); });
    EXPECT_EQ(message, "Reply Header Too Long");
    EXPECT_LT(elapsed, 10000);
    EXPECT_FALSE(http.Connected);
}

TEST(BadReply, OneLineThatNeverEnds)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(),
        S::Send("HTTP/1.0 200 OK\r\nX: " + std::string(net::TNMHTTP::kMaxReplyHeader + 65536, 'y')), S::Stall() });
    Probe http(nullptr);
    http.ReplyTimeOut = 30000;
    const auto [message, elapsed] = Failure([&] { http.Get(server.url("/")); });
    EXPECT_EQ(message, "Reply Header Too Long");
    EXPECT_LT(elapsed, 10000);
}

TEST(BadReply, OneMegabyteHeaderLineIsRead)
{
    const std::string line = "X-Big: " + std::string(1000000, 'm') + "\r\n";
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n" + line + "\r\nbody"), S::Close() });
    Probe http(nullptr);
    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.Header, "HTTP/1.0 200 OK\r\n" + line + "\r\n");
    EXPECT_EQ(http.Body, "body");
}

TEST(BadReply, HugeBodyAfterAShortHeaderIsNotAHeaderTooLong)
{
    const std::string body(3 * net::TNMHTTP::kMaxReplyHeader, 'b');
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\nA: 1\r\n\r\n" + body), S::Close() });
    Probe http(nullptr);
    http.Get(server.url("/"));
    EXPECT_EQ(http.Body.size(), body.size());
    EXPECT_EQ(http.Body, body);
}

TEST(Cancel, WhileWaitingForTheHeader)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Stall() });
    Probe http(nullptr);
    QTimer::singleShot(100, [&] { http.Cancel(); });
    try {
        http.Get(server.url("/"));
        FAIL() << "no exception";
    } catch (const net::EAbortError& e) {
        EXPECT_EQ(e.Message, "Socket readln aborted");
    }
    EXPECT_FALSE(http.Connected);
    EXPECT_TRUE(server.WaitForClosed(0));
}

TEST(Cancel, WhileCapturingTheBodyKeepsWhatArrived)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n\r\nfirst part"), S::Stall() });
    Probe http(nullptr);
    QTimer::singleShot(400, [&] { http.Cancel(); });
    try {
        http.Get(server.url("/"));
        FAIL() << "no exception";
    } catch (const net::EAbortError& e) {
        EXPECT_EQ(e.Message, "Socket capture aborted");
    }
    EXPECT_EQ(http.Body, "first part");
    EXPECT_FALSE(http.Connected);
}

TEST(Cancel, DestroyingTheComponentDuringARequest)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Stall() });
    auto* http = new Probe(nullptr);
    QTimer::singleShot(100, [&] { delete http; });
    EXPECT_THROW(http->Get(server.url("/")), net::EAbortError);
    EXPECT_TRUE(server.WaitForClosed(0));
}

TEST(Reuse, NothingOfAFailedExchangeLeaksIntoTheNext)
{
    Probe http(nullptr);
    http.ReplyTimeOut = kLimitMs;
    {
        // A half line stays behind in the receive queue.
        ScriptServer broken;
        broken.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\nX-Half"), S::Close() });
        EXPECT_EQ(Failure([&] { http.Get(broken.url("/")); }).first, "Reply Header Incomplete");
    }
    {
        // Unsent request bytes stay behind in the send queue.
        ScriptServer deaf;
        deaf.AddConnection({ S::Sleep(10000), S::Close() });
        EXPECT_EQ(
            Failure([&] { http.Put(deaf.url("/"), std::string(64 * 1024 * 1024, 'd')); }).first, "Send Timed Out");
    }
    ScriptServer good;
    good.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n\r\nfine"), S::Close() });
    http.Get(good.url("/next"));
    ASSERT_TRUE(good.WaitForClosed(0));
    const std::string received = good.Received(0);
    EXPECT_TRUE(received == DirectGet("/next", "127.0.0.1")) << received.substr(0, 100);
    EXPECT_EQ(http.Header, "HTTP/1.0 200 OK\r\n\r\n");
    EXPECT_EQ(http.Body, "fine");
}

TEST(Cancel, DeletingTheComponentFromItsOutcomeEvents)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n\r\nx"), S::Close() });
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 302 Found\r\nLocation: /y\r\n\r\n"), S::Close() });
    auto* first = new Probe(nullptr);
    first->OnSuccess = [&](net::CmdType) { delete first; };
    first->Get(server.url("/"));
    auto* second = new Probe(nullptr);
    second->OnRedirect = [&](bool&) { delete second; };
    second->Get(server.url("/"));
    EXPECT_TRUE(server.WaitForClosed(1));
    EXPECT_EQ(server.ConnectionCount(), 2U);
}
