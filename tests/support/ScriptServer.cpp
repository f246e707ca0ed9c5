#include "tests/support/ScriptServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {
namespace {

constexpr int SliceMs = 10;

enum class ReadResult { Data, Nothing, Closed };

} // namespace

ScriptServer::Step ScriptServer::Send(std::string bytes)
{
    return { Step::Kind::Send, std::move(bytes), 0, 0 };
}

ScriptServer::Step ScriptServer::SendFragments(std::string bytes, std::size_t fragment, int pauseMs)
{
    return { Step::Kind::Send, std::move(bytes), fragment, pauseMs };
}

ScriptServer::Step ScriptServer::ReceiveUntil(std::string text)
{
    return { Step::Kind::Receive, std::move(text), 0, 0 };
}

ScriptServer::Step ScriptServer::ReceiveBytes(std::size_t count)
{
    return { Step::Kind::Receive, {}, count, 0 };
}

ScriptServer::Step ScriptServer::Pause(int ms)
{
    return { Step::Kind::Pause, {}, 0, ms };
}

ScriptServer::Step ScriptServer::Sleep(int ms)
{
    return { Step::Kind::Sleep, {}, 0, ms };
}

ScriptServer::Step ScriptServer::Stall()
{
    return { Step::Kind::Stall, {}, 0, 0 };
}

ScriptServer::Step ScriptServer::Close()
{
    return { Step::Kind::Close, {}, 0, 0 };
}

ScriptServer::Step ScriptServer::Reset()
{
    return { Step::Kind::Reset, {}, 0, 0 };
}

ScriptServer::ScriptServer()
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        throw std::runtime_error("ScriptServer: socket failed");
    const int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listenFd_, 64) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("ScriptServer: bind or listen failed");
    }
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

ScriptServer::~ScriptServer()
{
    stopping_ = true;
    if (acceptor_.joinable())
        acceptor_.join();
    for (auto& c : connections_)
        if (c->worker.joinable())
            c->worker.join();
    for (auto& c : connections_)
        if (c->fd >= 0)
            ::close(c->fd);
    ::close(listenFd_);
}

std::string ScriptServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void ScriptServer::AddConnection(Script script)
{
    std::lock_guard lock(mutex_);
    scripts_.push_back(std::move(script));
}

std::size_t ScriptServer::ConnectionCount() const
{
    std::lock_guard lock(mutex_);
    return connections_.size();
}

std::string ScriptServer::Received(std::size_t index) const
{
    std::lock_guard lock(mutex_);
    return index < connections_.size() ? connections_[index]->received : std::string();
}

bool ScriptServer::Finished(std::size_t index) const
{
    std::lock_guard lock(mutex_);
    return index < connections_.size() && connections_[index]->finished;
}

bool ScriptServer::WaitForClosed(std::size_t index, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return index < connections_.size() && connections_[index]->finished; });
}

void ScriptServer::AcceptLoop()
{
    while (!stopping_) {
        pollfd p { listenFd_, POLLIN, 0 };
        if (::poll(&p, 1, SliceMs) <= 0)
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(mutex_);
        Script script;
        if (!scripts_.empty()) {
            script = std::move(scripts_.front());
            scripts_.pop_front();
        }
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        const std::size_t index = connections_.size();
        connections_.push_back(std::move(connection));
        connections_.back()->worker
            = std::thread([this, index, s = std::move(script)]() mutable { Play(index, std::move(s)); });
        changed_.notify_all();
    }
}

bool ScriptServer::ReadSome(Connection& c, int timeoutMs)
{
    // True while the connection is open; received bytes are recorded as they come.
    pollfd p { c.fd, POLLIN, 0 };
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready <= 0)
        return true;
    char buffer[65536];
    const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
    if (n > 0) {
        std::lock_guard lock(mutex_);
        c.received.append(buffer, static_cast<std::size_t>(n));
        changed_.notify_all();
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    return false;
}

bool ScriptServer::SendAll(Connection& c, const char* data, std::size_t size)
{
    std::size_t sent = 0;
    while (sent < size) {
        if (stopping_)
            return false;
        pollfd p { c.fd, POLLOUT, 0 };
        if (::poll(&p, 1, SliceMs) <= 0)
            continue;
        const ssize_t n = ::send(c.fd, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
            sent += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
    }
    return true;
}

void ScriptServer::Play(std::size_t index, Script script)
{
    Connection* c = nullptr;
    {
        std::lock_guard lock(mutex_);
        c = connections_[index].get();
    }
    auto finish = [&] {
        std::lock_guard lock(mutex_);
        c->finished = true;
        changed_.notify_all();
    };
    auto gracefulClose = [&] {
        ::shutdown(c->fd, SHUT_WR);
        // Keep reading so that nothing the client still sends turns the close into a reset.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!stopping_ && std::chrono::steady_clock::now() < until && ReadSome(*c, SliceMs)) { }
        finish();
    };

    for (const Step& step : script) {
        if (stopping_)
            break;
        switch (step.kind) {
        case Step::Kind::Send: {
            const std::size_t fragment = step.count == 0 ? step.data.size() : step.count;
            bool ok = true;
            for (std::size_t at = 0; ok && at < step.data.size(); at += fragment) {
                if (at > 0 && step.milliseconds > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(step.milliseconds));
                ok = SendAll(*c, step.data.data() + at, std::min(fragment, step.data.size() - at));
            }
            if (!ok) {
                finish();
                return;
            }
            break;
        }
        case Step::Kind::Receive: {
            auto satisfied = [&] {
                std::lock_guard lock(mutex_);
                return step.data.empty() ? c->received.size() >= step.count
                                         : c->received.find(step.data) != std::string::npos;
            };
            while (!satisfied()) {
                if (stopping_ || !ReadSome(*c, SliceMs)) {
                    finish();
                    return;
                }
            }
            break;
        }
        case Step::Kind::Pause: {
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(step.milliseconds);
            bool open = true;
            while (open && !stopping_ && std::chrono::steady_clock::now() < until)
                open = ReadSome(*c, SliceMs);
            break;
        }
        case Step::Kind::Sleep: {
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(step.milliseconds);
            while (!stopping_ && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(SliceMs));
            break;
        }
        case Step::Kind::Stall:
            while (!stopping_ && ReadSome(*c, SliceMs)) { }
            finish();
            return;
        case Step::Kind::Close:
            gracefulClose();
            return;
        case Step::Kind::Reset: {
            const linger hard { 1, 0 };
            ::setsockopt(c->fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            {
                std::lock_guard lock(mutex_);
                ::close(c->fd);
                c->fd = -1;
            }
            finish();
            return;
        }
        }
    }
    gracefulClose();
}

} // namespace testing_support
