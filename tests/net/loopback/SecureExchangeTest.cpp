#include "net/Psock.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/fixtures/TestCertificates.h"
#include "tests/fixtures/TlsServer.h"
#include "tests/fixtures/WebServer.h"
#include "tests/net/loopback/SocketSupport.h"

#include <QDir>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

using loopback::messageOf;
using net::TPowersock;
using testing_support::TestCertificates;
using testing_support::TlsPeer;
using testing_support::TlsServer;

namespace {

void pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

TEST(SecureExchange, LinesGoBothWaysAndTheCloseSendsTheClosingAlert)
{
    std::string received, serverName;
    bool closedWithAlert = false;
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
        p.MustHandshake();
        serverName = p.ServerName();
        p.Write("* OK secure greeting\r\n");
        received = p.ReadLine();
        p.Write("a OK " + received);
        p.ReadUntilClose();
        closedWithAlert = p.ClosedWithAlert();
    });
    TPowersock s(nullptr);
    loopback::connectTo(s, server.port(), 10000, "localhost");
    EXPECT_FALSE(s.Secure());
    s.StartTLS();
    EXPECT_TRUE(s.Secure());
    EXPECT_EQ(s.ReadLn(), "* OK secure greeting\r\n");
    s.Writeln("a LOGIN user secret");
    EXPECT_EQ(s.ReadLn(), "a OK a LOGIN user secret\r\n");
    s.Disconnect();
    EXPECT_FALSE(s.Secure());
    server.finish();
    EXPECT_EQ(server.failure, "");
    EXPECT_EQ(received, "a LOGIN user secret\r\n");
    EXPECT_EQ(serverName, "localhost");
    EXPECT_TRUE(closedWithAlert);
}

TEST(SecureExchange, AnAddressIsVerifiedAsAnAddressAndSentAsNoServerName)
{
    std::string serverName = "unset";
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
        p.MustHandshake();
        serverName = p.ServerName();
        p.Write("* OK\r\n");
        p.ReadUntilClose();
    });
    TPowersock s(nullptr);
    loopback::connectTo(s, server.port(), 10000, "127.0.0.1");
    s.StartTLS();
    EXPECT_EQ(s.ReadLn(), "* OK\r\n");
    s.Disconnect();
    server.finish();
    EXPECT_EQ(serverName, "");
}

TEST(SecureExchange, LinesSplitAcrossRecordsAndRecordsHoldingSeveralLines)
{
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
        p.MustHandshake();
        p.Write("* first li");
        pause(30);
        p.Write("ne\r\n* sec");
        pause(30);
        p.Write("ond line\r\n* third\r\n* four");
        pause(30);
        p.Write("th\r\n");
        p.ReadUntilClose();
    });
    TPowersock s(nullptr);
    loopback::connectTo(s, server.port(), 10000);
    s.StartTLS();
    EXPECT_EQ(s.ReadLn(), "* first line\r\n");
    EXPECT_EQ(s.ReadLn(), "* second line\r\n");
    EXPECT_EQ(s.ReadLn(), "* third\r\n");
    EXPECT_EQ(s.ReadLn(), "* fourth\r\n");
    s.Disconnect();
}

TEST(SecureExchange, SixteenMebibytesArriveWholeInCaptureString)
{
    const std::string content = loopback::pattern(16u * 1024 * 1024, 7);
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
        p.MustHandshake();
        for (std::size_t at = 0; at < content.size(); at += 16384)
            p.Write(content.substr(at, 16384));
        p.CloseNotify();
    });
    TPowersock s(nullptr);
    loopback::connectTo(s, server.port(), 10000);
    s.StartTLS();
    std::string got;
    s.CaptureString(got, -1);
    EXPECT_EQ(got.size(), content.size());
    EXPECT_TRUE(got == content);
    EXPECT_FALSE(s.Connected);
}

TEST(SecureExchange, AFileLargerThanTheSocketBuffersReachesASlowReaderWhole)
{
    const std::string content = loopback::pattern(8u * 1024 * 1024, 3);
    // A file of its own: the same test may run in another build at the same time.
    QTemporaryFile file(QDir::tempPath() + "/quorvel-tls-send-XXXXXX");
    ASSERT_TRUE(file.open());
    ASSERT_EQ(file.write(content.data(), static_cast<qint64>(content.size())), static_cast<qint64>(content.size()));
    file.close();
    const std::string path = file.fileName().toStdString();
    std::string received;
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
        p.MustHandshake();
        // The client's sends back up meanwhile, and the rest of its records must wait.
        pause(300);
        received = p.Read(content.size());
        p.Write("* got it\r\n");
        p.ReadUntilClose();
    });
    TPowersock s(nullptr);
    loopback::connectTo(s, server.port(), 10000);
    s.StartTLS();
    s.SendFile(path);
    EXPECT_EQ(s.ReadLn(), "* got it\r\n");
    s.Disconnect();
    server.finish();
    EXPECT_EQ(received.size(), content.size());
    EXPECT_TRUE(received == content);
}

TEST(SecureEnd, TheServersClosingAlertEndsTheCaptureAndIsAnswered)
{
    bool answered = false;
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
        p.MustHandshake();
        p.Write("last words\r\n");
        // The connection stays open until the client answers with its own alert (or gives up).
        p.SendCloseNotify();
        p.ReadUntilClose();
        answered = p.ClosedWithAlert();
    });
    TPowersock s(nullptr);
    int disconnects = 0;
    s.OnDisconnect = [&](QObject*) { ++disconnects; };
    loopback::connectTo(s, server.port(), 10000);
    s.StartTLS();
    std::string got;
    s.CaptureString(got, -1);
    EXPECT_EQ(got, "last words\r\n");
    EXPECT_FALSE(s.Connected);
    EXPECT_EQ(disconnects, 1);
    server.finish();
    EXPECT_TRUE(answered);
}

TEST(SecureEnd, ACutWithoutClosingAlertFailsTheCaptureInsteadOfEndingIt)
{
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
        p.MustHandshake();
        p.Write(std::string(100000, 'x'));
        p.Cut();
    });
    TPowersock s(nullptr);
    loopback::connectTo(s, server.port(), 10000);
    s.StartTLS();
    std::string got;
    EXPECT_EQ(messageOf([&] { s.CaptureString(got, -1); }), "TLS connection cut");
    EXPECT_FALSE(s.Connected);
    EXPECT_FALSE(s.Secure());
}

TEST(SecureEnd, ACutEndsALineWaitThatWouldOtherwiseNeverEnd)
{
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
        p.MustHandshake();
        p.Write("* complete\r\n* half a li");
        p.Cut();
    });
    TPowersock s(nullptr);
    loopback::connectTo(s, server.port(), 10000);
    s.StartTLS();
    EXPECT_EQ(s.ReadLn(), "* complete\r\n");
    EXPECT_EQ(messageOf([&] { s.ReadLn(); }), "TLS connection cut");
}

TEST(SecureEnd, ARecordThatDoesNotDecryptClosesTheConnectionWithAnError)
{
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
        p.MustHandshake();
        p.Write("* OK\r\n");
        // An application-data record of the right form whose bytes were changed on the way.
        std::string forged("\x17\x03\x03\x00\x20", 5);
        forged += std::string(32, '\x5A');
        pause(50);
        p.SendClear(forged);
        p.ReadUntilClose();
    });
    TPowersock s(nullptr);
    loopback::connectTo(s, server.port(), 10000);
    s.StartTLS();
    EXPECT_EQ(s.ReadLn(), "* OK\r\n");
    const std::string message = messageOf([&] { s.ReadLn(); });
    EXPECT_EQ(message.rfind("TLS connection failed: ", 0), 0u) << message;
    EXPECT_FALSE(s.Connected);
}

TEST(SecureEnd, TheNextConnectionOfTheSameComponentIsPlainAgain)
{
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
        p.MustHandshake();
        p.Write("* secure\r\n");
        p.CloseNotify();
    });
    std::string plainLine;
    testing_support::ScriptServer plain([&](testing_support::ScriptPeer& c) {
        c.Send("+OK plain\r\n");
        plainLine = c.ReadLine();
    });
    TPowersock s(nullptr);
    loopback::connectTo(s, server.port(), 10000);
    s.StartTLS();
    EXPECT_EQ(s.ReadLn(), "* secure\r\n");
    std::string rest;
    s.CaptureString(rest, -1);
    EXPECT_FALSE(s.Connected);
    loopback::connectTo(s, plain.port(), 10000);
    EXPECT_FALSE(s.Secure());
    EXPECT_EQ(s.ReadLn(), "+OK plain\r\n");
    s.Writeln("QUIT");
    plain.WaitForClosed(0);
    EXPECT_EQ(plainLine, "QUIT\r\n");
}

TEST(SecureExchange, ARealWebServerAnswersOverTlsAndEndsWithItsClosingAlert)
{
    testing_support::WebServer web(TestCertificates::Shared().localhost);
    ASSERT_TRUE(web.running()) << web.errorLog();
    TPowersock s(nullptr);
    loopback::connectTo(s, web.port(), 10000, "localhost");
    s.StartTLS();
    s.Write("GET /big.bin HTTP/1.0\r\nHost: localhost\r\n\r\n");
    EXPECT_EQ(s.ReadLn(), "HTTP/1.0 200 OK\r\n");
    std::string rest;
    s.CaptureString(rest, -1);
    const std::size_t body = rest.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_TRUE(rest.substr(body + 4) == testing_support::WebServer::BigContent());
    EXPECT_FALSE(s.Connected);
}
