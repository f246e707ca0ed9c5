// Helpers of the TLS loopback tests: the component's errors as texts, and a connected component.
#pragma once

#include "net/Psock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace secure {

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

inline void connect(net::TPowersock& s, std::uint16_t port, const std::string& host = "127.0.0.1")
{
    s.Host = host;
    s.Port = port;
    s.TimeOut = 10000;
    s.Connect();
    ASSERT_TRUE(s.Connected);
}

} // namespace secure
