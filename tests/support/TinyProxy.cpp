#include "tests/support/TinyProxy.h"

#include "tests/support/LoopbackPorts.h"

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testing_support {

TinyProxy::TinyProxy(std::vector<std::uint16_t> tunnelPorts)
    : tunnelPorts_(std::move(tunnelPorts))
{
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-proxy-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("TinyProxy: mkdtemp failed");
    dir_ = pattern;
    for (int attempt = 0; attempt < 5 && !running(); ++attempt)
        Start();
}

TinyProxy::~TinyProxy()
{
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string TinyProxy::log() const
{
    std::ifstream in(dir_ + "/tinyproxy.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool TinyProxy::Start()
{
    port_ = FreeLoopbackPort();
    const std::string config = dir_ + "/tinyproxy.conf";
    {
        std::ofstream out(config, std::ios::trunc);
        out << "Port " << port_ << "\n"
            << "Listen 127.0.0.1\n"
            << "Timeout 30\n"
            << "MaxClients 16\n"
            << "LogFile \"" << dir_ << "/tinyproxy.log\"\n"
            << "LogLevel Info\n"
            << "PidFile \"" << dir_ << "/tinyproxy.pid\"\n"
            << "Allow 127.0.0.1\n"
            << "DisableViaHeader Yes\n";
        // Without a ConnectPort line every port would be allowed: port 0 allows none.
        if (tunnelPorts_.empty())
            out << "ConnectPort 0\n";
        for (const std::uint16_t p : tunnelPorts_)
            out << "ConnectPort " << p << "\n";
        if (!out)
            throw std::runtime_error("TinyProxy: cannot write " + config);
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        // The proxy goes when the test program goes, even when it crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::execlp("tinyproxy", "tinyproxy", "-d", "-c", config.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    pid_ = pid;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
        if (Accepts(port_))
            return true;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Stop();
    return false;
}

void TinyProxy::Stop()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
}

} // namespace testing_support
