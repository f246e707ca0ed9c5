// The relay's one thread: accept, connect onwards, copy bytes both ways until silenced.
#include "tests/support/Relay.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {
namespace {

int ConnectTo(std::uint16_t port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return s;
    if (s >= 0)
        ::close(s);
    return -1;
}

} // namespace

Relay::Relay(std::uint16_t target, std::chrono::milliseconds oneWay)
    : target_(target)
    , oneWay_(oneWay)
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0
        || ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size) != 0
        || ::pipe2(wake_, O_CLOEXEC) != 0)
        throw std::runtime_error("Relay: cannot listen");
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
}

Relay::~Relay()
{
    const char stop = 0;
    [[maybe_unused]] const auto n = ::write(wake_[1], &stop, 1);
    thread_.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void Relay::Run()
{
    using Clock = std::chrono::steady_clock;
    struct Chunk {
        Clock::time_point due;
        int to;
        std::string bytes;
    };
    // Client side, server side, whether the pair was silenced, and what is held for sending.
    struct Pair {
        int first;
        int second;
        Clock::time_point opensAt;
        bool silent = false;
        bool ending = false; // one side closed: the pair ends once what is held has gone
        std::deque<Chunk> held;
    };
    std::vector<Pair> pairs;
    const auto closePair = [](Pair& p) {
        ::close(p.first);
        ::close(p.second);
        p.first = p.second = -1;
    };
    for (;;) {
        if (silence_.exchange(false))
            for (auto& p : pairs)
                p.silent = true;
        // What is due goes on; a pair whose side closed ends after it.
        const auto now = Clock::now();
        auto wait = std::chrono::milliseconds(100);
        for (auto& p : pairs) {
            while (p.first >= 0 && !p.silent && !p.held.empty() && p.held.front().due <= now) {
                const Chunk& c = p.held.front();
                if (::send(c.to, c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(c.bytes.size()))
                    closePair(p);
                else
                    p.held.pop_front();
            }
            if (p.first >= 0 && p.ending && p.held.empty())
                closePair(p);
            if (p.first >= 0 && !p.held.empty())
                wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(p.held.front().due - now));
            if (p.first >= 0 && p.opensAt > now)
                wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(p.opensAt - now));
        }
        std::erase_if(pairs, [](const Pair& p) { return p.first < 0; });
        // Silent pairs are polled for nothing (their bytes stay where they are) but keep their
        // places, so that the index of a descriptor gives its pair.
        std::vector<pollfd> fds { { wake_[0], POLLIN, 0 }, { listener_, POLLIN, 0 } };
        for (const auto& p : pairs) {
            const short events = p.silent || p.ending || p.opensAt > now ? 0 : POLLIN;
            fds.push_back({ p.first, events, 0 });
            fds.push_back({ p.second, events, 0 });
        }
        if (::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(wait.count(), 0))) < 0)
            continue;
        if (fds[0].revents)
            break;
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                ++connections_;
                const int server = ConnectTo(target_);
                if (server < 0)
                    ::close(client);
                else
                    pairs.push_back({ client, server, Clock::now() + 2 * oneWay_, false, false, {} });
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            auto& pair = pairs[(i - 2) / 2];
            if (pair.first < 0 || pair.ending)
                continue;
            // A silenced path still ends when one side gives up on it.
            if (pair.silent) {
                if (fds[i].revents & (POLLHUP | POLLERR))
                    closePair(pair);
                continue;
            }
            const int from = fds[i].fd;
            const int to = from == pair.first ? pair.second : pair.first;
            char buffer[16384];
            const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
            if (n <= 0)
                pair.ending = true;
            else
                pair.held.push_back({ Clock::now() + oneWay_, to, std::string(buffer, static_cast<std::size_t>(n)) });
        }
    }
    for (auto& p : pairs)
        if (p.first >= 0)
            closePair(p);
}

} // namespace testing_support
