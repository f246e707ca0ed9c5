#include "net/MailCheck.h"

#include "net/LineEnd.h"
#include "net/SaslOAuth.h"

#include <algorithm>

namespace net {
namespace {

// Socket sends move at most this many bytes at a time.
constexpr std::size_t kSendChunk = 16000;

} // namespace

TMailCheck::TMailCheck(QObject* owner)
    : TPowersock(owner)
{ }

std::string ShownText(std::string_view text)
{
    constexpr std::size_t kMaxCharacters = 200;
    std::string shown;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size() && characters < kMaxCharacters;) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            ++i;
            continue;
        }
        // A lead byte and its continuation bytes go together; a stray byte goes alone.
        std::size_t length = 1;
        if (c >= 0xC0)
            while (
                i + length < text.size() && length < 4 && (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80)
                ++length;
        shown.append(text.substr(i, length));
        i += length;
        ++characters;
    }
    return shown;
}

std::string TMailCheck::Target() const
{
    const bool proxy = !Proxy.empty();
    return (proxy ? Proxy : Host) + ":" + std::to_string(proxy ? ProxyPort : Port);
}

void TMailCheck::Open()
{
    FInput.clear();
    FReplyLimit = 0;
    FSlowReplies = 0;
    const bool proxy = !Proxy.empty();
    try {
        if (proxy)
            ConnectThroughProxy();
        else
            Connect();
    } catch (const EAbortError&) {
        throw;
    } catch (const ESockError& e) {
        if (e.Message == "Null Remote Address")
            throw ESockError((proxy ? "Proxy not found: " + Proxy : "Mail server not found: " + Host));
        if (e.Message == "Connection Timed out")
            throw ESockError(Target() + " did not answer");
        if (ConnectError == platform::WSAECONNREFUSED || e.Message.starts_with("10061:"))
            throw ESockError(Target() + " refused the connection");
        if (e.Message == "Connection Failed" && ConnectError != 0) {
            std::string reason;
            LookupErrorMessage(ConnectError, reason);
            throw ESockError(Target() + " cannot be reached: " + reason);
        }
        throw;
    }
    if (ImplicitTLS) {
        try {
            StartTLS();
        } catch (const EAbortError&) {
            throw;
        } catch (const ESockError& e) {
            // A server that speaks in the clear answers the hello with text that is no TLS record.
            const bool clear = e.Message.starts_with("TLS ")
                && (e.Message.ends_with("wrong version number") || e.Message.ends_with("packet length too long")
                    || e.Message.ends_with("http request"));
            if (clear)
                throw ESockError(
                    Host + ":" + std::to_string(Port) + " does not speak TLS (for STARTTLS use imap:// or pop3://)");
            throw;
        }
    }
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

void TMailCheck::AllowSlowReplies(std::int32_t ms)
{
    FSlowReplies = ms;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms + (TimeOut > 0 ? TimeOut : 10000));
    FConversationEnd = std::max(FConversationEnd, end);
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
    std::int32_t replyMs = FReplyLimit > 0 ? FReplyLimit : (TimeOut > 0 ? TimeOut : 10000);
    if (FReplyLimit <= 0)
        replyMs = std::max(replyMs, FSlowReplies);
    const auto end = std::min(FConversationEnd, start + std::chrono::milliseconds(replyMs));
    std::size_t scanned = 0;
    for (;;) {
        TakeReceived();
        if (line) {
            if (FindLine(FInput, scanned))
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
            throw ESockError(Host + ":" + std::to_string(Port) + " did not answer");
        // Nothing but the clock may end this wait, so the pass must wake at the deadline.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now);
        if (!WaitPassFor(left))
            throw EAbortError("Mail check canceled");
    }
}

std::string TMailCheck::ReadLine()
{
    WaitForInput(0, true);
    const auto end = FindLine(FInput);
    if (end->whole - 1 > kMaxReply)
        throw EBadReply("The mail server sent an overlong line");
    std::string line = FInput.substr(0, end->text);
    FInput.erase(0, end->whole);
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

void TMailCheck::CheckToken(std::string_view user, std::string_view token)
{
    if (!OAuthCarriable(user, token))
        throw ESockError("The user name or token holds a character that cannot be sent to the mail server");
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
