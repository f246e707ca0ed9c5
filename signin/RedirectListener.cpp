// One request with the right state ends a sign-in; everything else is turned away with a 400.
#include "signin/RedirectListener.h"

#include "net/Psock.h"
#include "platform/core/MessageLoop.h"

#include <algorithm>

namespace signin {
namespace {

constexpr unsigned kSocketMessage = platform::WM_USER + 201;

} // namespace

RedirectListener::RedirectListener(std::string expectedState, std::string mailbox)
    : state_(std::move(expectedState))
    , address_(std::move(mailbox))
{
    if (platform::WSAStartup(0x0101, &wsa_) != 0)
        throw net::ESockError("Initializaton of windows sockets failed");
    target_ = std::make_unique<platform::MessageTarget>(
        [this](unsigned msg, platform::WPARAM w, platform::LPARAM l) { return Handle(msg, w, l); });
    listener_ = platform::socket(platform::WS_AF_INET, platform::WS_SOCK_STREAM, platform::WS_IPPROTO_TCP);
    platform::SOCKADDR_IN address;
    address.sin_family = platform::WS_AF_INET;
    address.sin_addr = platform::inet_addr("127.0.0.1");
    int length = sizeof address;
    if (listener_ == platform::INVALID_SOCKET
        || platform::bind(listener_, &address, sizeof address) == platform::SOCKET_ERROR
        || platform::listen(listener_, 8) == platform::SOCKET_ERROR
        || platform::getsockname(listener_, &address, &length) == platform::SOCKET_ERROR
        || platform::WSAAsyncSelect(listener_, target_->handle(), kSocketMessage, platform::FD_ACCEPT)
            == platform::SOCKET_ERROR) {
        const int error = platform::WSAGetLastError();
        if (listener_ != platform::INVALID_SOCKET)
            platform::closesocket(listener_);
        platform::WSACleanup();
        throw net::ESockError("Sign-in cannot listen for the browser (error " + std::to_string(error) + ")");
    }
    port_ = platform::ntohs(address.sin_port);
}

RedirectListener::~RedirectListener()
{
    for (const Connection& c : connections_)
        platform::closesocket(c.socket);
    if (pending_ != platform::INVALID_SOCKET)
        platform::closesocket(pending_);
    platform::closesocket(listener_);
    target_.reset();
    platform::WSACleanup();
}

platform::LRESULT RedirectListener::Handle(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam)
{
    if (msg != kSocketMessage || done_)
        return 0;
    const auto s = static_cast<platform::SOCKET>(wParam);
    switch (platform::LOWORD(lParam)) {
    case platform::FD_ACCEPT:
        if (s == listener_)
            AcceptOne();
        break;
    case platform::FD_READ:
        ReadFrom(s);
        break;
    case platform::FD_CLOSE:
        ReadFrom(s);
        Drop(s);
        break;
    default:
        break;
    }
    return 0;
}

void RedirectListener::AcceptOne()
{
    platform::SOCKADDR_IN peer;
    int length = sizeof peer;
    const platform::SOCKET s = platform::accept(listener_, &peer, &length);
    if (s == platform::INVALID_SOCKET)
        return;
    // Only this machine may answer, and never more than a handful at once: the oldest goes.
    if (peer.sin_addr != platform::inet_addr("127.0.0.1")
        || platform::WSAAsyncSelect(s, target_->handle(), kSocketMessage, platform::FD_READ | platform::FD_CLOSE)
            == platform::SOCKET_ERROR) {
        platform::closesocket(s);
        return;
    }
    if (connections_.size() >= kMaxConnections)
        Drop(connections_.front().socket);
    connections_.push_back({ s, {} });
}

void RedirectListener::ReadFrom(platform::SOCKET s)
{
    const auto it
        = std::find_if(connections_.begin(), connections_.end(), [&](const Connection& c) { return c.socket == s; });
    if (it == connections_.end())
        return;
    char buffer[4096];
    const int n = platform::recv(s, buffer, sizeof buffer, 0);
    if (n <= 0)
        return;
    it->bytes.append(buffer, static_cast<std::size_t>(n));
    const RedirectOutcome outcome = ReadRedirectRequest(it->bytes, state_);
    if (outcome.kind == RedirectOutcome::Kind::Incomplete)
        return;
    if (outcome.kind == RedirectOutcome::Kind::Code) {
        // The page waits for the code exchange, so that it can tell how the sign-in ended.
        platform::WSAAsyncSelect(s, target_->handle(), 0, 0);
        pending_ = s;
        connections_.erase(it);
    } else {
        Answer(it->socket, outcome);
        Drop(s);
    }
    if (outcome.kind != RedirectOutcome::Kind::Foreign) {
        done_ = true;
        outcome_ = outcome;
    }
}

void RedirectListener::Complete(const RedirectOutcome& final)
{
    if (pending_ == platform::INVALID_SOCKET)
        return;
    Answer(pending_, final);
    platform::closesocket(pending_);
    pending_ = platform::INVALID_SOCKET;
}

void RedirectListener::Answer(platform::SOCKET s, const RedirectOutcome& outcome)
{
    // The page is small: one send takes it, and a browser that does not read it loses only the page.
    const std::string reply = RedirectReply(outcome, address_);
    platform::send(s, reply.data(), static_cast<int>(reply.size()), 0);
}

void RedirectListener::Drop(platform::SOCKET s)
{
    const auto it
        = std::find_if(connections_.begin(), connections_.end(), [&](const Connection& c) { return c.socket == s; });
    if (it == connections_.end())
        return;
    platform::WSAAsyncSelect(s, target_->handle(), 0, 0);
    platform::closesocket(s);
    connections_.erase(it);
}

RedirectOutcome RedirectListener::Wait(std::chrono::milliseconds wait, const std::function<bool()>& cancelled)
{
    const auto end = std::chrono::steady_clock::now() + wait;
    while (!done_ && !(cancelled && cancelled())) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            break;
        platform::WaitPassFor(std::chrono::ceil<std::chrono::milliseconds>(end - now));
    }
    return done_ ? outcome_ : RedirectOutcome {};
}

} // namespace signin
