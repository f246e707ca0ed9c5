// The socket component over TLS next to a blocking OpenSSL client doing the same work on
// loopback (short secured exchanges), and next to curl fetching the same bytes over HTTPS from
// lighttpd (a large capture).
#include "net/Psock.h"
#include "tests/fixtures/TestCertificates.h"
#include "tests/fixtures/TlsServer.h"
#include "tests/fixtures/WebServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using testing_support::TestCertificates;
using testing_support::TlsPeer;
using testing_support::TlsServer;

constexpr int kConnections = 200;
constexpr std::size_t kCaptureBytes = 256u * 1024 * 1024;
constexpr int kRuns = 3;

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "bench_tls: %s\n", what.c_str());
    std::exit(1);
}

double seconds(const QElapsedTimer& clock)
{
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

// CPU seconds (user and system) of this process, or of its children that were waited for.
double cpuSeconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Wall and CPU time of one run; the machine may be shared, so CPU time is the steadier figure.
struct Timing {
    double wall = 1e9;
    double cpu = 1e9;
    void keepBest(const Timing& t)
    {
        wall = std::min(wall, t.wall);
        cpu = std::min(cpu, t.cpu);
    }
};

TlsServer echoServer()
{
    TlsServer::Options options;
    options.connections = kConnections;
    return TlsServer(
        TestCertificates::Shared().localhost,
        [](TlsPeer& p) {
            if (!p.Handshake())
                return;
            p.Write("re: " + p.ReadLine());
            p.ReadUntilClose();
        },
        options);
}

double exchangesComponent()
{
    TlsServer server = echoServer();
    net::TPowersock s(nullptr);
    s.Host = "127.0.0.1";
    s.Port = server.port();
    s.TimeOut = 10000;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kConnections; ++i) {
        s.Connect();
        s.StartTLS();
        s.Writeln("ping");
        if (s.ReadLn() != "re: ping\r\n")
            fail("bad reply to the component");
        s.Disconnect();
    }
    const double t = seconds(clock);
    server.finish();
    return t;
}

int blockingConnect(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const linger l { 1, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        fail("connect");
    return fd;
}

// What a careful blocking client does: one context, a verified handshake per connection.
double exchangesBlocking()
{
    TlsServer server = echoServer();
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(context);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kConnections; ++i) {
        const int fd = blockingConnect(server.port());
        SSL* ssl = SSL_new(context);
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), "127.0.0.1");
        SSL_set_fd(ssl, fd);
        if (SSL_connect(ssl) != 1)
            fail("blocking handshake");
        SSL_write(ssl, "ping\r\n", 6);
        std::string line;
        char c;
        while (line.empty() || line.back() != '\n') {
            if (SSL_read(ssl, &c, 1) != 1)
                fail("blocking read");
            line += c;
        }
        if (line != "re: ping\r\n")
            fail("bad reply to the blocking client");
        SSL_shutdown(ssl);
        SSL_free(ssl);
        ::close(fd);
    }
    const double t = seconds(clock);
    SSL_CTX_free(context);
    server.finish();
    return t;
}

Timing captureComponent(const testing_support::WebServer& web, bool secure = true)
{
    net::TPowersock s(nullptr);
    s.Host = "127.0.0.1";
    s.Port = web.port();
    s.TimeOut = 10000;
    std::string all;
    const double cpu = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer clock;
    clock.start();
    s.Connect();
    if (secure)
        s.StartTLS();
    s.Write("GET /capture.bin HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    s.CaptureString(all, -1);
    const Timing t { seconds(clock), cpuSeconds(RUSAGE_SELF) - cpu };
    const std::size_t body = all.find("\r\n\r\n");
    if (body == std::string::npos || all.size() - body - 4 != kCaptureBytes)
        fail("the component captured " + std::to_string(all.size()) + " bytes");
    return t;
}

Timing captureCurl(const testing_support::WebServer& web)
{
    const std::string command = "curl -sS -o /dev/null -w '%{size_download}' --cacert '"
        + TestCertificates::Shared().authorityFile + "' '" + web.url("/capture.bin") + "'";
    const double cpu = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer clock;
    clock.start();
    FILE* curl = ::popen(command.c_str(), "r");
    if (!curl)
        fail("cannot run curl");
    char out[64] = {};
    const std::size_t n = std::fread(out, 1, sizeof out - 1, curl);
    const int status = ::pclose(curl);
    const Timing t { seconds(clock), cpuSeconds(RUSAGE_CHILDREN) - cpu };
    if (status != 0 || std::strtoull(std::string(out, n).c_str(), nullptr, 10) != kCaptureBytes)
        fail("curl fetched " + std::string(out, n));
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    TestCertificates::Shared();
    std::printf("socket component over TLS vs. a blocking OpenSSL client and curl, on loopback\n");

    double blocking = 1e9, component = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        blocking = std::min(blocking, exchangesBlocking());
        component = std::min(component, exchangesComponent());
    }
    std::printf("%d TLS connections (verified handshake, a line each way, close), best of %d runs each:\n",
        kConnections, kRuns);
    std::printf(
        "  blocking OpenSSL %.3f s (%.2f ms each), component %.3f s (%.2f ms each), ratio %.2f (target <= 1.3)\n",
        blocking, blocking * 1000 / kConnections, component, component * 1000 / kConnections, component / blocking);

    testing_support::WebServer web(TestCertificates::Shared().localhost);
    if (!web.running())
        fail("lighttpd did not start: " + web.errorLog());
    web.AddFile("capture.bin", testing_support::WebServer::PatternContent(kCaptureBytes));
    Timing curl, capture;
    for (int run = 0; run < kRuns; ++run) {
        curl.keepBest(captureCurl(web));
        capture.keepBest(captureComponent(web));
    }
    const double mib = static_cast<double>(kCaptureBytes) / (1024 * 1024);
    std::printf("%.0f MiB over HTTPS from lighttpd until it closes, best of %d runs each:\n", mib, kRuns);
    std::printf("  wall: curl %.3f s (%.0f MiB/s), CaptureString %.3f s (%.0f MiB/s), ratio %.2f (target <= 1.5)\n",
        curl.wall, mib / curl.wall, capture.wall, mib / capture.wall, capture.wall / curl.wall);
    std::printf("  CPU:  curl %.3f s, CaptureString %.3f s, ratio %.2f (target <= 1.5)\n", curl.cpu, capture.cpu,
        capture.cpu / curl.cpu);

    // The same capture without TLS shows what the secure channel adds to the socket layer's own cost.
    testing_support::WebServer plainWeb;
    if (!plainWeb.running())
        fail("lighttpd did not start: " + plainWeb.errorLog());
    plainWeb.AddFile("capture.bin", testing_support::WebServer::PatternContent(kCaptureBytes));
    Timing plain;
    for (int run = 0; run < kRuns; ++run)
        plain.keepBest(captureComponent(plainWeb, false));
    std::printf("  the same CaptureString over plain HTTP: %.3f s wall, %.3f s CPU\n", plain.wall, plain.cpu);
    return 0;
}
