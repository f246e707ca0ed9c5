// The event-driven form of a mail connection: complete lines and the end of the connection come as
// calls from the event loop, and a command line is queued without waiting for the socket.
#include "net/LineEnd.h"
#include "net/MailCheck.h"

#include <QMetaObject>
#include <QPointer>

namespace net {

void TMailCheck::Listen(LineHandler line, ClosedHandler closed)
{
    FOnLine = std::move(line);
    FOnClosed = std::move(closed);
    OnDataReceived = [this](QObject*) { DeliverLines(); };
    OnDisconnect = [this](QObject*) { DeliverLines(); };
    // What came with the conversation's last reply, or since, is handed over from the loop: the
    // caller is still setting up.
    if (!FDeliveryPosted) {
        FDeliveryPosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                FDeliveryPosted = false;
                DeliverLines();
            },
            Qt::QueuedConnection);
    }
}

void TMailCheck::StopListening()
{
    FOnLine = nullptr;
    FOnClosed = nullptr;
    OnDataReceived = nullptr;
    OnDisconnect = nullptr;
}

void TMailCheck::PostLine(std::string_view line)
{
    if (!Connected)
        return; // the end of the connection has been (or is being) delivered
    SendQueue->Append(std::string(line) + "\r\n");
    SendDone = false;
    platform::PostMessage(Handle(), WM_SEND_MORE, Socket(), reinterpret_cast<platform::LPARAM>(this));
}

void TMailCheck::DeliverLines()
{
    // A handler that sends runs no loop, but the socket's own handlers may call here again.
    if (FDelivering || !FOnLine)
        return;
    FDelivering = true;
    const QPointer<TMailCheck> self(this);
    TakeReceived();
    while (const auto end = FindLine(FInput)) {
        const std::string line = FInput.substr(0, end->text);
        FInput.erase(0, end->whole);
        const LineHandler handler = FOnLine;
        handler(line);
        if (!self)
            return; // the handler ended the session and freed the connection
        if (!FOnLine) {
            FDelivering = false;
            return;
        }
    }
    FDelivering = false;
    // A server that sends a line without end is not followed any further.
    if (FInput.size() > kMaxReply && Connected) {
        FInput.clear();
        Close();
    }
    if (!Connected && FOnClosed) {
        const ClosedHandler closed = FOnClosed;
        StopListening();
        closed();
    }
}

} // namespace net
