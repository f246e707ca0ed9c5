#include "net/Psock.h"

#include "net/NMConst.h"
#include "platform/Winsock.h"

#include <algorithm>

namespace net {

TPowersock::TPowersock(QObject* owner) : QObject(owner)
{
    StatusMessage(level::Trace, status::Create);
    timer = new TThreadTimer(this);
    timer->SetEnabled(false);
    timer->SetOnTimer([this](QObject* sender) { TimerTriggered(sender); });
}

TPowersock::~TPowersock()
{
    FDestroying = true;
    StatusMessage(level::Trace, status::Destroy);
    Abort();
    Cancel();
    delete timer;
    timer = nullptr;
}

void TPowersock::Cancel()
{
    StatusMessage(level::Trace, status::Canceling);
    Canceled = true;
}

void TPowersock::StatusMessage(std::uint8_t Level, std::string_view Text)
{
    if (static_cast<std::int32_t>(Level) > ReportLevel)
        return;
    LastStatus = std::string(Text);
    if (!FDestroying && OnStatus)
        OnStatus(this, LastStatus);
}

void TPowersock::ErrorManager(std::uint16_t tolerated, std::string& text)
{
    StatusMessage(level::Errors, status::CheckingError);
    LastError = platform::WSAGetLastError();
    text.clear();
    if (LastError == tolerated)
        return;
    const auto number = static_cast<std::uint16_t>(LastError);
    LookupErrorMessage(number, text);
    if (OnSocketError)
        OnSocketError(this, number, text);
    throw ESockError(text);
}

void TPowersock::LookupErrorMessage(std::uint16_t error, std::string& text)
{
    text.clear();
    StatusMessage(level::Trace, status::LookingUpErrorMessage);
    if (error == 0)
        return;
    const auto table = SocketErrorTable();
    const auto row = std::lower_bound(table.begin(), table.end(), error,
                                      [](const SocketErrorRow& r, std::int32_t n) { return r.number < n; });
    if (row != table.end() && row->number == error)
        text = std::to_string(error) + ":" + std::string(row->text);
    else
        text = "Unknown Error No. " + std::to_string(error);
}

void TPowersock::TimerOn()
{
    StatusMessage(level::Trace, status::TimerOn);
    TimedOut = false;
    // A negative TimeOut means no limit, like 0: the timer's interval cannot be negative.
    timer->SetInterval(TimeOut > 0 ? static_cast<std::uint32_t>(TimeOut) : 0U);
    timer->SetEnabled(true);
}

void TPowersock::TimerOff()
{
    StatusMessage(level::Trace, status::TimerOff);
    timer->SetEnabled(false);
}

void TPowersock::TimerTriggered(QObject*)
{
    StatusMessage(level::Trace, status::TimerTriggered);
    TimerOff();
    TimedOut = true;
    Abort();
}

} // namespace net
