// A real HTTP proxy for tests: tinyproxy on a free 127.0.0.1 port with a configuration written
// here, allowing tunnels (CONNECT) to the given loopback ports only; stopped when destroyed.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support {

class TinyProxy {
public:
    explicit TinyProxy(std::vector<std::uint16_t> tunnelPorts);
    ~TinyProxy();
    TinyProxy(const TinyProxy&) = delete;
    TinyProxy& operator=(const TinyProxy&) = delete;

    bool running() const { return pid_ > 0; }
    std::uint16_t port() const { return port_; }
    std::string log() const;

private:
    bool Start();
    void Stop();

    std::vector<std::uint16_t> tunnelPorts_;
    std::string dir_;
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
};

} // namespace testing_support
