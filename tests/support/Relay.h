// A TCP relay on 127.0.0.1 in front of a loopback server, which a test can silence: the
// connections stay open but no byte passes either way any more, as when a network path dies
// without a reset. It can also hold every byte for a while each way, as a long network path
// does, where the kernel cannot delay packets itself.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace testing_support {

class Relay {
public:
    // `oneWay`: how long each byte is held in each direction; a new connection passes its first
    // byte after a round trip (twice that).
    explicit Relay(std::uint16_t target, std::chrono::milliseconds oneWay = std::chrono::milliseconds(0));
    ~Relay();
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    std::uint16_t port() const { return port_; }
    // From now on nothing passes on the connections made so far; later ones pass as before.
    void Silence() { silence_ = true; }
    // Connections accepted so far.
    int connections() const { return connections_; }

private:
    void Run();

    std::uint16_t target_;
    std::chrono::milliseconds oneWay_;
    std::uint16_t port_ = 0;
    int listener_ = -1;
    int wake_[2] = { -1, -1 };
    std::atomic<bool> silence_ { false };
    std::atomic<int> connections_ { 0 };
    std::thread thread_;
};

} // namespace testing_support
