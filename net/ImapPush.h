// TImapPush: one IMAP connection kept open for an account so that its server can tell of new
// mail at once (IDLE). Setting up waits like a check; from then on nothing waits: lines arrive
// as events, and two timers renew the IDLE and find a connection that has gone silent.
#pragma once

#include "net/ImapCheck.h"
#include "net/ImapIdle.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace net {

struct PushTimings {
    // An IDLE is ended and issued again this often: servers may drop one after 30 minutes.
    std::chrono::milliseconds renew = std::chrono::minutes(9);
    // With no byte from the server for twice the interval of its keepalive lines, the connection
    // counts as dead; a server that sends none is given this long.
    std::chrono::milliseconds silentServer = std::chrono::minutes(10);
};

class TImapPush : public QObject {
public:
    struct Target {
        std::string host;
        std::int32_t port = 0;
        bool implicitTls = true;
        std::string proxy; // empty: no proxy
        std::int32_t proxyPort = 0;
        std::string user;
        std::string password;
        std::string mailbox;
    };
    enum class End {
        Lost, // the connection failed, closed, or went silent: worth making again
        LoginFailed, // the server refused the user name or password
        NoIdle, // the server does not offer IDLE
        Failed, // the mailbox cannot be examined, or the server broke the protocol
    };

    TImapPush(QObject* owner, Target target, PushTimings timings = {});
    ~TImapPush() override;

    // Connects, logs in, examines the mailbox and starts IDLE. Raises nothing: every failure is
    // one call of OnEnded. The session may be freed (with deleteLater) from any handler.
    void Start();
    // Ends the session without a call of OnEnded.
    void Stop();
    // The server confirmed an IDLE and no change has been told since the last one.
    bool Idling() const { return FIdle && FIdle->Idling(); }
    // The interval of the server's keepalive lines, once two of them have been seen apart.
    std::chrono::milliseconds DeadAfter() const;

    // Called with the connection before it connects, so that the caller can cancel its setup.
    std::function<void(TPowersock*)> OnConnecting;
    std::function<void()> OnChanged;
    std::function<void()> OnIdling;
    std::function<void(End end, const std::string& text)> OnEnded;

private:
    void Received(const std::string& line);
    void Apply(const ImapIdle::Step& step);
    void Finish(End end, const std::string& text);

    Target FTarget;
    PushTimings FTimings;
    TImapCheck* FCheck = nullptr;
    std::unique_ptr<ImapConversation> FConversation;
    std::unique_ptr<ImapIdle> FIdle;
    QTimer FRenew;
    QTimer FWatch;
    std::chrono::steady_clock::time_point FLastByte;
    std::chrono::milliseconds FKeepalive { 0 };
    bool FOver = false;
};

} // namespace net
