#include "MailService.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace mailservice {
namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_release = 0;

void OnStopSignal(int)
{
    g_stop = 1;
}
void OnReleaseSignal(int)
{
    g_release = 1;
}

constexpr std::size_t kMaxHead = 64 * 1024;
constexpr auto kDrainTime = std::chrono::seconds(5);
constexpr std::size_t kSlowPiece = 8;
constexpr auto kSlowPause = std::chrono::milliseconds(20);

const char kGarbage[] = "\x01\x02\x03 this is not a web server \x7f\xfe\xff\r\n\r\n<<<garbage>>>\r\n";

void SetNonBlocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// The end of the request head: after the empty line, whether lines end in CR LF or LF.
std::size_t HeadEnd(const std::string& data)
{
    const auto crlf = data.find("\r\n\r\n");
    const auto lf = data.find("\n\n");
    if (crlf == std::string::npos && lf == std::string::npos)
        return std::string::npos;
    if (crlf == std::string::npos)
        return lf + 2;
    if (lf == std::string::npos)
        return crlf + 4;
    return std::min(crlf + 4, lf + 2);
}

} // namespace

struct MailService::Connection {
    enum class State { Reading, Waiting, Stalled, Writing, Draining, Closed };

    int fd = -1;
    State state = State::Reading;
    std::string received;
    std::string out;
    std::size_t sent = 0;
    Fault fault = Fault::None;
    Clock::time_point deadline {}; // Waiting: when to answer; Writing (slow): next piece; Draining: give up
    std::string pendingReply;

    ~Connection()
    {
        if (fd >= 0)
            close(fd);
    }
};

MailService::MailService(Options options, Responder responder)
    : options_(std::move(options))
    , responder_(std::move(responder))
{ }

MailService::~MailService()
{
    connections_.clear();
    if (listener_ >= 0)
        close(listener_);
    if (log_)
        std::fclose(log_);
}

bool MailService::Listen(std::string& error)
{
    in_addr address {};
    if (inet_pton(AF_INET, options_.bindAddress.c_str(), &address) != 1) {
        error = "not an IPv4 address: " + options_.bindAddress;
        return false;
    }
    // Passwords travel in clear here: this service never leaves the loopback network.
    if ((ntohl(address.s_addr) >> 24) != 127) {
        error = "refusing to listen outside 127.0.0.0/8: " + options_.bindAddress;
        return false;
    }
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_addr = address;
    sa.sin_port = htons(static_cast<std::uint16_t>(options_.port));
    if (bind(listener_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        error = "bind " + options_.bindAddress + ":" + std::to_string(options_.port) + ": " + std::strerror(errno);
        return false;
    }
    if (listen(listener_, 128) != 0) {
        error = std::string("listen: ") + std::strerror(errno);
        return false;
    }
    socklen_t length = sizeof sa;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&sa), &length);
    port_ = ntohs(sa.sin_port);
    SetNonBlocking(listener_);

    if (!options_.logPath.empty()) {
        log_ = std::fopen(options_.logPath.c_str(), "a");
        if (!log_) {
            error = "cannot write " + options_.logPath;
            return false;
        }
    }
    return true;
}

void MailService::Log(const std::string& line)
{
    if (!log_)
        return;
    std::fputs(line.c_str(), log_);
    std::fputc('\n', log_);
    std::fflush(log_);
}

void MailService::Accept()
{
    for (;;) {
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        connections_.push_back(std::move(c));
    }
}

void MailService::StartReply(Connection& c, Reply reply)
{
    c.fault = options_.fault != Fault::None ? options_.fault : reply.fault;
    const int delay = std::max(options_.delayMs, reply.delayMs);
    switch (c.fault) {
    case Fault::Reset: {
        const linger hard { 1, 0 };
        setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        close(c.fd);
        c.fd = -1;
        c.state = Connection::State::Closed;
        return;
    }
    case Fault::Close:
        shutdown(c.fd, SHUT_WR);
        c.state = Connection::State::Draining;
        c.deadline = Clock::now() + kDrainTime;
        return;
    case Fault::Garbage:
        c.pendingReply.assign(kGarbage, sizeof kGarbage - 1);
        break;
    default:
        c.pendingReply = std::move(reply.bytes);
        break;
    }
    if (c.fault == Fault::Stall) {
        c.state = Connection::State::Stalled;
    } else {
        c.state = Connection::State::Waiting;
        c.deadline = Clock::now() + std::chrono::milliseconds(delay);
    }
}

void MailService::OnReadable(Connection& c)
{
    char buffer[8192];
    for (;;) {
        const ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            if (c.state == Connection::State::Reading)
                c.received.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            // The client went away (or finished after our reply): nothing more to do for it.
            c.state = Connection::State::Closed;
            return;
        }
        break;
    }
    if (c.state != Connection::State::Reading)
        return;
    const auto end = HeadEnd(c.received);
    if (end == std::string::npos) {
        if (c.received.size() > kMaxHead) {
            Log("OVERSIZE");
            StartReply(c, { HttpReply(431, "Request Header Fields Too Large", "") });
        }
        return;
    }
    const auto request = ParseRequestHead(c.received.substr(0, end));
    if (!request) {
        Log("BAD " + Escape(c.received.substr(0, c.received.find('\n'))));
        StartReply(c, { HttpReply(400, "Bad Request", "<html><body>Bad Request</body></html>\r\n") });
        return;
    }
    Log(Escape(request->line) + (request->cookie.empty() ? "" : "\tCookie: " + Escape(request->cookie)));
    StartReply(c, responder_.Answer(*request));
}

void MailService::OnWritable(Connection& c)
{
    const bool slow = c.fault == Fault::Slow;
    if (slow && Clock::now() < c.deadline)
        return;
    while (c.sent < c.out.size()) {
        const std::size_t want = slow ? std::min(kSlowPiece, c.out.size() - c.sent) : c.out.size() - c.sent;
        const ssize_t n = send(c.fd, c.out.data() + c.sent, want, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                return;
            c.state = Connection::State::Closed;
            return;
        }
        c.sent += static_cast<std::size_t>(n);
        if (slow) {
            c.deadline = Clock::now() + kSlowPause;
            if (c.sent < c.out.size())
                return;
        }
    }
    // HTTP/1.0: the end of the body is the end of the connection.
    shutdown(c.fd, SHUT_WR);
    c.state = Connection::State::Draining;
    c.deadline = Clock::now() + kDrainTime;
}

void MailService::ReleaseStalls()
{
    for (auto& c : connections_) {
        if (c->state == Connection::State::Stalled) {
            c->state = Connection::State::Waiting;
            c->deadline = Clock::now();
            c->fault = Fault::None;
        }
    }
}

void MailService::Run()
{
    struct sigaction stop { };
    stop.sa_handler = OnStopSignal;
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    struct sigaction release { };
    release.sa_handler = OnReleaseSignal;
    sigaction(SIGUSR1, &release, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Signals arrive only inside ppoll, so a signal is never lost between a test and a wait.
    sigset_t blocked, waiting;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGUSR1);
    sigprocmask(SIG_BLOCK, &blocked, &waiting);
    sigdelset(&waiting, SIGTERM);
    sigdelset(&waiting, SIGINT);
    sigdelset(&waiting, SIGUSR1);

    std::vector<pollfd> fds;
    while (!g_stop) {
        if (g_release) {
            g_release = 0;
            ReleaseStalls();
        }
        const auto now = Clock::now();
        auto next = now + std::chrono::hours(1);
        for (auto& c : connections_) {
            if (c->state == Connection::State::Waiting && c->deadline <= now) {
                c->out = std::move(c->pendingReply);
                c->sent = 0;
                c->state = Connection::State::Writing;
                c->deadline = now;
            }
            if (c->state == Connection::State::Draining && c->deadline <= now)
                c->state = Connection::State::Closed;
        }
        std::erase_if(connections_, [](const auto& c) { return c->state == Connection::State::Closed; });

        fds.clear();
        fds.push_back({ listener_, POLLIN, 0 });
        for (auto& c : connections_) {
            short events = POLLIN;
            if (c->state == Connection::State::Writing) {
                if (c->fault == Fault::Slow && c->deadline > now)
                    next = std::min(next, c->deadline);
                else
                    events |= POLLOUT;
            }
            if (c->state == Connection::State::Waiting || c->state == Connection::State::Draining)
                next = std::min(next, c->deadline);
            fds.push_back({ c->fd, events, 0 });
        }
        const auto wait
            = std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(next - now, Clock::duration {}));
        timespec timeout { static_cast<time_t>(wait.count() / 1000000000),
            static_cast<long>(wait.count() % 1000000000) };
        const int ready = ppoll(fds.data(), fds.size(), &timeout, &waiting);
        if (ready < 0)
            continue; // a signal: look at the flags first
        if (fds[0].revents & POLLIN)
            Accept();
        for (std::size_t i = 1; i < fds.size(); ++i) {
            Connection& c = *connections_[i - 1];
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
                OnReadable(c);
            if (c.state == Connection::State::Writing && (fds[i].revents & POLLOUT))
                OnWritable(c);
        }
    }
}

} // namespace mailservice
