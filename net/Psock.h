// TPowersock: one TCP connection driven by socket notifications on the user-interface thread.
#pragma once

#include "net/SockErrors.h"
#include "net/ThreadTimer.h"
#include "platform/Events.h"
#include "platform/MessageTarget.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace net {

using TOnStatus = std::function<void(QObject* Sender, const std::string& Status)>;
using TOnSocketError = std::function<void(QObject* Sender, std::uint16_t Error, const std::string& Text)>;

class TPowersock : public QObject {
public:
    explicit TPowersock(QObject* owner);
    ~TPowersock() override;

    // Run when the time-out expires and when destruction starts; a subclass ends its own waits here.
    virtual void Abort() {}
    // Sets Canceled; every wait loop ends at its next test.
    void Cancel();

    // The status filter: texts whose level is at most ReportLevel reach LastStatus and OnStatus.
    void StatusMessage(std::uint8_t Level, std::string_view Text);
    // Checks the library's last error: returns quietly when it is `tolerated`, else fires
    // OnSocketError and raises ESockError with the error's text.
    void ErrorManager(std::uint16_t tolerated, std::string& text);
    void LookupErrorMessage(std::uint16_t error, std::string& text);

    void TimerOn();
    void TimerOff();
    void TimerTriggered(QObject* Sender);

    bool Destroying() const { return FDestroying; }

    TOnSocketError OnSocketError;
    TOnStatus OnStatus;

    bool Canceled = false;
    std::int32_t LastError = 0;
    std::int32_t TimeOut = 0;
    std::int32_t ReportLevel = 0;
    std::string LastStatus;
    bool TimedOut = false;

protected:
    TThreadTimer* timer = nullptr;
    bool FDestroying = false;
};

} // namespace net
