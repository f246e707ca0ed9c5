#include "net/MailCheck.h"

#include <algorithm>

namespace net {
namespace {

// Socket sends move at most this many bytes at a time.
constexpr std::size_t kSendChunk = 16000;

} // namespace

TMailCheck::TMailCheck(QObject* owner)
    : TPowersock(owner)
{ }

void TMailCheck::Open()
{
    FInput.clear();
    FReplyLimit = 0;
    if (Proxy.empty())
        Connect();
    else
        ConnectThroughProxy();
    if (ImplicitTLS)
        StartTLS();
    const auto limit = std::chrono::milliseconds(ConversationTimeOut > 0 ? ConversationTimeOut : 30000);
    FConversationEnd = std::chrono::steady_clock::now() + limit;
}

void TMailCheck::UpgradeToTls()
{
    // Whatever followed the go-ahead in the clear was never protected: it must not be read as
    // if it had come over the secure channel.
    FInput.clear();
    ReceiveQueue->Clear();
    StartTLS();
}

void TMailCheck::TakeReceived()
{
    if (ReceiveQueue->Size() == 0)
        return;
    ReceiveQueue->Seek(0);
    const std::size_t had = FInput.size();
    FInput.resize(had + static_cast<std::size_t>(ReceiveQueue->Size()));
    FInput.resize(had + static_cast<std::size_t>(ReceiveQueue->Read(FInput.data() + had, ReceiveQueue->Size())));
    ReceiveQueue->Clear();
}

void TMailCheck::WaitForInput(std::size_t wanted, bool line)
{
    const auto start = std::chrono::steady_clock::now();
    const std::int32_t replyMs = FReplyLimit > 0 ? FReplyLimit : (TimeOut > 0 ? TimeOut : 10000);
    const auto end = std::min(FConversationEnd, start + std::chrono::milliseconds(replyMs));
    std::size_t scanned = 0;
    for (;;) {
        TakeReceived();
        if (line) {
            if (FInput.find('\n', scanned) != std::string::npos)
                return;
            scanned = FInput.size();
            if (FInput.size() > kMaxReply)
                throw EBadReply("The mail server sent an overlong line");
        } else if (FInput.size() >= wanted) {
            return;
        }
        if (Canceled)
            throw EAbortError("Mail check canceled");
        if (!Connected) {
            RaiseSecureFailure();
            throw ESockError("The mail server closed the connection");
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            throw ESockError("The mail server did not answer in time");
        // Nothing but the clock may end this wait, so the pass must wake at the deadline.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now);
        if (!WaitPassFor(left))
            throw EAbortError("Mail check canceled");
    }
}

std::string TMailCheck::ReadLine()
{
    WaitForInput(0, true);
    const std::size_t at = FInput.find('\n');
    if (at > kMaxReply)
        throw EBadReply("The mail server sent an overlong line");
    std::size_t end = at;
    if (end > 0 && FInput[end - 1] == '\r')
        --end;
    std::string line = FInput.substr(0, end);
    FInput.erase(0, at + 1);
    return line;
}

std::string TMailCheck::ReadBytes(std::size_t count)
{
    if (count > kMaxReply)
        throw EBadReply("The mail server sent an overlong reply");
    WaitForInput(count, false);
    std::string bytes = FInput.substr(0, count);
    FInput.erase(0, count);
    return bytes;
}

void TMailCheck::SendBytes(std::string_view bytes)
{
    for (std::size_t at = 0; at < bytes.size(); at += kSendChunk) {
        const std::size_t n = std::min(kSendChunk, bytes.size() - at);
        SendBuffer(bytes.data() + at, static_cast<std::uint16_t>(n));
    }
}

void TMailCheck::SendLine(std::string_view line)
{
    SendBytes(std::string(line) + "\r\n");
}

void TMailCheck::SendSecret(std::string_view bytes)
{
    // The one gate for credentials: nothing passes it before TLS is up and the peer verified.
    if (!Secure())
        throw ESockError("The connection to the mail server is not secure: the password is not sent");
    SendBytes(bytes);
}

void TMailCheck::CheckCredentials(std::string_view user, std::string_view password)
{
    const auto carriable
        = [](std::string_view s) { return s.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos; };
    if (!carriable(user) || !carriable(password))
        throw ESockError("The user name or password holds a character that cannot be sent to the mail server");
}

void TMailCheck::Close() noexcept
{
    try {
        Disconnect();
    } catch (...) {
        // The count is known; a failed close changes nothing about it.
    }
}

} // namespace net
