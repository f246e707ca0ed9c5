#include "net/Psock.h"
#include "platform/core/HostResolver.h"
#include "tests/fixtures/LoopbackPorts.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/fixtures/Wait.h"
#include "tests/net/loopback/SocketSupport.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using loopback::connectTo;
using loopback::messageOf;
using net::EAbortError;
using net::ESockError;
using net::TPowersock;
using testing_support::ScriptPeer;
using testing_support::ScriptServer;

namespace {

// Like the HTTP client: a time-out also ends its own waits.
struct AbortingSock : TPowersock {
    using TPowersock::TPowersock;
    ~AbortingSock() override { Abort(); }
    void Abort() override
    {
        ++aborts;
        LookupDone = true;
        Cancel();
    }
    int aborts = 0;
};

struct NeverAnswer {
    struct State {
        std::mutex m;
        std::condition_variable cv;
        bool released = false;
    };
    std::shared_ptr<State> st = std::make_shared<State>();
    platform::HostResolverFunction previous = platform::SetHostResolver([s = st](const std::string&) {
        std::unique_lock lock(s->m);
        s->cv.wait(lock, [&] { return s->released; });
        platform::HostLookupResult r;
        r.error = platform::WSAHOST_NOT_FOUND;
        return r;
    });
    ~NeverAnswer()
    {
        {
            std::lock_guard lock(st->m);
            st->released = true;
            st->cv.notify_all();
        }
        platform::SetHostResolver(previous);
    }
};

} // namespace

TEST(Abort, TimeOutEndsTheLookupAsTimedOutEvenWhenAbortAlsoCancels)
{
    NeverAnswer never;
    AbortingSock s(nullptr);
    s.Host = "never.test";
    s.TimeOut = 100;
    EXPECT_EQ(messageOf([&] { s.Connect(); }), "Host Lookup Timed Out");
    EXPECT_EQ(s.aborts, 1);
    EXPECT_TRUE(s.Canceled);
    EXPECT_TRUE(s.TimedOut);
}

TEST(Abort, TimeOutEndsTheConnectAsTimedOutAndEachWaitGetsTheFullPeriod)
{
    testing_support::FullBacklog backlog;
    const std::uint16_t port = backlog.port();
    AbortingSock s(nullptr);
    int failed = 0;
    s.OnConnectionFailed = [&](QObject*) { ++failed; };
    s.Host = "127.0.0.1";
    s.Port = port;
    s.TimeOut = 150;
    EXPECT_EQ(messageOf([&] { s.Connect(); }), "Connection Timed out");
    EXPECT_EQ(failed, 1);
    EXPECT_TRUE(s.Canceled);
    // The pending connect is still on the socket; a caller that wants a clean one disconnects.
    EXPECT_EQ(messageOf([&] { s.Connect(); }), "10037:Operation already in progress");
    s.Disconnect();
    EXPECT_EQ(messageOf([&] { s.Connect(); }), "Connection Timed out");
}

TEST(Destruction, DeletingTheComponentDuringAWaitEndsTheWait)
{
    ScriptServer peer([](ScriptPeer& c) { c.WaitForClose(); });
    auto* s = new TPowersock(nullptr);
    connectTo(*s, peer.port());
    QTimer::singleShot(50, [&] { delete s; });
    EXPECT_EQ(messageOf([&] { s->ReadLn(); }), "abort: Socket readln aborted");
    EXPECT_EQ(TPowersock::LiveCount(), 0);
}

TEST(Destruction, DeletingTheComponentDuringALookupLeavesTheLateAnswerHarmless)
{
    NeverAnswer never;
    auto* s = new TPowersock(nullptr);
    s->Host = "never.test";
    QTimer::singleShot(50, [&] { delete s; });
    EXPECT_EQ(messageOf([&] { s->Connect(); }), "Host Lookup Canceled");
    EXPECT_EQ(platform::PendingHostLookupsForTesting(), 0);
}

TEST(Accept, WaitsForTheAcceptReadyFlagThenAccepts)
{
    TPowersock s(nullptr);
    platform::SOCKADDR_IN any;
    any.sin_family = platform::WS_AF_INET;
    any.sin_addr = platform::inet_addr("127.0.0.1");
    ASSERT_EQ(platform::bind(s.Socket(), &any, sizeof any), 0);
    ASSERT_EQ(platform::listen(s.Socket(), 4), 0);
    platform::SOCKADDR_IN bound;
    int len = sizeof bound;
    ASSERT_EQ(platform::getsockname(s.Socket(), &bound, &len), 0);
    int accepts = 0;
    s.OnAccept = [&](QObject*) {
        ++accepts;
        s.LookupDone = true;
    };
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = bound.sin_port;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    const platform::SOCKET accepted = s.Accept();
    EXPECT_NE(accepted, platform::INVALID_SOCKET);
    EXPECT_EQ(accepts, 1);
    EXPECT_TRUE(s.Connected);
    EXPECT_EQ(s.RemoteAddress.sin_addr, platform::inet_addr("127.0.0.1"));
    EXPECT_EQ(platform::send(accepted, "ok", 2, 0), 2);
    char buf[2];
    EXPECT_EQ(::recv(client, buf, 2, 0), 2);
    platform::closesocket(accepted);
    ::close(client);
}

TEST(Accept, CancelAndErrorEndTheWaitWithTheirMessages)
{
    TPowersock s(nullptr);
    QTimer::singleShot(50, [&] { s.Cancel(); });
    EXPECT_EQ(messageOf([&] { s.Accept(); }), "Accepting Canceled");
    EXPECT_TRUE(s.Canceled);
    s.Canceled = false;
    s.LookupDone = true;
    s.NoError = false;
    EXPECT_EQ(messageOf([&] { s.Accept(); }), "Error creating Data Connection");
}

TEST(Notifications, ReadAfterCancelSwitchesThemOffUntilTheNextSocket)
{
    std::mutex m;
    std::condition_variable cv;
    int step = 0;
    auto waitStep = [&](int n) {
        std::unique_lock lock(m);
        cv.wait_for(lock, std::chrono::seconds(5), [&] { return step >= n; });
    };
    ScriptServer peer([&](ScriptPeer& c) {
        c.Send("first\n");
        waitStep(1);
        c.Send("second\n");
        c.WaitForClose();
    });
    TPowersock s(nullptr);
    int aborted = 0;
    s.OnAborted = [&](QObject*) { ++aborted; };
    connectTo(s, peer.port());
    s.Cancel();
    ASSERT_TRUE(testing_support::WaitUntil([&] { return aborted == 1; }));
    // The read that found Canceled still stored its bytes.
    ASSERT_TRUE(testing_support::WaitUntil([&] { return s.ReceiveQueue->Size() == 6; }));
    {
        std::lock_guard lock(m);
        step = 1;
    }
    cv.notify_all();
    testing_support::RunEventsFor(100);
    EXPECT_EQ(s.ReceiveQueue->Size(), 6);
    EXPECT_EQ(aborted, 1);
    s.Disconnect();
    peer.WaitForClosed(0);

    ScriptServer again([](ScriptPeer& c) {
        c.Send("fresh\n");
        c.WaitForClose();
    });
    connectTo(s, again.port());
    EXPECT_FALSE(s.Canceled);
    EXPECT_EQ(s.ReadLn(), "first\n");
    EXPECT_EQ(s.ReadLn(), "fresh\n");
    s.Disconnect();
}

TEST(Notifications, AStaleCloseForAnEarlierSocketDoesNotEndTheNextConnection)
{
    ScriptServer first([](ScriptPeer& c) { c.WaitForClose(); });
    ScriptServer second([](ScriptPeer& c) {
        c.Send("still here\n");
        c.WaitForClose();
    });
    TPowersock s(nullptr);
    connectTo(s, first.port());
    const auto old = s.Socket();
    s.Disconnect();
    connectTo(s, second.port());
    platform::PostMessage(s.Handle(), net::WM_SOCKET_EVENT, old, platform::MAKELPARAM(platform::FD_CLOSE, 0));
    testing_support::RunEventsFor(30);
    EXPECT_TRUE(s.Connected);
    EXPECT_EQ(s.ReadLn(), "still here\n");
    s.Disconnect();
}

TEST(Notifications, ExceptionsFromHandlersStayInsideTheDispatch)
{
    ScriptServer peer([](ScriptPeer& c) {
        c.Send("data\n");
        c.WaitForClose();
    });
    TPowersock s(nullptr);
    s.OnConnect = [](QObject*) { throw std::runtime_error("from a handler"); };
    s.OnDataReceived = [](QObject*) { throw ESockError("also from a handler"); };
    connectTo(s, peer.port());
    EXPECT_EQ(s.ReadLn(), "data\n");
    EXPECT_FALSE(s.InHandler);
    s.Disconnect();
}

TEST(Notifications, PeersCloseFiresDisconnectAndAnotherConnectWorks)
{
    ScriptServer first([](ScriptPeer& c) {
        c.Send("bye\n");
        c.Close();
    });
    TPowersock s(nullptr);
    int disconnects = 0;
    s.OnDisconnect = [&](QObject*) { ++disconnects; };
    connectTo(s, first.port());
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !s.Connected; }));
    EXPECT_EQ(disconnects, 1);
    EXPECT_EQ(s.ReadLn(), "bye\n");
    ScriptServer second([](ScriptPeer& c) {
        c.Send("hello again\n");
        c.WaitForClose();
    });
    connectTo(s, second.port());
    EXPECT_EQ(s.ReadLn(), "hello again\n");
    s.Disconnect();
    EXPECT_EQ(disconnects, 2);
}

TEST(Notifications, AStaleReadMoreOfAnEarlierSocketDoesNotFailTheNextConnect)
{
    ScriptServer first([](ScriptPeer& c) { c.WaitForClose(); });
    // A full backlog: the next connect stays pending, so only its time-out can end it.
    testing_support::FullBacklog backlog;
    const std::uint16_t port = backlog.port();

    TPowersock s(nullptr);
    connectTo(s, first.port());
    const std::uint16_t earlier = s.Socket();
    s.Disconnect();
    // As a full chunk read just before the close would have left it queued.
    platform::PostMessage(s.Handle(), net::WM_READ_MORE, earlier, reinterpret_cast<platform::LPARAM>(&s));
    s.Port = port;
    s.TimeOut = 300;
    EXPECT_EQ(messageOf([&] { s.Connect(); }), "Connection Timed out");
}
