// TLS in TPowersock: the handshake wait, and the secure channel between the socket and the queues.
#include "net/NMConst.h"
#include "net/Psock.h"

#include <QPointer>

#include <climits>

namespace net {
namespace {

constexpr std::string_view kStartTls = "Start TLS";

std::string failureText(const platform::SecureChannel& channel, const std::string& host)
{
    using Failure = platform::SecureChannel::Failure;
    switch (channel.failure()) {
    case Failure::Untrusted:
        return "TLS certificate not trusted: " + channel.Detail();
    case Failure::NameMismatch:
        return "TLS certificate does not match host " + host;
    case Failure::Protocol:
        return "TLS connection failed: " + channel.Detail();
    case Failure::Handshake:
    case Failure::None:
        break;
    }
    return "TLS handshake failed: " + channel.Detail();
}

} // namespace

void TPowersock::StartTLS()
{
    StatusMessage(level::Trace, kStartTls);
    if (!Connected)
        throw ESockError("Not connected");
    if (FChannel)
        throw ESockError("TLS already started");
    FChannelError.clear();
    // What came in the clear after the go-ahead must never read as if it had come over the
    // secure channel; what waits to go out in the clear must not go out secured either.
    ReceiveQueue->Clear();
    SendQueue->Clear();
    FChannelOut.clear();
    FSendError = 0;
    FChannel = std::make_unique<platform::SecureChannel>(Host);
    if (FChannel->state() == platform::SecureChannel::State::Failed) {
        const std::string text = failureText(*FChannel, Host);
        RequestCloseSocket();
        throw ESockError(text);
    }
    FChannel->TakeOutput(FChannelOut);
    FlushChannelOutput();
    TimerOn();
    // Every flag below is changed by a socket notification or the timer, which end the pass.
    while (FChannel && !FChannel->Established() && Connected && FChannelError.empty() && FSendError == 0 && !TimedOut
        && !Canceled) {
        if (!WaitPass())
            throw EAbortError("TLS handshake canceled");
    }
    TimerOff();
    std::string text;
    if (TimedOut)
        text = "TLS handshake timed out";
    else if (Canceled)
        text = "TLS handshake canceled";
    else if (!FChannelError.empty())
        text = FChannelError;
    else if (FSendError != 0) {
        std::string reason;
        LookupErrorMessage(static_cast<std::uint16_t>(FSendError), reason);
        text = "TLS handshake failed: " + reason;
    } else if (!Secure())
        text = "TLS handshake failed: the server closed the connection";
    if (text.empty())
        return;
    FSendError = 0;
    // A channel that failed in a notification has closed the connection already.
    if (Connected || FChannel)
        RequestCloseSocket();
    if (Canceled && !TimedOut)
        throw EAbortError(text);
    throw ESockError(text);
}

bool TPowersock::StoreIncoming(const char* bytes, std::int64_t n)
{
    if (!FChannel)
        return StoreReceived(bytes, n);
    std::string& plain = FChannelPlain;
    plain.clear();
    FChannel->Receive(std::string_view(bytes, static_cast<std::size_t>(n)), plain);
    // The handshake's answers and any alert leave at once.
    FChannel->TakeOutput(FChannelOut);
    FlushChannelOutput();
    if (FChannel->state() == platform::SecureChannel::State::Failed) {
        FailSecureConnection(failureText(*FChannel, Host));
        return false;
    }
    const bool stored = plain.empty() || StoreReceived(plain.data(), static_cast<std::int64_t>(plain.size()));
    // The closing alert ends the secure stream: nothing after it may be read, and a server that
    // waits for the answering alert before it closes would otherwise hold the connection open.
    if (FChannel->PeerClosed()) {
        RequestCloseSocket();
        return false;
    }
    return stored;
}

int TPowersock::SendToPeer(const char* bytes, int n)
{
    if (!FChannel)
        return platform::send(FSocket, bytes, n, 0);
    if (!FChannel->Send(std::string_view(bytes, static_cast<std::size_t>(n)))) {
        platform::WSASetLastError(platform::WSAENOTCONN);
        return platform::SOCKET_ERROR;
    }
    FChannel->TakeOutput(FChannelOut);
    // The bytes are taken once they are records: the rest of them leaves with the next flush.
    if (!FlushChannelOutput() && FSendError != 0) {
        platform::WSASetLastError(FSendError);
        return platform::SOCKET_ERROR;
    }
    return n;
}

bool TPowersock::FlushChannelOutput()
{
    std::size_t sent = 0;
    bool drained = true;
    while (sent < FChannelOut.size()) {
        const int chunk = static_cast<int>(std::min<std::size_t>(FChannelOut.size() - sent, INT_MAX));
        const int n = platform::send(FSocket, FChannelOut.data() + sent, chunk, 0);
        if (n == platform::SOCKET_ERROR) {
            LastError = platform::WSAGetLastError();
            if (LastError != platform::WSAEWOULDBLOCK)
                FSendError = LastError;
            drained = false;
            break;
        }
        sent += static_cast<std::size_t>(n);
    }
    FChannelOut.erase(0, sent);
    return drained;
}

void TPowersock::NoteSecureEnd()
{
    if (!FChannel || !FChannelError.empty())
        return;
    if (!FChannel->Established())
        FChannelError = "TLS handshake failed: the server closed the connection";
    else if (!FChannel->PeerClosed())
        FChannelError = "TLS connection cut";
}

void TPowersock::EndSecureChannel()
{
    if (!FChannel)
        return;
    if (FChannel->Established() && FSocket != kNoSocket && Connected) {
        FChannel->Close();
        FChannel->TakeOutput(FChannelOut);
        const int error = FSendError;
        FlushChannelOutput();
        FSendError = error;
    }
    FChannel.reset();
    FChannelOut.clear();
}

void TPowersock::FailSecureConnection(std::string text)
{
    if (FChannelError.empty())
        FChannelError = std::move(text);
    // The alert that says why is already on its way; nothing else may follow it.
    FChannel.reset();
    FChannelOut.clear();
    RequestCloseSocket();
}

void TPowersock::RaiseSecureFailure()
{
    if (!FChannelError.empty())
        throw ESockError(FChannelError);
}

} // namespace net
