// The Winsock stand-in's own rules, checked on loopback sockets with a recording message target.
#include "platform/core/Winsock.h"

#include "platform/core/HostResolver.h"
#include "platform/core/MessageTarget.h"
#include "tests/fixtures/LoopbackPorts.h"
#include "tests/fixtures/Wait.h"

#include <QAbstractEventDispatcher>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace platform; // the names below are qualified where POSIX has the same ones

namespace {

constexpr unsigned kMsg = 1125;

struct Event {
    SOCKET socket;
    int event;
    int error;
    bool operator==(const Event&) const = default;
};

// A message target that writes down every notification it gets.
struct Recorder {
    std::vector<Event> events;
    MessageTarget target { [this](unsigned msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg == kMsg)
            events.push_back({ w, LOWORD(l), HIWORD(l) });
        return 0;
    } };
    int count(int event) const
    {
        int n = 0;
        for (const auto& e : events)
            n += e.event == event;
        return n;
    }
};

struct Library {
    Library()
    {
        WSADATA data;
        WSAStartup(0x0101, &data);
    }
    ~Library() { WSACleanup(); }
};

SOCKADDR_IN loopbackAddress(std::uint16_t port)
{
    SOCKADDR_IN a;
    a.sin_family = WS_AF_INET;
    a.sin_port = (platform::htons)(port);
    a.sin_addr = platform::inet_addr("127.0.0.1");
    return a;
}

// A connected pair: our registered socket and the plain peer it reached.
struct Pair {
    Library lib;
    Recorder rec;
    std::uint16_t port = 0;
    int listener = testing_support::ListenOnLoopback(port, 8);
    SOCKET s = platform::socket(WS_AF_INET, WS_SOCK_STREAM, WS_IPPROTO_TCP);
    int peer = -1;

    Pair()
    {
        EXPECT_EQ(WSAAsyncSelect(s, rec.target.handle(), kMsg, 63), 0);
        const SOCKADDR_IN a = loopbackAddress(port);
        EXPECT_EQ(platform::connect(s, &a, sizeof a), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
        EXPECT_TRUE(testing_support::WaitUntil([&] { return rec.count(FD_CONNECT) == 1; }));
        peer = ::accept(listener, nullptr, nullptr);
        testing_support::RunEventsFor(20);
    }
    ~Pair()
    {
        platform::closesocket(s);
        if (peer >= 0)
            ::close(peer);
        ::close(listener);
    }
};

} // namespace

TEST(Winsock, StartupRecordDescribesVersionOneOne)
{
    WSADATA data;
    ASSERT_EQ(WSAStartup(257, &data), 0);
    EXPECT_EQ(data.wVersion, 257);
    EXPECT_EQ(data.wHighVersion, 257);
    EXPECT_GT(std::strlen(data.szDescription), 0U);
    EXPECT_STREQ(data.szSystemStatus, "Running");
    EXPECT_GT(data.iMaxSockets, 0);
    EXPECT_GT(data.iMaxUdpDg, 0);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSAStartup(0, &data), WSAVERNOTSUPPORTED);
}

TEST(Winsock, CallsBeforeStartupFailWithNotInitialised)
{
    const int before = WSAStartupCountForTesting();
    if (before != 0)
        GTEST_SKIP() << "the library is in use";
    EXPECT_EQ(platform::socket(WS_AF_INET, WS_SOCK_STREAM, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
}

TEST(Winsock, ErrnoBecomesTheLibrarysNumbers)
{
    EXPECT_EQ(WSAErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(WSAErrorFromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(WSAErrorFromErrno(EINPROGRESS), 10036);
    EXPECT_EQ(WSAErrorFromErrno(EPIPE), 10054);
    EXPECT_EQ(WSAErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(WSAErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(WSAErrorFromErrno(ENOTCONN), 10057);
    EXPECT_EQ(WSAErrorFromErrno(EBADF), 10038);
    EXPECT_EQ(WSAErrorFromErrno(EHOSTUNREACH), 10065);
}

TEST(Winsock, DottedAddressesAndByteOrder)
{
    EXPECT_EQ(platform::inet_addr("127.0.0.1"), ::htonl(0x7F000001));
    EXPECT_EQ(platform::inet_addr("10.1.2.3"), ::htonl(0x0A010203));
    EXPECT_EQ(platform::inet_addr("255.255.255.255"), WS_INADDR_NONE);
    EXPECT_EQ(platform::inet_addr("localhost"), WS_INADDR_NONE);
    EXPECT_EQ(platform::inet_addr(""), WS_INADDR_NONE);
    EXPECT_EQ(platform::inet_addr("1.2.3.4.5"), WS_INADDR_NONE);
    EXPECT_EQ((platform::htons)(0x1234), (::htons)(0x1234));
    EXPECT_EQ((platform::ntohs)((::htons)(0xBEEF)), 0xBEEF);
}

TEST(Winsock, RefusedConnectPostsFdConnectOnceWithItsError)
{
    Library lib;
    Recorder rec;
    std::uint16_t port = 0;
    ::close(testing_support::ListenOnLoopback(port, 8));
    const SOCKET s = platform::socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    ASSERT_EQ(WSAAsyncSelect(s, rec.target.handle(), kMsg, 63), 0);
    const SOCKADDR_IN a = loopbackAddress(port);
    EXPECT_EQ(platform::connect(s, &a, sizeof a), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !rec.events.empty(); }));
    testing_support::RunEventsFor(30);
    EXPECT_EQ(rec.events, (std::vector<Event> { { s, FD_CONNECT, WSAECONNREFUSED } }));
    platform::closesocket(s);
}

TEST(Winsock, ConnectionPostsFdConnectThenOneFdWrite)
{
    Pair p;
    EXPECT_EQ(p.rec.events, (std::vector<Event> { { p.s, FD_CONNECT, 0 }, { p.s, FD_WRITE, 0 } }));
}

TEST(Winsock, OneFdReadUntilTheNextRecv)
{
    Pair p;
    p.rec.events.clear();
    ::send(p.peer, "abc", 3, 0);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return p.rec.count(FD_READ) == 1; }));
    ::send(p.peer, "def", 3, 0);
    testing_support::RunEventsFor(30);
    EXPECT_EQ(p.rec.count(FD_READ), 1);
    char buf[2];
    EXPECT_EQ(platform::recv(p.s, buf, 2, 0), 2);
    // Data remains after the recv: another FD_READ.
    ASSERT_TRUE(testing_support::WaitUntil([&] { return p.rec.count(FD_READ) == 2; }));
    char rest[16];
    EXPECT_EQ(platform::recv(p.s, rest, sizeof rest, 0), 4);
    testing_support::RunEventsFor(30);
    EXPECT_EQ(p.rec.count(FD_READ), 2);
    // A recv for nothing fails with would-block.
    EXPECT_EQ(platform::recv(p.s, rest, sizeof rest, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

namespace {

// Once a recv has filled the caller's buffer, the system is read in larger blocks than the caller
// asks for. This leaves "efgh" on our side only: the system socket holds nothing more.
void LeaveBytesAboveTheSystem(Pair& p)
{
    p.rec.events.clear();
    char buf[2];
    ::send(p.peer, "ab", 2, 0);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return p.rec.count(FD_READ) == 1; }));
    ASSERT_EQ(platform::recv(p.s, buf, 2, 0), 2);
    ::send(p.peer, "cdefgh", 6, 0);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return p.rec.count(FD_READ) == 2; }));
    ASSERT_EQ(platform::recv(p.s, buf, 2, 0), 2);
    ASSERT_EQ(std::string(buf, 2), "cd");
}

} // namespace

// What a recv leaves is still the caller's: announced, in order, and read before the close.
TEST(Winsock, BytesARecvLeftComeInOrderAndBeforeTheClose)
{
    Pair p;
    ASSERT_NO_FATAL_FAILURE(LeaveBytesAboveTheSystem(p));
    ASSERT_TRUE(testing_support::WaitUntil([&] { return p.rec.count(FD_READ) == 3; }));
    ::close(p.peer);
    p.peer = -1;
    testing_support::RunEventsFor(30);
    EXPECT_EQ(p.rec.count(FD_CLOSE), 0);
    char buf[16];
    EXPECT_EQ(platform::recv(p.s, buf, 3, MSG_PEEK), 3);
    EXPECT_EQ(std::string(buf, 3), "efg");
    EXPECT_EQ(platform::recv(p.s, buf, sizeof buf, 0), 4);
    EXPECT_EQ(std::string(buf, 4), "efgh");
    ASSERT_TRUE(testing_support::WaitUntil([&] { return p.rec.count(FD_CLOSE) == 1; }));
    EXPECT_EQ(platform::recv(p.s, buf, sizeof buf, 0), 0);
    EXPECT_EQ(p.rec.count(FD_READ), 3);
}

TEST(Winsock, AResetBehindBytesARecvLeftIsReportedOnceTheyAreRead)
{
    Pair p;
    ASSERT_NO_FATAL_FAILURE(LeaveBytesAboveTheSystem(p));
    const linger l { 1, 0 };
    ::setsockopt(p.peer, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(p.peer);
    p.peer = -1;
    testing_support::RunEventsFor(30);
    char buf[16];
    EXPECT_EQ(platform::recv(p.s, buf, sizeof buf, 0), 4);
    EXPECT_EQ(std::string(buf, 4), "efgh");
    EXPECT_EQ(platform::recv(p.s, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

// Unread data keeps the socket readable. Once its FD_READ has gone unanswered, the event loop
// must sleep on rather than report the socket again and again; the next recv wakes it up.
TEST(Winsock, UnreadDataDoesNotKeepTheLoopAwake)
{
    Pair p;
    p.rec.events.clear();
    ::send(p.peer, "abc", 3, 0);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return p.rec.count(FD_READ) == 1; }));
    int wakeUps = 0;
    const QMetaObject::Connection counting
        = QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, [&] { ++wakeUps; });
    testing_support::RunEventsFor(200);
    QObject::disconnect(counting);
    // A busy loop wakes thousands of times in 200 ms; a sleeping one a few times for its timer.
    EXPECT_LT(wakeUps, 50);
    EXPECT_EQ(p.rec.count(FD_READ), 1);
    char buf[2];
    EXPECT_EQ(platform::recv(p.s, buf, 2, 0), 2);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return p.rec.count(FD_READ) == 2; }));
}

TEST(Winsock, FdCloseComesOnceAfterTheDataWasRead)
{
    Pair p;
    p.rec.events.clear();
    ::send(p.peer, "last", 4, 0);
    ::close(p.peer);
    p.peer = -1;
    ASSERT_TRUE(testing_support::WaitUntil([&] { return p.rec.count(FD_READ) == 1; }));
    testing_support::RunEventsFor(30);
    EXPECT_EQ(p.rec.count(FD_CLOSE), 0);
    char buf[16];
    EXPECT_EQ(platform::recv(p.s, buf, sizeof buf, 0), 4);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return p.rec.count(FD_CLOSE) == 1; }));
    EXPECT_EQ(p.rec.events.back(), (Event { p.s, FD_CLOSE, 0 }));
    EXPECT_EQ(platform::recv(p.s, buf, sizeof buf, 0), 0);
    testing_support::RunEventsFor(30);
    EXPECT_EQ(p.rec.count(FD_CLOSE), 1);
    EXPECT_EQ(p.rec.count(FD_READ), 1);
}

TEST(Winsock, PeersResetGivesFdCloseWithConnectionReset)
{
    Pair p;
    p.rec.events.clear();
    linger l { 1, 0 };
    ::setsockopt(p.peer, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(p.peer);
    p.peer = -1;
    ASSERT_TRUE(testing_support::WaitUntil([&] { return p.rec.count(FD_CLOSE) == 1; }));
    EXPECT_EQ(p.rec.events.back().error, WSAECONNRESET);
}

TEST(Winsock, NothingAfterOwnClose)
{
    Pair p;
    p.rec.events.clear();
    ::send(p.peer, "x", 1, 0);
    EXPECT_EQ(platform::closesocket(p.s), 0);
    ::close(p.peer);
    p.peer = -1;
    testing_support::RunEventsFor(50);
    EXPECT_TRUE(p.rec.events.empty());
    EXPECT_EQ(platform::closesocket(p.s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    p.s = INVALID_SOCKET;
}

TEST(Winsock, SendThatWouldBlockIsFollowedByFdWriteOnceThereIsRoom)
{
    Pair p;
    p.rec.events.clear();
    const std::string chunk(65536, 'w');
    int sent = 0;
    for (int i = 0; i < 10000; ++i) {
        const int n = platform::send(p.s, chunk.data(), static_cast<int>(chunk.size()), 0);
        if (n == SOCKET_ERROR)
            break;
        sent += n;
    }
    ASSERT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    testing_support::RunEventsFor(30);
    EXPECT_EQ(p.rec.count(FD_WRITE), 0);
    std::string sink(1 << 20, '\0');
    int drained = 0;
    while (drained < sent) {
        const ssize_t n = ::recv(p.peer, sink.data(), sink.size(), MSG_DONTWAIT);
        if (n <= 0) {
            testing_support::RunEventsFor(5);
            continue;
        }
        drained += static_cast<int>(n);
    }
    ASSERT_TRUE(testing_support::WaitUntil([&] { return p.rec.count(FD_WRITE) == 1; }));
    testing_support::RunEventsFor(30);
    EXPECT_EQ(p.rec.count(FD_WRITE), 1);
}

TEST(Winsock, SendOnABrokenConnectionIsAnErrorNotASignal)
{
    Pair p;
    linger l { 1, 0 };
    ::setsockopt(p.peer, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(p.peer);
    p.peer = -1;
    testing_support::RunEventsFor(30);
    int result = 0;
    for (int i = 0; i < 3 && result != SOCKET_ERROR; ++i)
        result = platform::send(p.s, "data", 4, 0);
    EXPECT_EQ(result, SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

TEST(Winsock, SendOnAnUnconnectedSocketIsNotConnected)
{
    Library lib;
    const SOCKET s = platform::socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    EXPECT_EQ(platform::send(s, "x", 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
    platform::closesocket(s);
}

TEST(Winsock, HandlesAreNotReusedAtOnce)
{
    Library lib;
    const SOCKET a = platform::socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    platform::closesocket(a);
    const SOCKET b = platform::socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    EXPECT_NE(a, b);
    EXPECT_LT(b, 65535U);
    platform::closesocket(b);
}

TEST(Winsock, ListenerPostsFdAcceptAndAcceptRearmsIt)
{
    Library lib;
    Recorder rec;
    const SOCKET l = platform::socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    SOCKADDR_IN any = loopbackAddress(0);
    ASSERT_EQ(platform::bind(l, &any, sizeof any), 0);
    ASSERT_EQ(platform::listen(l, 4), 0);
    ASSERT_EQ(WSAAsyncSelect(l, rec.target.handle(), kMsg, 63), 0);
    SOCKADDR_IN bound;
    int len = sizeof bound;
    ASSERT_EQ(platform::getsockname(l, &bound, &len), 0);
    const int c1 = ::socket(AF_INET, SOCK_STREAM, 0);
    const int c2 = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = bound.sin_port;
    to.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    ::connect(c1, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ::connect(c2, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return rec.count(FD_ACCEPT) == 1; }));
    testing_support::RunEventsFor(30);
    EXPECT_EQ(rec.count(FD_ACCEPT), 1);
    SOCKADDR_IN peer;
    int peerLen = sizeof peer;
    const SOCKET a1 = platform::accept(l, &peer, &peerLen);
    ASSERT_NE(a1, INVALID_SOCKET);
    EXPECT_EQ(peer.sin_addr, platform::inet_addr("127.0.0.1"));
    ASSERT_TRUE(testing_support::WaitUntil([&] { return rec.count(FD_ACCEPT) == 2; }));
    const SOCKET a2 = platform::accept(l, nullptr, nullptr);
    EXPECT_NE(a2, INVALID_SOCKET);
    EXPECT_EQ(platform::send(a1, "hi", 2, 0), 2);
    char buf[2];
    EXPECT_EQ(::recv(c1, buf, 2, 0), 2);
    platform::closesocket(a1);
    platform::closesocket(a2);
    platform::closesocket(l);
    ::close(c1);
    ::close(c2);
}

TEST(Winsock, LingerOptionIsAccepted)
{
    Library lib;
    const SOCKET s = platform::socket(WS_AF_INET, WS_SOCK_STREAM, WS_IPPROTO_TCP);
    const LINGER l { 1, 0 };
    EXPECT_EQ(platform::setsockopt(s, WS_SOL_SOCKET, WS_SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l), 0);
    EXPECT_EQ(
        platform::setsockopt(s, WS_SOL_SOCKET, 0x1234, reinterpret_cast<const char*>(&l), sizeof l), SOCKET_ERROR);
    platform::closesocket(s);
}
