#include "net/Psock.h"
#include "tests/fixtures/LoopbackPorts.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/fixtures/TestCertificates.h"
#include "tests/fixtures/TinyProxy.h"
#include "tests/fixtures/TlsServer.h"
#include "tests/net/loopback/SocketSupport.h"

#include <gtest/gtest.h>

#include <atomic>

using loopback::messageOf;
using net::TPowersock;
using testing_support::ScriptPeer;
using testing_support::ScriptServer;
using testing_support::TestCertificates;
using testing_support::TinyProxy;
using testing_support::TlsPeer;
using testing_support::TlsServer;

namespace {

void throughProxy(TPowersock& s, std::uint16_t proxyPort, const std::string& host, std::uint16_t port)
{
    s.Proxy = "127.0.0.1";
    s.ProxyPort = proxyPort;
    s.Host = host;
    s.Port = port;
    s.TimeOut = 10000;
}

} // namespace

TEST(ProxyTunnel, TlsRunsThroughARealProxyToTheServerNotTheProxy)
{
    std::string serverName, line;
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
        p.MustHandshake();
        serverName = p.ServerName();
        p.Write("* OK through the tunnel\r\n");
        line = p.ReadLine();
        p.ReadUntilClose();
    });
    TinyProxy proxy({ server.port() });
    ASSERT_TRUE(proxy.running());
    TPowersock s(nullptr);
    throughProxy(s, proxy.port(), "localhost", server.port());
    s.ConnectThroughProxy();
    s.StartTLS();
    EXPECT_TRUE(s.Secure());
    EXPECT_EQ(s.ReadLn(), "* OK through the tunnel\r\n");
    s.Writeln("a LOGOUT");
    s.Disconnect();
    server.finish();
    EXPECT_EQ(server.failure, "");
    EXPECT_EQ(serverName, "localhost");
    EXPECT_EQ(line, "a LOGOUT\r\n");
}

TEST(ProxyTunnel, ARealProxyThatForbidsThePortRefusesWithItsStatusLine)
{
    TinyProxy proxy({});
    ASSERT_TRUE(proxy.running());
    TPowersock s(nullptr);
    throughProxy(s, proxy.port(), "127.0.0.1", testing_support::FreeLoopbackPort());
    const std::string message = messageOf([&] { s.ConnectThroughProxy(); });
    EXPECT_EQ(message.rfind("Proxy refused the tunnel: HTTP/1.", 0), 0u) << message;
    EXPECT_NE(message.find(" 403 "), std::string::npos) << message;
    EXPECT_FALSE(s.Connected);
    EXPECT_EQ(s.ReceiveQueue->Size(), 0);
}

TEST(ProxyTunnel, TheRequestNamesTheServerAndWhatFollowsTheAnswerIsTheServers)
{
    std::string request;
    ScriptServer proxy([&](ScriptPeer& c) {
        while (request.find("\r\n\r\n") == std::string::npos) {
            const std::string got = c.Read(1);
            if (got.empty())
                break;
            request += got;
        }
        c.Send("HTTP/1.1 200 Connection established\r\nProxy-agent: test\r\n\r\n* OK server greeting\r\n");
        c.WaitForClose();
    });
    TPowersock s(nullptr);
    // The server's name is the proxy's to resolve: nothing here looks it up.
    throughProxy(s, proxy.port(), "mail.example.org", 993);
    s.ConnectThroughProxy();
    EXPECT_TRUE(s.Connected);
    EXPECT_EQ(s.ReadLn(), "* OK server greeting\r\n");
    s.Disconnect();
    proxy.WaitForClosed(0);
    EXPECT_EQ(request, "CONNECT mail.example.org:993 HTTP/1.0\r\nHost: mail.example.org:993\r\n\r\n");
}

TEST(ProxyTunnel, AProxyThatAsksForCredentialsRefusesTheTunnel)
{
    ScriptServer proxy([](ScriptPeer& c) {
        c.ReadLine();
        c.Send("HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"x\"\r\n\r\n"
               "<html>log in first</html>\r\n");
        c.WaitForClose();
    });
    TPowersock s(nullptr);
    throughProxy(s, proxy.port(), "mail.example.org", 995);
    EXPECT_EQ(messageOf([&] { s.ConnectThroughProxy(); }),
        "Proxy refused the tunnel: HTTP/1.0 407 Proxy Authentication Required");
    EXPECT_FALSE(s.Connected);
}

TEST(ProxyTunnel, AProxyThatClosesOrStallsEndsTheWait)
{
    ScriptServer closing([](ScriptPeer& c) {
        c.ReadLine();
        c.Close();
    });
    TPowersock s(nullptr);
    throughProxy(s, closing.port(), "mail.example.org", 995);
    EXPECT_EQ(messageOf([&] { s.ConnectThroughProxy(); }), "Proxy closed the connection");

    ScriptServer stalling([](ScriptPeer& c) { c.WaitForClose(); });
    TPowersock t(nullptr);
    throughProxy(t, stalling.port(), "mail.example.org", 995);
    t.TimeOut = 300;
    EXPECT_EQ(messageOf([&] { t.ConnectThroughProxy(); }), "Proxy tunnel timed out");
    EXPECT_FALSE(t.Connected);
}

TEST(ProxyTunnel, AHostThatWouldChangeTheRequestIsRefusedBeforeConnecting)
{
    std::atomic<bool> contacted { false };
    ScriptServer proxy([&](ScriptPeer&) { contacted = true; });
    TPowersock s(nullptr);
    throughProxy(s, proxy.port(), "mail.example.org:1 HTTP/1.0\r\nX-Evil: 1", 995);
    EXPECT_EQ(messageOf([&] { s.ConnectThroughProxy(); }), "Invalid host name for the proxy tunnel");
    EXPECT_FALSE(s.Connected);
    EXPECT_FALSE(contacted);
}
