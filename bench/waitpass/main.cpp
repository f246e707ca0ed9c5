// CPU cost of a wait loop while nothing arrives: the wait pass next to a plain 2 ms sleep loop
// (the reference, which also never spins) and a busy loop (what the pass must not become).
#include "platform/MessageLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <sys/resource.h>

#include <cstdio>
#include <functional>
#include <thread>

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The scheduler's own count of this thread's time on a CPU, in nanoseconds: exact, where
// getrusage may be sampled at the clock tick.
double ScheduledSeconds()
{
    std::FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
    if (!f)
        return 0;
    unsigned long long ns = 0;
    if (std::fscanf(f, "%llu", &ns) != 1)
        ns = 0;
    std::fclose(f);
    return static_cast<double>(ns) / 1e9;
}

struct Figures {
    double cpu;
    double scheduled;
    long passes;
};

Figures Measure(int seconds, const std::function<void()>& pass)
{
    QElapsedTimer clock;
    const double before = CpuSeconds();
    const double scheduledBefore = ScheduledSeconds();
    long passes = 0;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL) {
        pass();
        ++passes;
    }
    return {CpuSeconds() - before, ScheduledSeconds() - scheduledBefore, passes};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;

    const Figures wait = Measure(seconds, [] { platform::WaitPass(); });
    const Figures sleep = Measure(seconds, [] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        QCoreApplication::processEvents();
    });

    std::printf("wait loop of %d s with nothing arriving\n", seconds);
    std::printf("  %-28s %8s %10s %12s %14s\n", "loop", "passes", "rusage s", "% of a core", "schedstat %");
    auto row = [&](const char* name, const Figures& f) {
        std::printf("  %-28s %8ld %10.3f %11.2f%% %13.2f%%\n", name, f.passes, f.cpu, 100.0 * f.cpu / seconds,
                    100.0 * f.scheduled / seconds);
    };
    row("WaitPass", wait);
    row("sleep 2 ms + processEvents", sleep);
    std::printf("  ratio WaitPass / reference (schedstat): %.2f\n",
                sleep.scheduled > 0 ? wait.scheduled / sleep.scheduled : 0.0);
    return 0;
}
