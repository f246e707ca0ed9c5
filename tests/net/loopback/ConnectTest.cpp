#include "net/Psock.h"
#include "platform/core/HostResolver.h"
#include "tests/fixtures/LoopbackPorts.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/fixtures/Wait.h"
#include "tests/net/loopback/SocketSupport.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using net::ESockError;
using net::TPowersock;
using testing_support::ScriptPeer;
using testing_support::ScriptServer;

namespace {

std::string connectError(TPowersock& s)
{
    try {
        s.Connect();
    } catch (const ESockError& e) {
        return e.Message;
    }
    return "connected";
}

// A resolver that holds every lookup until released; its state outlives the test, because
// a held worker thread may still be waiting when the test ends.
struct HeldResolver {
    struct State {
        std::mutex m;
        std::condition_variable cv;
        bool released = false;
        int calls = 0;
    };
    std::shared_ptr<State> state = std::make_shared<State>();
    platform::HostResolverFunction previous;

    HeldResolver()
    {
        previous = platform::SetHostResolver([st = state](const std::string&) {
            std::unique_lock lock(st->m);
            ++st->calls;
            st->cv.wait(lock, [&] { return st->released; });
            platform::HostLookupResult r;
            r.name = "held";
            r.addresses.push_back(0x0100007F); // 127.0.0.1
            return r;
        });
    }
    ~HeldResolver()
    {
        release();
        platform::SetHostResolver(previous);
    }
    void release()
    {
        std::lock_guard lock(state->m);
        state->released = true;
        state->cv.notify_all();
    }
};

// Answers from a table: a name maps to 127.0.0.1 or fails with "host not found".
struct TableResolver {
    platform::HostResolverFunction previous;
    explicit TableResolver(std::vector<std::string> known)
    {
        previous = platform::SetHostResolver([known](const std::string& name) {
            platform::HostLookupResult r;
            if (std::find(known.begin(), known.end(), name) == known.end()) {
                r.error = platform::WSAHOST_NOT_FOUND;
            } else {
                r.name = name;
                r.addresses.push_back(0x0100007F);
            }
            return r;
        });
    }
    ~TableResolver() { platform::SetHostResolver(previous); }
};

// Opens the component's protected timer to the tests.
struct Probe : TPowersock {
    using TPowersock::TPowersock;
    bool timerArmed() const { return timer->Enabled() && timer->Interval() != 0; }
};

} // namespace

TEST(Connect, DottedAddressSkipsTheLookupAndItsTimer)
{
    ScriptServer peer([](ScriptPeer& c) { c.WaitForClose(); });
    TPowersock s(nullptr);
    std::vector<std::string> status;
    s.ReportLevel = 8;
    s.OnStatus = [&](QObject*, const std::string& t) {
        if (t == "Connecting" || t == "Resolve Host" || t.starts_with("Timer"))
            status.push_back(t);
    };
    bool resolved = false;
    int connects = 0;
    s.OnHostResolved = [&](QObject*) { resolved = true; };
    s.OnConnect = [&](QObject* sender) {
        EXPECT_EQ(sender, &s);
        ++connects;
    };
    s.Host = "127.0.0.1";
    s.Port = peer.port();
    s.TimeOut = 5000;
    s.Connect();
    EXPECT_TRUE(s.Connected);
    EXPECT_EQ(connects, 1);
    EXPECT_FALSE(resolved);
    EXPECT_EQ(platform::PendingHostLookupsForTesting(), 0);
    const std::vector<std::string> expected { "Connecting", "Resolve Host", "Timer On", "Timer Off" };
    // One timer only: the connect's.
    EXPECT_EQ(status, expected);
    EXPECT_EQ(s.RemoteAddress.sin_addr, platform::inet_addr("127.0.0.1"));
    EXPECT_EQ(s.RemoteAddress.sin_port, htons(peer.port()));
    s.OnStatus = nullptr;
    s.Disconnect();
    EXPECT_FALSE(s.Connected);
}

TEST(Connect, LocalhostIsLookedUpAndReported)
{
    ScriptServer peer([](ScriptPeer& c) { c.WaitForClose(); });
    TPowersock s(nullptr);
    int resolved = 0;
    s.OnHostResolved = [&](QObject* sender) {
        EXPECT_EQ(sender, &s);
        ++resolved;
    };
    s.Host = "localhost";
    s.Port = peer.port();
    s.TimeOut = 10000;
    s.Connect();
    EXPECT_TRUE(s.Connected);
    EXPECT_EQ(resolved, 1);
    EXPECT_EQ(s.RemoteAddress.sin_addr, platform::inet_addr("127.0.0.1"));
    s.Disconnect();
}

TEST(Connect, ProxyIsResolvedAndItsPortUsedInsteadOfTheHost)
{
    ScriptServer peer([](ScriptPeer& c) { c.WaitForClose(); });
    TableResolver names({ "proxy.test" });
    TPowersock s(nullptr);
    s.Host = "unknown.test";
    s.Port = 1;
    s.Proxy = "proxy.test";
    s.ProxyPort = peer.port();
    s.Connect();
    EXPECT_TRUE(s.Connected);
    EXPECT_EQ(s.RemoteAddress.sin_port, htons(peer.port()));
    s.Disconnect();
}

TEST(Connect, RefusedConnectFiresConnectionFailedThenRaises)
{
    Probe s(nullptr);
    std::vector<std::string> events;
    s.OnConnectionFailed = [&](QObject*) { events.push_back("failed"); };
    s.Host = "127.0.0.1";
    s.Port = testing_support::FreeLoopbackPort();
    s.TimeOut = 5000;
    EXPECT_EQ(connectError(s), "Connection Failed");
    EXPECT_EQ(events, std::vector<std::string> { "failed" });
    EXPECT_FALSE(s.Connected);
    EXPECT_FALSE(s.timerArmed());
}

TEST(Connect, NeverAcceptedConnectionTimesOutAfterTimeOut)
{
    testing_support::FullBacklog full;
    Probe s(nullptr);
    std::vector<std::string> events;
    s.OnConnectionFailed = [&](QObject*) { events.push_back("failed"); };
    s.Host = "127.0.0.1";
    s.Port = full.port();
    s.TimeOut = 300;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(connectError(s), "Connection Timed out");
    EXPECT_GE(clock.elapsed(), 300);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(events, std::vector<std::string> { "failed" });
    EXPECT_TRUE(s.TimedOut);
    EXPECT_FALSE(s.Connected);
    EXPECT_FALSE(s.timerArmed());
}

TEST(Connect, CancelEndsAConnectWaitWithItsOwnMessage)
{
    testing_support::FullBacklog full;
    Probe s(nullptr);
    int failed = 0;
    s.OnConnectionFailed = [&](QObject*) { ++failed; };
    s.Host = "127.0.0.1";
    s.Port = full.port();
    QTimer::singleShot(50, [&] { s.Cancel(); });
    EXPECT_EQ(connectError(s), "Connection Canceled");
    EXPECT_EQ(failed, 1);
    EXPECT_TRUE(s.Canceled);
    EXPECT_FALSE(s.timerArmed());
}

TEST(Connect, LookupThatNeverAnswersTimesOut)
{
    HeldResolver held;
    Probe s(nullptr);
    s.Host = "never.answers.test";
    s.Port = 80;
    s.TimeOut = 200;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(connectError(s), "Host Lookup Timed Out");
    EXPECT_GE(clock.elapsed(), 200);
    EXPECT_FALSE(s.timerArmed());
    // The request was forgotten: a late answer touches nothing.
    EXPECT_EQ(platform::PendingHostLookupsForTesting(), 0);
    held.release();
    testing_support::RunEventsFor(50);
    EXPECT_FALSE(s.LookupDone);
}

TEST(Connect, CancelDuringTheLookupKeepsCanceledSet)
{
    HeldResolver held;
    Probe s(nullptr);
    s.Host = "slow.test";
    s.Port = 80;
    QTimer::singleShot(30, [&] { s.Cancel(); });
    EXPECT_EQ(connectError(s), "Host Lookup Canceled");
    EXPECT_TRUE(s.Canceled);
    EXPECT_FALSE(s.timerArmed());
    EXPECT_EQ(platform::PendingHostLookupsForTesting(), 0);
}

TEST(Connect, FailedLookupGivesTheApplicationOneChanceToRepairTheHost)
{
    ScriptServer peer([](ScriptPeer& c) { c.WaitForClose(); });
    TableResolver names({ "good.test" });
    TPowersock s(nullptr);
    int calls = 0;
    s.OnInvalidHost = [&](bool& handled) {
        ++calls;
        s.Host = "good.test";
        handled = true;
    };
    s.Host = "bad.test";
    s.Port = peer.port();
    s.Connect();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(s.Connected);
    s.Disconnect();
}

TEST(Connect, SecondFailedLookupRaisesNullRemoteAddressWithoutAskingAgain)
{
    TableResolver names({});
    TPowersock s(nullptr);
    int calls = 0;
    s.OnInvalidHost = [&](bool& handled) {
        ++calls;
        s.Host = "still.bad.test";
        handled = true;
    };
    s.Host = "bad.test";
    EXPECT_EQ(connectError(s), "Null Remote Address");
    EXPECT_EQ(calls, 1);
}

TEST(Connect, UnhandledInvalidHostAndMissingHandlerRaiseNullRemoteAddress)
{
    TableResolver names({});
    TPowersock s(nullptr);
    s.Host = "bad.test";
    EXPECT_EQ(connectError(s), "Null Remote Address");
    int calls = 0;
    s.OnInvalidHost = [&](bool&) { ++calls; };
    EXPECT_EQ(connectError(s), "Null Remote Address");
    EXPECT_EQ(calls, 1);
    s.Host = "0.0.0.0";
    EXPECT_EQ(connectError(s), "Null Remote Address");
}

TEST(Connect, ResolveHostAloneRaisesHostLookupFailed)
{
    TableResolver names({});
    TPowersock s(nullptr);
    s.Host = "bad.test";
    try {
        s.ResolveHost();
        FAIL() << "no exception";
    } catch (const ESockError& e) {
        EXPECT_EQ(e.Message, "Host Lookup Failed");
    }
}

TEST(Connect, HostNamesLongerThan127CharactersAreRefusedClearly)
{
    HeldResolver held;
    TPowersock s(nullptr);
    s.Host = std::string(128, 'a');
    EXPECT_EQ(connectError(s), "Host name longer than 127 characters");
    EXPECT_EQ(held.state->calls, 0);
    // 127 characters still go to the resolver.
    s.Host = std::string(127, 'a');
    s.TimeOut = 50;
    EXPECT_EQ(connectError(s), "Host Lookup Timed Out");
}

TEST(Connect, NameWithAZeroByteIsNoHost)
{
    HeldResolver held;
    TPowersock s(nullptr);
    s.Host = std::string("127.0.0.1\0.evil.test", 20);
    s.Port = 80;
    EXPECT_EQ(connectError(s), "Null Remote Address");
    EXPECT_EQ(held.state->calls, 0);
}

TEST(Connect, AlreadyConnectedChangesNothing)
{
    ScriptServer peer([](ScriptPeer& c) { c.WaitForClose(); });
    TPowersock s(nullptr);
    s.Host = "127.0.0.1";
    s.Port = peer.port();
    s.Connect();
    const auto socketBefore = s.Socket();
    EXPECT_EQ(connectError(s), "Already connected");
    EXPECT_TRUE(s.Connected);
    EXPECT_EQ(s.Socket(), socketBefore);
    s.Disconnect();
}

TEST(Connect, DisconnectOpensAFreshSocketThatConnectsAgain)
{
    int accepted = 0;
    std::uint16_t port = 0;
    const int listener = testing_support::ListenOnLoopback(port, 4);
    TPowersock s(nullptr);
    int disconnects = 0;
    s.OnDisconnect = [&](QObject*) { ++disconnects; };
    s.Host = "127.0.0.1";
    s.Port = port;
    for (int round = 0; round < 3; ++round) {
        const auto before = s.Socket();
        s.Connect();
        EXPECT_TRUE(s.Connected);
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd >= 0) {
            ++accepted;
            ::close(fd);
        }
        s.Disconnect();
        EXPECT_FALSE(s.Connected);
        EXPECT_NE(s.Socket(), before);
        EXPECT_NE(s.Socket(), net::kNoSocket);
    }
    ::close(listener);
    EXPECT_EQ(accepted, 3);
    EXPECT_EQ(disconnects, 3);
}

TEST(Connect, TimeOutZeroWaitsUntilTheLookupAnswers)
{
    ScriptServer peer([](ScriptPeer& c) { c.WaitForClose(); });
    HeldResolver held;
    Probe s(nullptr);
    s.Host = "late.test";
    s.Port = peer.port();
    s.TimeOut = 0;
    QTimer::singleShot(300, [&] { held.release(); });
    QElapsedTimer clock;
    clock.start();
    s.Connect();
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_TRUE(s.Connected);
    s.Disconnect();
}
