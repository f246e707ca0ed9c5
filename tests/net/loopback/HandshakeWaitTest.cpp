#include "net/Psock.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/net/loopback/SocketSupport.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

using loopback::messageOf;
using net::TPowersock;
using testing_support::ScriptPeer;
using testing_support::ScriptServer;

namespace {

// Like the HTTP client: a time-out also cancels.
struct AbortingSock : TPowersock {
    using TPowersock::TPowersock;
    ~AbortingSock() override { Abort(); }
    void Abort() override { Cancel(); }
};

} // namespace

TEST(HandshakeWait, AServerThatClosesMidHandshakeFailsIt)
{
    ScriptServer peer([](ScriptPeer& c) {
        c.Read(5);
        c.Close();
    });
    TPowersock s(nullptr);
    loopback::connectTo(s, peer.port(), 10000);
    EXPECT_EQ(messageOf([&] { s.StartTLS(); }), "TLS handshake failed: the server closed the connection");
    EXPECT_FALSE(s.Connected);
    EXPECT_FALSE(s.Secure());
}

TEST(HandshakeWait, APlainAnswerToTheHelloFailsTheHandshake)
{
    ScriptServer peer([](ScriptPeer& c) {
        c.Read(5);
        c.Send("-ERR what is this?\r\n");
        c.WaitForClose();
    });
    TPowersock s(nullptr);
    loopback::connectTo(s, peer.port(), 10000);
    const std::string message = messageOf([&] { s.StartTLS(); });
    EXPECT_EQ(message.rfind("TLS handshake failed: ", 0), 0u) << message;
    EXPECT_NE(message, "TLS handshake failed: the server closed the connection");
    EXPECT_FALSE(s.Connected);
}

TEST(HandshakeWait, AStalledServerTimesOutAndTheConnectionIsClosed)
{
    bool closed = false;
    ScriptServer peer([&](ScriptPeer& c) {
        c.Read(5);
        c.WaitForClose();
        closed = true;
    });
    AbortingSock s(nullptr);
    loopback::connectTo(s, peer.port(), 10000);
    s.TimeOut = 300;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(messageOf([&] { s.StartTLS(); }), "TLS handshake timed out");
    EXPECT_LT(clock.elapsed(), 8000);
    EXPECT_FALSE(s.Connected);
    peer.WaitForClosed(0);
    EXPECT_TRUE(closed);
}

TEST(HandshakeWait, CancelEndsAnUnboundedWait)
{
    ScriptServer peer([](ScriptPeer& c) {
        c.Read(5);
        c.WaitForClose();
    });
    TPowersock s(nullptr);
    loopback::connectTo(s, peer.port(), 10000);
    s.TimeOut = 0;
    QTimer::singleShot(200, [&] { s.Cancel(); });
    EXPECT_EQ(messageOf([&] { s.StartTLS(); }), "abort: TLS handshake canceled");
    EXPECT_FALSE(s.Connected);
}

TEST(HandshakeWait, DeletingTheComponentDuringTheWaitEndsIt)
{
    ScriptServer peer([](ScriptPeer& c) {
        c.Read(5);
        c.WaitForClose();
    });
    QPointer<TPowersock> s = new TPowersock(nullptr);
    loopback::connectTo(*s, peer.port(), 10000);
    s->TimeOut = 0;
    QTimer::singleShot(200, [&] { delete s.data(); });
    EXPECT_EQ(messageOf([&] { s->StartTLS(); }), "abort: TLS handshake canceled");
    EXPECT_TRUE(s.isNull());
    EXPECT_EQ(TPowersock::LiveCount(), 0);
}

TEST(HandshakeWait, StartTlsNeedsAConnection)
{
    TPowersock s(nullptr);
    s.Host = "localhost";
    EXPECT_EQ(messageOf([&] { s.StartTLS(); }), "Not connected");
}

TEST(StartTls, PlaintextInjectedAfterTheGoAheadIsNeverReadAsSecured)
{
    using S = ScriptServer;
    ScriptServer server;
    server.AddConnection({
        S::Send("* OK ready\r\n"),
        S::ReceiveUntil("\r\n"),
        // The go-ahead and a forged line in one packet, as a man in the middle would send them.
        S::Send("a OK begin TLS now\r\n* FORGED injected line\r\n"),
        S::StartTls(),
        S::Send("* OK secured\r\n"),
    });
    TPowersock s(nullptr);
    loopback::connectTo(s, server.port(), 10000, "localhost");
    EXPECT_EQ(s.ReadLn(), "* OK ready\r\n");
    s.Writeln("a STARTTLS");
    EXPECT_EQ(s.ReadLn(), "a OK begin TLS now\r\n");
    s.StartTLS();
    EXPECT_EQ(s.ReadLn(), "* OK secured\r\n");
    s.Disconnect();
    ASSERT_TRUE(server.WaitForClosed(0));
    EXPECT_EQ(server.Failure(), "");
    EXPECT_EQ(server.Received(0), "a STARTTLS\r\n");
}
