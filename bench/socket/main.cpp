// The socket component next to plain blocking POSIX calls doing the same work on loopback:
// short exchanges, a large capture, and the CPU a connect costs while it waits.
#include "net/Psock.h"
#include "tests/fixtures/LoopbackPorts.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kExchanges = 1000;
constexpr std::size_t kCaptureBytes = 256u * 1024 * 1024;

double CpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// This thread's time on a CPU as the scheduler counts it, in seconds.
double ThreadCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void SendAll(int fd, const char* p, std::size_t n)
{
    while (n > 0) {
        const ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
        if (k <= 0)
            return;
        p += k;
        n -= static_cast<std::size_t>(k);
    }
}

std::string RecvLine(int fd)
{
    std::string line;
    char c;
    while (::recv(fd, &c, 1, 0) == 1) {
        line += c;
        if (c == '\n')
            break;
    }
    return line;
}

// Answers each connection's line with a line, then waits for the client to go.
void EchoServer(int listener, int count)
{
    for (int i = 0; i < count; ++i) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            return;
        const std::string line = RecvLine(fd);
        const std::string reply = "re: " + line;
        SendAll(fd, reply.data(), reply.size());
        char buf[256];
        while (::recv(fd, buf, sizeof buf, 0) > 0) { }
        ::close(fd);
    }
}

// Sends `bytes` bytes to each connection and closes it.
void StreamServer(int listener, int count, std::size_t bytes)
{
    const std::string block(1 << 16, 'x');
    for (int i = 0; i < count; ++i) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            return;
        for (std::size_t sent = 0; sent < bytes; sent += block.size())
            SendAll(fd, block.data(), std::min(block.size(), bytes - sent));
        ::close(fd);
    }
}

int BlockingConnect(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const linger l { 1, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    return fd;
}

double ExchangesBlocking()
{
    std::uint16_t port;
    const int listener = testing_support::ListenOnLoopback(port, 64);
    std::thread server(EchoServer, listener, kExchanges);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kExchanges; ++i) {
        const int fd = BlockingConnect(port);
        SendAll(fd, "ping\r\n", 6);
        const std::string reply = RecvLine(fd);
        if (reply != "re: ping\r\n") {
            std::fprintf(stderr, "bad reply\n");
            std::exit(1);
        }
        ::close(fd);
    }
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    server.join();
    ::close(listener);
    return seconds;
}

double ExchangesComponent()
{
    std::uint16_t port;
    const int listener = testing_support::ListenOnLoopback(port, 64);
    std::thread server(EchoServer, listener, kExchanges);
    net::TPowersock s(nullptr);
    s.Host = "127.0.0.1";
    s.Port = port;
    s.TimeOut = 10000;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kExchanges; ++i) {
        s.Connect();
        s.Writeln("ping");
        if (s.ReadLn() != "re: ping\r\n") {
            std::fprintf(stderr, "bad reply\n");
            std::exit(1);
        }
        s.Disconnect();
    }
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    server.join();
    ::close(listener);
    return seconds;
}

double CaptureBlocking()
{
    std::uint16_t port;
    const int listener = testing_support::ListenOnLoopback(port, 4);
    std::thread server(StreamServer, listener, 1, kCaptureBytes);
    QElapsedTimer clock;
    clock.start();
    const int fd = BlockingConnect(port);
    std::string all;
    char buf[16383];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0)
        all.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    server.join();
    ::close(listener);
    if (all.size() != kCaptureBytes) {
        std::fprintf(stderr, "blocking capture got %zu bytes\n", all.size());
        std::exit(1);
    }
    return seconds;
}

double CaptureComponent()
{
    std::uint16_t port;
    const int listener = testing_support::ListenOnLoopback(port, 4);
    std::thread server(StreamServer, listener, 1, kCaptureBytes);
    net::TPowersock s(nullptr);
    s.Host = "127.0.0.1";
    s.Port = port;
    QElapsedTimer clock;
    clock.start();
    s.Connect();
    std::string all;
    s.CaptureString(all, -1);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    server.join();
    ::close(listener);
    if (all.size() != kCaptureBytes) {
        std::fprintf(stderr, "component capture got %zu bytes\n", all.size());
        std::exit(1);
    }
    return seconds;
}

void WaitingConnect()
{
    std::uint16_t port;
    const int listener = testing_support::ListenOnLoopback(port, 0);
    // Fills the listener's queue: the component's connect is never accepted.
    const int filler = BlockingConnect(port);
    net::TPowersock s(nullptr);
    s.Host = "127.0.0.1";
    s.Port = port;
    s.TimeOut = 5000;
    QElapsedTimer clock;
    const double cpuBefore = CpuSeconds();
    const double threadBefore = ThreadCpuSeconds();
    clock.start();
    std::string outcome = "connected";
    try {
        s.Connect();
    } catch (const net::ESockError& e) {
        outcome = e.Message;
    }
    const double wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const double cpu = CpuSeconds() - cpuBefore;
    const double thread = ThreadCpuSeconds() - threadBefore;
    std::printf("connect wait on a never-accepted connection: %.3f s wall, \"%s\"\n", wall, outcome.c_str());
    std::printf("  CPU used: process %.1f ms, waiting thread %.1f ms = %.3f %% of one core (target < 1 %%)\n",
        cpu * 1e3, thread * 1e3, 100.0 * thread / wall);
    ::close(filler);
    ::close(listener);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--wait-only") == 0) {
        WaitingConnect();
        return 0;
    }
    // For a profiler: the short exchanges alone, ten rounds.
    if (argc > 1 && std::strcmp(argv[1], "--exchanges-only") == 0) {
        for (int round = 0; round < 10; ++round)
            std::printf("component %.3f s\n", ExchangesComponent());
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--blocking-only") == 0) {
        for (int round = 0; round < 10; ++round)
            std::printf("blocking %.3f s\n", ExchangesBlocking());
        return 0;
    }
    std::printf("socket component vs. blocking POSIX sockets on loopback\n");

    // The machine is shared: the best of several alternating runs shows each side's own cost.
    double exB = 1e9;
    double exC = 1e9;
    for (int round = 0; round < 5; ++round) {
        exB = std::min(exB, ExchangesBlocking());
        exC = std::min(exC, ExchangesComponent());
    }
    std::printf("%d exchanges (connect, a line each way, close), best of 5 runs each:\n", kExchanges);
    std::printf("  blocking POSIX %.3f s (%.1f us each), component %.3f s (%.1f us each), ratio %.2f (target <= 1.3)\n",
        exB, exB * 1e6 / kExchanges, exC, exC * 1e6 / kExchanges, exC / exB);

    const double caB = CaptureBlocking();
    const double caC = CaptureComponent();
    const double mib = static_cast<double>(kCaptureBytes) / (1024.0 * 1024.0);
    std::printf("%.0f MiB captured until the peer closes:\n", mib);
    std::printf("  blocking POSIX %.3f s (%.0f MiB/s), CaptureString %.3f s (%.0f MiB/s), ratio %.2f (target <= 2)\n",
        caB, mib / caB, caC, mib / caC, caC / caB);

    WaitingConnect();
    return 0;
}
