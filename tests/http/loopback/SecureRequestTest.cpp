// https:// requests: TLS from the first byte against a real web server, certificate failures
// that end the request before any of it is sent, and the tunnel through a real proxy.
#include "tests/fixtures/TestCertificates.h"
#include "tests/fixtures/TinyProxy.h"
#include "tests/fixtures/TlsServer.h"
#include "tests/fixtures/WebServer.h"
#include "tests/http/HttpProbe.h"

#include <gtest/gtest.h>

#include <stdexcept>

using http_tests::Probe;
using testing_support::TestCertificates;
using testing_support::TinyProxy;
using testing_support::TlsIdentity;
using testing_support::TlsPeer;
using testing_support::TlsServer;
using testing_support::WebServer;

namespace {

std::string messageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const net::ESockError& e) {
        return e.Message;
    } catch (const platform::Exception& e) {
        return e.Message;
    }
    return "no exception";
}

// The request header as the server read it over TLS, up to and including the empty line.
std::string ReadRequestHeader(TlsPeer& p)
{
    std::string header;
    for (;;) {
        const std::string line = p.ReadLine();
        header += line;
        if (line == "\r\n" || line.empty())
            return header;
    }
}

std::string SecureUrl(std::uint16_t port, const std::string& path)
{
    return "https://127.0.0.1:" + std::to_string(port) + path;
}

} // namespace

TEST(SecureRequest, RealServerServesPagesAndLargeBodiesOverTls)
{
    WebServer web(TestCertificates::Shared().localhost);
    ASSERT_TRUE(web.running()) << web.errorLog();
    net::TNMHTTP http(nullptr);
    http.TimeOut = 10000;
    http.Get(SecureUrl(web.port(), "/"));
    EXPECT_TRUE(http.SecureRequest());
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.Body, WebServer::PageContent());
    http.Get(SecureUrl(web.port(), "/big.bin"));
    EXPECT_TRUE(http.Body == WebServer::BigContent()) << http.Body.size();
    // The same component goes back to plain HTTP for an http:// address.
    WebServer plain;
    ASSERT_TRUE(plain.running());
    http.Get(plain.url("/verInfo"));
    EXPECT_FALSE(http.SecureRequest());
    EXPECT_EQ(http.Body, WebServer::VersionContent());
}

TEST(SecureRequest, UnverifiedServersGetNoByteOfTheRequest)
{
    const TestCertificates& certs = TestCertificates::Shared();
    const struct {
        const TlsIdentity* identity;
        std::string message;
    } rows[] = {
        { &certs.selfSigned, "TLS certificate not trusted: " },
        { &certs.unknownAuthority, "TLS certificate not trusted: " },
        { &certs.expired, "TLS certificate not trusted: " },
        { &certs.wrongName, "TLS certificate does not match host 127.0.0.1" },
    };
    for (const auto& row : rows) {
        TlsServer server(*row.identity, [](TlsPeer& p) {
            if (p.Handshake())
                p.ReadUntilClose();
        });
        net::TNMHTTP http(nullptr);
        http.TimeOut = 10000;
        const std::string message = messageOf([&] { http.Post(SecureUrl(server.port(), "/"), "secret=1"); });
        server.finish();
        EXPECT_EQ(message.rfind(row.message, 0), 0U) << message;
        EXPECT_EQ(server.applicationBytes, 0U) << row.message;
    }
}

TEST(SecureRequest, ThroughAProxyTheTunnelCarriesTheRequestInServerForm)
{
    std::string header, serverName;
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
        p.MustHandshake();
        serverName = p.ServerName();
        header = ReadRequestHeader(p);
        p.Write("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
        p.CloseNotify();
    });
    TinyProxy proxy({ server.port() });
    ASSERT_TRUE(proxy.running());
    net::TNMHTTP http(nullptr);
    http.TimeOut = 10000;
    http.Proxy = "127.0.0.1";
    http.ProxyPort = proxy.port();
    http.Get(SecureUrl(server.port(), "/dir/page?x=1"));
    server.finish();
    EXPECT_EQ(server.failure, "");
    EXPECT_EQ(http.Body, "ok");
    // An address is verified as an address and sent as no server name.
    EXPECT_EQ(serverName, "");
    EXPECT_EQ(header, http_tests::DirectGet("/dir/page?x=1", "127.0.0.1"));
}

TEST(SecureRequest, PostDataAndRedirectionsStayOnTheSecureServer)
{
    std::string first, firstBody, second;
    TlsServer server(TestCertificates::Shared().localhost,
        [&, n = 0](TlsPeer& p) mutable {
            p.MustHandshake();
            if (n++ == 0) {
                first = ReadRequestHeader(p);
                firstBody = p.Read(9);
                p.Write("HTTP/1.0 302 Found\r\nLocation: /next\r\n\r\n");
            } else {
                second = ReadRequestHeader(p);
                p.Write("HTTP/1.0 200 OK\r\n\r\nthere");
            }
            p.CloseNotify();
        },
        { .connections = 2 });
    net::TNMHTTP http(nullptr);
    http.TimeOut = 10000;
    http.Post(SecureUrl(server.port(), "/token"), "a=1&b=2+3");
    server.finish();
    EXPECT_EQ(server.failure, "");
    EXPECT_NE(first.find("POST /token HTTP/1.0\r\n"), std::string::npos) << first;
    EXPECT_NE(first.find("Content-Length: 9\r\n"), std::string::npos) << first;
    EXPECT_EQ(firstBody, "a=1&b=2 3");
    EXPECT_EQ(second, http_tests::DirectGet("/next", "127.0.0.1"));
    EXPECT_EQ(http.Body, "there");
}

TEST(SecureRequest, AServerThatCutsTheBodyWithoutTheClosingAlertFailsTheRequest)
{
    TlsServer server(TestCertificates::Shared().localhost, [&](TlsPeer& p) {
        p.MustHandshake();
        ReadRequestHeader(p);
        p.Write("HTTP/1.0 200 OK\r\n\r\n{\"access_token\":\"a");
        p.Cut();
    });
    net::TNMHTTP http(nullptr);
    http.TimeOut = 10000;
    EXPECT_EQ(messageOf([&] { http.Get(SecureUrl(server.port(), "/")); }), "TLS connection cut");
    server.finish();
}
