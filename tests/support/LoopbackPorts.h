// Ports on 127.0.0.1 for the servers that test fixtures start.
#pragma once

#include <cstdint>

namespace testing_support {

// A port that was free a moment ago.
std::uint16_t FreeLoopbackPort();
// True when something accepts connections on the port.
bool Accepts(std::uint16_t port);

} // namespace testing_support
