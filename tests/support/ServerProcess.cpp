#include "tests/support/ServerProcess.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testing_support {

pid_t SpawnServer(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    // The server goes when the test program goes, even when it crashes.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(127);
    // A process group of its own: the server's helper processes go with it when it stops.
    ::setpgid(0, 0);
    // Whatever signals the caller blocks, the server must still hear its stop.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

bool AwaitServer(pid_t& pid, const std::function<bool()>& ready, std::chrono::seconds limit)
{
    if (pid <= 0)
        return false;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (ready())
            return true;
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    StopServer(pid, std::chrono::seconds(3));
    return false;
}

void StopServer(pid_t& pid, std::chrono::seconds grace)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    const auto until = std::chrono::steady_clock::now() + grace;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Helpers that outlived the server (a mail server's session processes, say) would keep its
    // clients' connections open as if it still ran.
    ::kill(-pid, SIGKILL);
    pid = -1;
}

} // namespace testing_support
