// A scripted peer on 127.0.0.1: a listener bound to port 0 and a thread that plays one connection.
#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace loopback {

// Every blocking step gives up after this long, so a broken test fails instead of hanging.
constexpr int kPeerPatienceMs = 10000;

inline int listenOn(std::uint16_t& port, int backlog, int receiveBuffer = 0)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket");
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0) {
        ::close(fd);
        throw std::runtime_error("bind/listen");
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

inline bool waitFor(int fd, short events, int ms = kPeerPatienceMs)
{
    pollfd p { fd, events, 0 };
    int rc;
    do {
        rc = ::poll(&p, 1, ms);
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

// The peer's side of one accepted connection; used on the peer thread only.
class PeerConnection {
public:
    explicit PeerConnection(int fd)
        : fd_(fd)
    { }
    ~PeerConnection() { close(); }
    PeerConnection(const PeerConnection&) = delete;
    PeerConnection& operator=(const PeerConnection&) = delete;

    int fd() const { return fd_; }

    void send(const std::string& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            if (!waitFor(fd_, POLLOUT))
                throw std::runtime_error("peer send stalled");
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0)
                throw std::runtime_error("peer send failed");
            done += static_cast<std::size_t>(n);
        }
    }

    // Reads until `count` bytes arrived, the other side closed, or patience ran out.
    std::string read(std::size_t count)
    {
        std::string out;
        char buf[65536];
        while (out.size() < count) {
            if (!waitFor(fd_, POLLIN))
                break;
            const ssize_t n = ::recv(fd_, buf, std::min(sizeof buf, count - out.size()), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }

    // Reads `count` bytes in small pieces with a pause after each, like a slow reader.
    std::string readSlowly(std::size_t count, std::size_t piece, int pauseMs)
    {
        std::string out;
        while (out.size() < count) {
            const std::string got = read(std::min(piece, count - out.size()));
            if (got.empty())
                break;
            out += got;
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
        return out;
    }

    std::string readLine()
    {
        std::string out;
        while (out.empty() || out.back() != '\n') {
            const std::string c = read(1);
            if (c.empty())
                break;
            out += c;
        }
        return out;
    }

    std::string readUntilClose(int chunkDelayMs = 0, std::size_t chunk = 65536)
    {
        std::string out;
        std::string buf(chunk, '\0');
        for (;;) {
            if (!waitFor(fd_, POLLIN))
                break;
            const ssize_t n = ::recv(fd_, buf.data(), buf.size(), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            out.append(buf.data(), static_cast<std::size_t>(n));
            if (chunkDelayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(chunkDelayMs));
        }
        return out;
    }

    // Waits until the other side has closed (or reset) the connection.
    void waitForClose()
    {
        char buf[4096];
        for (;;) {
            if (!waitFor(fd_, POLLIN))
                return;
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0 && !(n < 0 && errno == EINTR))
                return;
        }
    }

    void close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    // Closes with a reset instead of an orderly end.
    void reset()
    {
        linger l { 1, 0 };
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        close();
    }

private:
    int fd_;
};

// Listens on 127.0.0.1 and plays `script` on the first connection it accepts, on its own thread.
class ScriptedPeer {
public:
    using Script = std::function<void(PeerConnection&)>;

    explicit ScriptedPeer(Script script, int receiveBuffer = 0)
        : script_(std::move(script))
    {
        listener_ = listenOn(port_, 8, receiveBuffer);
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedPeer()
    {
        if (thread_.joinable()) {
            ::shutdown(listener_, SHUT_RDWR);
            thread_.join();
        }
        ::close(listener_);
    }
    // Waits until the script has played out on a connection made to it; its results may be
    // read afterwards.
    void finish()
    {
        if (thread_.joinable())
            thread_.join();
    }
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    std::uint16_t port() const { return port_; }
    // Set by the script's thread; read after the peer was destroyed or joined.
    std::string failure;

private:
    void run()
    {
        if (!waitFor(listener_, POLLIN))
            return;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        PeerConnection c(fd);
        try {
            script_(c);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    }

    Script script_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

// A port on 127.0.0.1 where nobody listens: bound, then closed.
inline std::uint16_t refusingPort()
{
    std::uint16_t port = 0;
    const int fd = listenOn(port, 1);
    ::close(fd);
    return port;
}

// A listener on 127.0.0.1 whose backlog is already full: a connect to it stays pending.
class FullBacklog {
public:
    FullBacklog()
    {
        listener_ = listenOn(port_, 0);
        filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_port = htons(port_);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(filler_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~FullBacklog()
    {
        ::close(filler_);
        ::close(listener_);
    }
    FullBacklog(const FullBacklog&) = delete;
    FullBacklog& operator=(const FullBacklog&) = delete;

    std::uint16_t port() const { return port_; }

private:
    std::uint16_t port_ = 0;
    int listener_ = -1;
    int filler_ = -1;
};

inline std::string pattern(std::size_t size, unsigned seed = 1)
{
    std::string s(size, '\0');
    std::uint32_t x = seed * 2654435761U + 12345U;
    for (auto& c : s) {
        x = x * 1664525U + 1013904223U;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

} // namespace loopback
