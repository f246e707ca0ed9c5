// What a wait costs while nothing happens: the socket component's connect wait on a connection
// that is never accepted, beside a thread blocked in poll() on the same kind of connection (the
// reference: one sleep, one wake-up). Wake-ups are the voluntary context switches of the
// waiting thread. Then how soon a pass returns once a message arrives from another thread.
#include "net/Psock.h"
#include "platform/core/MessageLoop.h"
#include "platform/core/MessageTarget.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct ThreadFigures {
    long wakeUps = 0;
    double cpuSeconds = 0;
    double wallSeconds = 0;
};

// The calling thread's voluntary context switches and CPU time.
class ThreadMeter {
public:
    ThreadMeter()
    {
        clock_.start();
        read(&wakeUps_, &cpu_);
    }
    ThreadFigures Stop() const
    {
        long wakeUps = 0;
        double cpu = 0;
        read(&wakeUps, &cpu);
        return { wakeUps - wakeUps_, cpu - cpu_, static_cast<double>(clock_.nsecsElapsed()) / 1e9 };
    }

private:
    static void read(long* wakeUps, double* cpu)
    {
        rusage usage {};
        getrusage(RUSAGE_THREAD, &usage);
        *wakeUps = usage.ru_nvcsw;
        timespec ts {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        *cpu = static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
    }
    QElapsedTimer clock_;
    long wakeUps_ = 0;
    double cpu_ = 0;
};

sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A listener whose queue is full: connects to it stay pending until they time out.
class DeafListener {
public:
    DeafListener()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = Loopback(0);
        socklen_t len = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 0) != 0
            || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            std::perror("listen");
            std::exit(1);
        }
        port_ = ntohs(a.sin_port);
        // Backlog 0 holds one connection; a second makes sure the queue is full.
        for (int i = 0; i < 2; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            const sockaddr_in to = Loopback(port_);
            ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
            fillers_.push_back(fd);
        }
        ::usleep(100000);
    }
    ~DeafListener()
    {
        for (const int fd : fillers_)
            ::close(fd);
        ::close(listener_);
    }
    std::uint16_t Port() const { return port_; }

private:
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::vector<int> fillers_;
};

ThreadFigures ComponentConnectWait(int seconds, std::string* outcome)
{
    const DeafListener deaf;
    net::TPowersock s(nullptr);
    s.Host = "127.0.0.1";
    s.Port = deaf.Port();
    s.TimeOut = seconds * 1000;
    const ThreadMeter meter;
    *outcome = "connected";
    try {
        s.Connect();
    } catch (const net::ESockError& e) {
        *outcome = e.Message;
    }
    return meter.Stop();
}

ThreadFigures PollConnectWait(int seconds, std::string* outcome)
{
    const DeafListener deaf;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_in to = Loopback(deaf.Port());
    const ThreadMeter meter;
    const int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    *outcome = rc == 0 ? "connected" : errno == EINPROGRESS ? "timed out" : "failed";
    pollfd p { fd, POLLOUT, 0 };
    if (rc != 0 && errno == EINPROGRESS && ::poll(&p, 1, seconds * 1000) > 0)
        *outcome = "connected";
    const ThreadFigures figures = meter.Stop();
    ::close(fd);
    return figures;
}

// Milliseconds from a message posted by another thread to the return of the pass it ends.
double WakeLatencyMs()
{
    std::chrono::steady_clock::time_point posted;
    bool arrived = false;
    platform::MessageTarget target([&](unsigned, platform::WPARAM, platform::LPARAM) {
        arrived = true;
        return platform::LRESULT { 0 };
    });
    std::thread poster([&, handle = target.handle()] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        posted = std::chrono::steady_clock::now();
        platform::PostMessage(handle, platform::WM_USER, 0, 0);
    });
    while (!arrived)
        platform::WaitPass();
    const auto returned = std::chrono::steady_clock::now();
    poster.join();
    return std::chrono::duration<double, std::milli>(returned - posted).count();
}

void Row(const char* name, const ThreadFigures& f, const std::string& outcome)
{
    std::printf("  %-34s %8.3f s %9ld %10.1f ms %9.3f %%   %s\n", name, f.wallSeconds, f.wakeUps, f.cpuSeconds * 1e3,
        100.0 * f.cpuSeconds / f.wallSeconds, outcome.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::string componentOutcome;
    std::string pollOutcome;
    const ThreadFigures component = ComponentConnectWait(seconds, &componentOutcome);
    const ThreadFigures reference = PollConnectWait(seconds, &pollOutcome);

    std::printf("a %d-second connect wait on loopback that is never accepted\n", seconds);
    std::printf(
        "  %-34s %10s %9s %13s %11s   %s\n", "waiting in", "wall", "wake-ups", "thread CPU", "of a core", "outcome");
    Row("TPowersock::Connect (wait passes)", component, componentOutcome);
    Row("poll() on the socket (reference)", reference, pollOutcome);
    std::printf(
        "  wake-ups of the wait: %ld (goal: at most 10); reference: %ld\n", component.wakeUps, reference.wakeUps);

    std::vector<double> latencies;
    for (int i = 0; i < 5; ++i)
        latencies.push_back(WakeLatencyMs());
    std::sort(latencies.begin(), latencies.end());
    std::printf("a message posted from another thread ends the pass after %.3f ms (median of 5)\n", latencies[2]);
    return 0;
}
