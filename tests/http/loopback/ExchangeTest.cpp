// Whole requests against the scripted server: the bytes sent, the reply as read, the events.
#include "net/SockErrors.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/http/HttpProbe.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace http_tests;
using testing_support::ScriptServer;
using S = ScriptServer;

namespace {

const std::string kOk = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";

std::string ReadFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Events in the order raised.
struct Recorder {
    std::vector<std::string> events;
    void Attach(net::TNMHTTP& http)
    {
        http.OnSuccess = [this](net::CmdType cmd) { events.push_back("success " + std::to_string(cmd)); };
        http.OnFailure = [this](net::CmdType cmd) { events.push_back("failure " + std::to_string(cmd)); };
        http.OnAuthenticationNeeded = [this, &http](QObject* s) { events.push_back(s == &http ? "auth" : "auth?"); };
        http.OnAboutToSend = [this, &http](QObject* s) { events.push_back(s == &http ? "send" : "send?"); };
    }
};

} // namespace

TEST(Exchange, DirectGetSendsTheDocumentedBytesAndReadsTheReply)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Send(kOk + "hello\r\nworld"), S::Close() });
    Probe http(nullptr);
    http.ReportLevel = 2;
    std::vector<std::string> statuses;
    http.OnStatus = [&](QObject*, const std::string& s) { statuses.push_back(s); };
    Recorder recorder;
    recorder.Attach(http);

    http.Get(server.url("/dir/page?x=1"));

    ASSERT_TRUE(server.WaitForClosed(0));
    EXPECT_EQ(server.Received(0), DirectGet("/dir/page?x=1", "127.0.0.1"));
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.Header, kOk);
    EXPECT_EQ(http.Body, "hello\r\nworld");
    EXPECT_EQ(http.BytesToSend, 0);
    EXPECT_EQ(recorder.events, (std::vector<std::string> { "send", "success 0" }));
    EXPECT_EQ(statuses, (std::vector<std::string> { "Transaction Completed" }));
    EXPECT_FALSE(http.Connected);
    EXPECT_EQ(server.ConnectionCount(), 1U);
}

TEST(Exchange, ProxyGetGoesToTheProxyWithTheWholeUrl)
{
    ScriptServer proxy;
    proxy.AddConnection({ S::ReceiveRequest(), S::Send(kOk + "via proxy"), S::Close() });
    Probe http(nullptr);
    http.Proxy = "127.0.0.1";
    http.ProxyPort = proxy.port();
    http.Get("http://server:8080/dir/page?x=1");
    ASSERT_TRUE(proxy.WaitForClosed(0));
    EXPECT_EQ(proxy.Received(0), ProxyGet("http://server:8080/dir/page?x=1", "server"));
    EXPECT_EQ(http.Body, "via proxy");
    EXPECT_EQ(http.Port, 8080);
}

TEST(Exchange, StatusLines)
{
    struct Case {
        std::string statusLine;
        int number;
        std::string event;
    };
    const Case cases[] = {
        { "HTTP/1.0 200 OK\r\n", 200, "success 0" },
        { "HTTP/1.0 200\r\n", 0, "success 0" },
        { "HTTP/1.0 200\n", 0, "success 0" },
        { "HTTP/1.0 404 Not Found\r\n", 404, "failure 0" },
        { "HTTP/1.0 500 Oops\n", 500, "failure 0" },
        { "HTTP/1.0 99999 Huge\r\n", 0, "success 0" },
        { "HTTP/1.0 -5 Negative\r\n", -5, "success 0" },
        { "garbage\r\n", 0, "success 0" },
    };
    for (const Case& c : cases) {
        ScriptServer server;
        server.AddConnection({ S::ReceiveRequest(), S::Send(c.statusLine + "\r\nbody"), S::Close() });
        Probe http(nullptr);
        Recorder recorder;
        recorder.Attach(http);
        http.Get(server.url("/"));
        EXPECT_EQ(http.ReplyNumber, c.number) << c.statusLine;
        EXPECT_EQ(recorder.events.back(), c.event) << c.statusLine;
        EXPECT_EQ(http.Body, "body");
        EXPECT_EQ(http.Header, c.statusLine + "\r\n");
    }
}

TEST(Exchange, HeaderKeepsEachLineEndAsReceived)
{
    ScriptServer server;
    const std::string header = "HTTP/1.0 200 OK\nA: 1\r\nB: 2\n\n";
    server.AddConnection({ S::ReceiveRequest(), S::SendFragments(header + "rest", 3, 2), S::Close() });
    Probe http(nullptr);
    http.Get(server.url("/"));
    EXPECT_EQ(http.Header, header);
    EXPECT_EQ(http.Body, "rest");
}

TEST(Exchange, ContentLengthIsNotedButDoesNotLimitTheBody)
{
    // Fewer bytes than announced: the request fails, and what arrived is kept.
    ScriptServer server;
    server.AddConnection(
        { S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\nContent-Length: 1234\r\n\r\n0123456789"), S::Close() });
    Probe http(nullptr);
    try {
        http.Get(server.url("/"));
        ADD_FAILURE() << "no exception";
    } catch (const net::ESockError& e) {
        EXPECT_EQ(e.Message, "Reply Body Incomplete");
    }
    EXPECT_EQ(http.BytesToSend, 1234);
    EXPECT_EQ(http.Body, "0123456789");

    // More bytes than announced: the body still runs until the close.
    ScriptServer other;
    other.AddConnection(
        { S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\ncontent-length: 3\r\n\r\n0123456789"), S::Close() });
    http.Get(other.url("/"));
    EXPECT_EQ(http.BytesToSend, 3);
    EXPECT_EQ(http.Body, "0123456789");
}

TEST(Exchange, ContentLengthOddValues)
{
    struct Case {
        std::string line;
        int expected;
        // The line announces more than the three bytes that come.
        bool incomplete = false;
    };
    const Case cases[] = {
        { "Content-Length: -5\r\n", 5 },
        { "Content-Length: 99999999999999\r\n", 0 },
        { "Content-Length: \r\n", 0 },
        { "Content-Length: x12y\r\n", 12 },
        { "Content-Length:7\r\n", 0, true },
        { "CONTENT-LENGTH: 2147483647\r\n", 2147483647, true },
        { "Content-Length: 2147483648\r\n", 0 },
    };
    for (const Case& c : cases) {
        ScriptServer server;
        server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n" + c.line + "\r\nabc"), S::Close() });
        Probe http(nullptr);
        std::string failure;
        try {
            http.Get(server.url("/"));
        } catch (const net::ESockError& e) {
            failure = e.Message;
        }
        EXPECT_EQ(failure, c.incomplete ? "Reply Body Incomplete" : "") << c.line;
        EXPECT_EQ(http.BytesToSend, c.expected) << c.line;
        EXPECT_EQ(http.Body, "abc") << c.line;
    }
}

TEST(Exchange, PostSendsDecodedData)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveUntil("\r\n\r\na b=c"), S::Send(kOk + "posted"), S::Close() });
    Probe http(nullptr);
    Recorder recorder;
    recorder.Attach(http);
    http.Post(server.url("/form"), "a+b%3Dc");
    ASSERT_TRUE(server.WaitForClosed(0));
    EXPECT_EQ(server.Received(0),
        "POST /form HTTP/1.0\r\nHost: 127.0.0.1\r\n" + kAccept1 + kAccept2 + kForm + "Content-Length: 5\r\n\r\na b=c");
    EXPECT_EQ(http.Body, "posted");
    // The outcome names the request that was sent.
    EXPECT_EQ(recorder.events.back(), "success 3");
    EXPECT_EQ(http.Command, net::cmdGET);
}

TEST(Exchange, PostWithoutDecodingAndWithAMalformedEscape)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveUntil("50%zz"), S::Send(kOk), S::Close() });
    Probe http(nullptr);
    http.Post(server.url("/"), "50%zz");
    ASSERT_TRUE(server.WaitForClosed(0));
    EXPECT_NE(server.Received(0).find("Content-Length: 5\r\n\r\n50%zz"), std::string::npos);

    ScriptServer plain;
    plain.AddConnection({ S::ReceiveUntil("a+b"), S::Send(kOk), S::Close() });
    http.DecodePostData = false;
    http.Post(plain.url("/"), "a+b");
    ASSERT_TRUE(plain.WaitForClosed(0));
    EXPECT_NE(plain.Received(0).find("Content-Length: 3\r\n\r\na+b"), std::string::npos);
}

TEST(Exchange, LongDataWithZerosIsSentWhole)
{
    std::string data = std::string("\0start\0", 7);
    for (int i = 0; data.size() < 200000; ++i)
        data += std::to_string(i) + '\0';
    const std::string tail
        = kAccept1 + kAccept2 + kForm + "Content-Length: " + std::to_string(data.size()) + "\r\n\r\n";
    const struct {
        net::CmdType command;
        std::string header;
    } cases[] = {
        { net::cmdPUT, "PUT / HTTP/1.0\r\nHost: 127.0.0.1\r\n" + tail },
        { net::cmdPATCH, "PATCH / HTTP/1.0\r\nHost: 127.0.0.1\r\n" + tail },
        { net::cmdTRACE, "TRACE / HTTP/1.0\r\nHost: 127.0.0.1\r\n" + tail },
        { net::cmdSendRaw, "Host: 127.0.0.1\r\n" + tail },
    };
    for (const auto& c : cases) {
        ScriptServer server;
        // The reply only once everything has arrived.
        server.AddConnection({ S::ReceiveBytes(c.header.size() + data.size()), S::Send(kOk), S::Close() });
        Probe http(nullptr);
        if (c.command == net::cmdPUT)
            http.Put(server.url("/"), data);
        else if (c.command == net::cmdPATCH)
            http.Patch(server.url("/"), data);
        else if (c.command == net::cmdTRACE)
            http.Trace(server.url("/"), data);
        else
            http.SendRaw(server.url("/"), data);
        ASSERT_TRUE(server.WaitForClosed(0));
        const std::string received = server.Received(0);
        EXPECT_EQ(received.substr(0, c.header.size()), c.header);
        EXPECT_EQ(received.size(), c.header.size() + data.size()) << int(c.command);
        EXPECT_TRUE(received.substr(c.header.size()) == data) << int(c.command);
    }
}

TEST(Exchange, CommandsWithoutDataSendOnlyTheHeader)
{
    for (const auto command : { net::cmdCOPY, net::cmdLINK, net::cmdDELETE, net::cmdOPTIONS }) {
        ScriptServer server;
        server.AddConnection({ S::ReceiveRequest(), S::Pause(30), S::Send(kOk), S::Close() });
        Probe http(nullptr);
        if (command == net::cmdCOPY)
            http.Copy(server.url("/a"), "/b");
        else if (command == net::cmdLINK)
            http.Link(server.url("/a"), "/b");
        else if (command == net::cmdDELETE)
            http.Delete(server.url("/a"));
        else
            http.Options(server.url("/a"));
        ASSERT_TRUE(server.WaitForClosed(0));
        const std::string received = server.Received(0);
        EXPECT_EQ(received.find("\r\n\r\n") + 4, received.size()) << received;
        if (command == net::cmdLINK) {
            EXPECT_NE(received.find("Link: /b\r\nContent-Length: 8\r\n"), std::string::npos);
        }
    }
}

TEST(Exchange, FileModes)
{
    QTemporaryDir dir;
    const std::string bodyFile = dir.filePath("body.out").toStdString();
    const std::string headerFile = dir.filePath("head.out").toStdString();
    const std::string dataFile = dir.filePath("data.in").toStdString();
    std::string data(100000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    std::ofstream(dataFile, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
    std::ofstream(bodyFile) << "old content that must go";

    const std::string reply = "HTTP/1.0 201 Created\r\nX: y\r\n\r\n";
    const std::string body(70000, 'b');
    ScriptServer server;
    const std::string requestHeader
        = "PUT /up HTTP/1.0\r\nHost: 127.0.0.1\r\n" + kAccept1 + kAccept2 + kForm + "Content-Length: 100000\r\n\r\n";
    server.AddConnection({ S::ReceiveBytes(requestHeader.size() + data.size()), S::Send(reply + body), S::Close() });
    Probe http(nullptr);
    http.InputFileMode = true;
    http.OutputFileMode = true;
    http.Body = bodyFile;
    http.Header = headerFile;
    http.Put(server.url("/up"), dataFile);
    ASSERT_TRUE(server.WaitForClosed(0));
    const std::string received = server.Received(0);
    EXPECT_EQ(received.substr(0, requestHeader.size()), requestHeader);
    EXPECT_TRUE(received.substr(requestHeader.size()) == data);
    EXPECT_EQ(ReadFile(bodyFile), body);
    EXPECT_EQ(ReadFile(headerFile), reply);
    EXPECT_EQ(http.Body, bodyFile);
    EXPECT_EQ(http.Header, headerFile);
    EXPECT_EQ(http.ReplyNumber, 201);

    // String mode afterwards: the names are replaced by reply text.
    ScriptServer again;
    again.AddConnection({ S::ReceiveRequest(), S::Send(kOk + "text"), S::Close() });
    http.InputFileMode = false;
    http.OutputFileMode = false;
    http.Get(again.url("/"));
    EXPECT_EQ(http.Body, "text");
    EXPECT_EQ(http.Header, kOk);
}

TEST(Exchange, MissingDataFileFailsBeforeConnecting)
{
    ScriptServer server;
    Probe http(nullptr);
    http.OutputFileMode = true;
    EXPECT_THROW(http.Post(server.url("/"), "/nonexistent/quorvel-data"), net::EFOpenError);
    EXPECT_EQ(server.ConnectionCount(), 0U);
}

TEST(Exchange, BodyFileThatCannotBeCreated)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Send(kOk + "x"), S::Close() });
    Probe http(nullptr);
    http.InputFileMode = true;
    http.Body = "/nonexistent/dir/body";
    EXPECT_THROW(http.Get(server.url("/")), net::EFCreateError);
    EXPECT_FALSE(http.Connected);
    ASSERT_TRUE(server.WaitForClosed(0));
}

TEST(Exchange, AnExceptionFromOnSuccessDisconnectsAndReachesTheCaller)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Send(kOk + "x"), S::Close() });
    Probe http(nullptr);
    http.OnSuccess = [](net::CmdType) { throw std::runtime_error("handler"); };
    EXPECT_THROW(http.Get(server.url("/")), std::runtime_error);
    EXPECT_FALSE(http.Connected);
}

TEST(Exchange, OnlyTheSentCommandIsRepeatedNever)
{
    // After a request the component is back to GET: a caller's second Get sends no data.
    ScriptServer server;
    server.AddConnection({ S::ReceiveUntil("xyz"), S::Send(kOk), S::Close() });
    server.AddConnection({ S::ReceiveRequest(), S::Send(kOk), S::Close() });
    Probe http(nullptr);
    http.Post(server.url("/"), "xyz");
    http.Get(server.url("/"));
    ASSERT_TRUE(server.WaitForClosed(1));
    EXPECT_EQ(server.Received(1), DirectGet("/", "127.0.0.1"));
}

// The server reads nothing for a while, so the client's sends back up and it waits for room to
// send more; then the answer and the close come. The close ends that wait: no notice of room
// will ever come from a connection that is gone.
TEST(Exchange, AnswerAndCloseWhileTheClientWaitsForRoomToSendIsTheReply)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Sleep(700),
        S::Send("HTTP/1.0 413 Request Entity Too Large\r\n\r\nrefused"), S::Close() });
    Probe http(nullptr);
    // A send that waited in vain would be cut off here, not after a minute.
    http.ReplyTimeOut = 5000;
    http.Put(server.url("/upload"), std::string(64 * 1024 * 1024, 'u'));
    EXPECT_EQ(http.ReplyNumber, 413);
    EXPECT_EQ(http.Body, "refused");
}

TEST(Exchange, ACloseWithoutAnswerWhileTheClientWaitsForRoomToSendFailsTheSendAtOnce)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Sleep(700), S::Close() });
    Probe http(nullptr);
    http.ReplyTimeOut = 5000;
    try {
        http.Put(server.url("/upload"), std::string(64 * 1024 * 1024, 'u'));
        ADD_FAILURE() << "no exception";
    } catch (const net::ESockError& e) {
        EXPECT_EQ(e.Message, "10057:Socket is not connected");
    }
}

TEST(Exchange, AnswerBeforeTheWholeRequestWasTakenIsTheReply)
{
    ScriptServer server;
    server.AddConnection(
        { S::ReceiveRequest(), S::Send("HTTP/1.0 413 Request Entity Too Large\r\n\r\nrefused"), S::Close() });
    Probe http(nullptr);
    std::vector<int> failures;
    http.OnFailure = [&](net::CmdType cmd) { failures.push_back(cmd); };
    http.Put(server.url("/upload"), std::string(64 * 1024 * 1024, 'u'));
    EXPECT_EQ(http.ReplyNumber, 413);
    EXPECT_EQ(http.Body, "refused");
    EXPECT_EQ(failures, std::vector<int> { net::cmdPUT });
    EXPECT_EQ(http.Command, net::cmdGET);
}
