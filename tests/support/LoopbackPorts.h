// Ports on 127.0.0.1 for the servers that test fixtures start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_support {

// A port that was free a moment ago.
std::uint16_t FreeLoopbackPort();
// Distinct ports that were free a moment ago: each is held until all are found, as two
// one-at-a-time picks may be given the same port.
std::vector<std::uint16_t> FreeLoopbackPorts(std::size_t count);
// True when something accepts connections on the port.
bool Accepts(std::uint16_t port);

} // namespace testing_support
