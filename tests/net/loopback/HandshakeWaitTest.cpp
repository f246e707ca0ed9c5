#include "LoopbackPeer.h"
#include "SecureSupport.h"
#include "net/Psock.h"
#include "tests/fixtures/TestCertificates.h"
#include "tests/fixtures/TlsServer.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

using loopback::PeerConnection;
using loopback::ScriptedPeer;
using net::TPowersock;
using secure::messageOf;
using testing_support::TestCertificates;
using testing_support::TlsPeer;
using testing_support::TlsServer;

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
    ScriptedPeer peer([](PeerConnection& c) {
        c.read(5);
        c.close();
    });
    TPowersock s(nullptr);
    secure::connect(s, peer.port());
    EXPECT_EQ(messageOf([&] { s.StartTLS(); }), "TLS handshake failed: the server closed the connection");
    EXPECT_FALSE(s.Connected);
    EXPECT_FALSE(s.Secure());
}

TEST(HandshakeWait, APlainAnswerToTheHelloFailsTheHandshake)
{
    ScriptedPeer peer([](PeerConnection& c) {
        c.read(5);
        c.send("-ERR what is this?\r\n");
        c.waitForClose();
    });
    TPowersock s(nullptr);
    secure::connect(s, peer.port());
    const std::string message = messageOf([&] { s.StartTLS(); });
    EXPECT_EQ(message.rfind("TLS handshake failed: ", 0), 0u) << message;
    EXPECT_NE(message, "TLS handshake failed: the server closed the connection");
    EXPECT_FALSE(s.Connected);
}

TEST(HandshakeWait, AStalledServerTimesOutAndTheConnectionIsClosed)
{
    bool closed = false;
    ScriptedPeer peer([&](PeerConnection& c) {
        c.read(5);
        c.waitForClose();
        closed = true;
    });
    AbortingSock s(nullptr);
    secure::connect(s, peer.port());
    s.TimeOut = 300;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(messageOf([&] { s.StartTLS(); }), "TLS handshake timed out");
    EXPECT_LT(clock.elapsed(), 8000);
    EXPECT_FALSE(s.Connected);
    peer.finish();
    EXPECT_TRUE(closed);
}

TEST(HandshakeWait, CancelEndsAnUnboundedWait)
{
    ScriptedPeer peer([](PeerConnection& c) {
        c.read(5);
        c.waitForClose();
    });
    TPowersock s(nullptr);
    secure::connect(s, peer.port());
    s.TimeOut = 0;
    QTimer::singleShot(200, [&] { s.Cancel(); });
    EXPECT_EQ(messageOf([&] { s.StartTLS(); }), "abort: TLS handshake canceled");
    EXPECT_FALSE(s.Connected);
}

TEST(HandshakeWait, DeletingTheComponentDuringTheWaitEndsIt)
{
    ScriptedPeer peer([](PeerConnection& c) {
        c.read(5);
        c.waitForClose();
    });
    QPointer<TPowersock> s = new TPowersock(nullptr);
    secure::connect(*s, peer.port());
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
    std::string command;
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
        p.SendClear("* OK ready\r\n");
        command = p.ReadClearLine();
        // The go-ahead and a forged line in one packet, as a man in the middle would send them.
        p.SendClear("a OK begin TLS now\r\n* FORGED injected line\r\n");
        if (!p.Handshake())
            throw std::runtime_error("server handshake failed");
        p.Write("* OK secured\r\n");
        p.ReadUntilClose();
    });
    TPowersock s(nullptr);
    secure::connect(s, server.port(), "localhost");
    EXPECT_EQ(s.ReadLn(), "* OK ready\r\n");
    s.Writeln("a STARTTLS");
    EXPECT_EQ(s.ReadLn(), "a OK begin TLS now\r\n");
    s.StartTLS();
    EXPECT_EQ(s.ReadLn(), "* OK secured\r\n");
    s.Disconnect();
    server.finish();
    EXPECT_EQ(server.failure, "");
    EXPECT_EQ(command, "a STARTTLS\r\n");
}
