// Helpers of the socket loopback tests: the component's errors as texts, a connected component,
// and bytes that show where they were cut or reordered.
#pragma once

#include "net/Psock.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace loopback {

// The message of what `f` threw: an abort's with "abort: " before it, a socket error's as it
// is; "no exception" when it threw none.
template <typename F> std::string messageOf(F f)
{
    try {
        f();
    } catch (const net::EAbortError& e) {
        return "abort: " + e.Message;
    } catch (const net::ESockError& e) {
        return e.Message;
    }
    return "no exception";
}

inline void connectTo(
    net::TPowersock& s, std::uint16_t port, std::int32_t timeOut = 5000, const std::string& host = "127.0.0.1")
{
    s.Host = host;
    s.Port = port;
    s.TimeOut = timeOut;
    s.Connect();
    ASSERT_TRUE(s.Connected);
}

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
