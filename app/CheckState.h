// What the window's checking code keeps between calls: the run under way and the requests in flight.
#pragma once

#include "app/MailServerCheck.h"
#include "app/frmMain.h"
#include "net/NMHttp.h"

#include <QPointer>
#include <QTimer>

#include <cstddef>
#include <memory>
#include <vector>

namespace app {

class ChecksAhead;
class PushAccounts;

struct TfrmQuorvel::TCheckState {
    explicit TCheckState(TfrmQuorvel& form);

    // Ends every request in flight once the program has been told to end, so that quitting in
    // the middle of a check does not wait for the network.
    void WatchForQuit();

    bool running = false; // a check-all run is under way
    std::vector<QPointer<net::TPowersock>> requests;
    QTimer quitWatch;
    // The time a check ended; the system clock unless a test sets another.
    Clock clock;
    // The accounts whose latest check failed (in the last check-all run, or since in a push
    // run), in list order; none at start-up.
    std::vector<QString> failing;
    // The mail-server checks of the check-all run under way, started ahead of their turns.
    ChecksAhead* ahead = nullptr;
    // How many of them may be under way at a time; 0 checks each in its turn only (a benchmark
    // measures both).
    std::size_t checksAtOnce = 8;
    // The push connections (PushAccounts.h), a child of the window.
    QPointer<PushAccounts> push;
};

// The time from the window's clock.
QDateTime Now(TfrmQuorvel& form);

// The state of this window, made on first use.
TfrmQuorvel::TCheckState& CheckState(TfrmQuorvel& form);

// Keeps a request of the window registered for cancelling at quit while it is in scope.
class RequestRegistration {
public:
    RequestRegistration(TfrmQuorvel& form, net::TPowersock* request);
    ~RequestRegistration();
    RequestRegistration(const RequestRegistration&) = delete;
    RequestRegistration& operator=(const RequestRegistration&) = delete;

private:
    TfrmQuorvel& form_;
    net::TPowersock* request_;
};

// One HTTP request of the window: a client owned by the window, with the body kept in memory and
// the status level of the checker, registered for cancelling at quit; freed at the end of scope.
class WindowRequest {
public:
    explicit WindowRequest(TfrmQuorvel& form);
    ~WindowRequest();
    WindowRequest(const WindowRequest&) = delete;
    WindowRequest& operator=(const WindowRequest&) = delete;

    // The proxy of the window's controls, when "Proxy" is checked; a port that is not a whole
    // number raises the conversion error.
    void ApplyProxy();

    net::TNMHTTP& http() { return *http_; }

private:
    TfrmQuorvel& form_;
    std::unique_ptr<net::TNMHTTP> http_;
    RequestRegistration registration_;
};

} // namespace app
