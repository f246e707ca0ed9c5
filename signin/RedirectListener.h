// The loopback listener that takes the browser's redirection at the end of a sign-in.
#pragma once

#include "platform/core/MessageTarget.h"
#include "platform/core/Winsock.h"
#include "signin/Authorization.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace signin {

// Listens on 127.0.0.1 at a free port, never on another address. Of the requests that come,
// only the one with the expected state ends the wait; others get 400 and change nothing.
class RedirectListener {
public:
    // Raises net::ESockError when no port can be had.
    RedirectListener(std::string expectedState, std::string mailbox);
    ~RedirectListener();
    RedirectListener(const RedirectListener&) = delete;
    RedirectListener& operator=(const RedirectListener&) = delete;

    std::uint16_t port() const { return port_; }
    std::string redirectUri() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

    // Waits, keeping the user interface live, until the redirection came, `wait` passed (the
    // outcome is then Incomplete) or `cancelled` says so.
    RedirectOutcome Wait(std::chrono::milliseconds wait, const std::function<bool()>& cancelled = {});

    // After a Code: answers the browser, which waited meanwhile, with the closing page of the
    // final outcome (Code once the tokens are kept, else Failed with what went wrong).
    void Complete(const RedirectOutcome& final);

    // Connections a browser may hold open at once (it often opens one ahead).
    static constexpr std::size_t kMaxConnections = 8;

private:
    struct Connection {
        platform::SOCKET socket;
        std::string bytes;
    };
    platform::LRESULT Handle(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam);
    void AcceptOne();
    void ReadFrom(platform::SOCKET s);
    void Answer(platform::SOCKET s, const RedirectOutcome& outcome);
    void Drop(platform::SOCKET s);

    std::string state_;
    std::string address_;
    platform::WSADATA wsa_;
    platform::SOCKET listener_ = platform::INVALID_SOCKET;
    std::uint16_t port_ = 0;
    std::unique_ptr<platform::MessageTarget> target_;
    std::vector<Connection> connections_;
    // The browser's connection that brought the code, held open until Complete.
    platform::SOCKET pending_ = platform::INVALID_SOCKET;
    bool done_ = false;
    RedirectOutcome outcome_;
};

} // namespace signin
