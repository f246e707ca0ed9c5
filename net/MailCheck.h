// TMailCheck: what the IMAP and POP3 clients share: the connection (direct or through the
// proxy's tunnel, TLS from the start or after the upgrade), bounded line reads, and the rule that
// no credential leaves the machine before TLS is up and the certificate verified.
#pragma once

#include "net/LineChannel.h"
#include "net/Psock.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace net {

// What a check of a mailbox or maildrop found, when it did not end in an error.
struct MailCount {
    enum class Outcome { Count, LoginRefused, BadReply, SignInRefused };
    Outcome outcome = Outcome::BadReply;
    std::uint32_t count = 0;
    // What the server said to the user with a refused login (an IMAP alert), already cut by ShownText.
    std::string alert = {};
    // SignInRefused: the status the server gave for the token.
    std::string refusal = {};
};

// A text from the server as the user is shown it: control characters removed, at most 200
// characters (a whole UTF-8 sequence or none). Over a clear connection it comes from a peer that
// nobody has verified, and a server may send a line of any length.
std::string ShownText(std::string_view text);

// A reply that does not follow the protocol: the check ends as an interpretation error.
class EBadReply : public ESockError {
public:
    using ESockError::ESockError;
};

// Logged in, but the mailbox or maildrop cannot be read now (missing, locked, a fault of the server).
class EMailboxUnavailable : public ESockError {
public:
    using ESockError::ESockError;
};

class TMailCheck : public TPowersock, public LineChannel, public LineEvents {
public:
    explicit TMailCheck(QObject* owner);

    // TLS from the first byte; when false the clear connection is upgraded before the login,
    // and a server that cannot upgrade ends the check.
    bool ImplicitTLS = true;
    // Host and Port name the mail server; Proxy and ProxyPort, when Proxy is not empty, the
    // HTTP proxy whose tunnel leads there. TimeOut bounds the lookup, the connect, the handshake
    // and each reply; ConversationTimeOut the whole exchange after the connect.
    std::int32_t ConversationTimeOut = 30000;
    // A signed-in login: SASL XOAUTH2 or OAUTHBEARER with this access token, and never the
    // password. Empty for a login with the password.
    std::string AccessToken;

    // The longest reply line (or response with its literals) taken from a server.
    static constexpr std::size_t kMaxReply = std::size_t { 64 } * 1024;

    // The channel over this connection.
    std::string ReadLine() override;
    std::string ReadBytes(std::size_t count) override;
    void SendLine(std::string_view line) override;
    void SendSecret(std::string_view bytes) override;
    void UpgradeToTls() override;
    bool IsSecure() const override { return Secure(); }
    void ShortenReplies(std::int32_t ms) override { FReplyLimit = ms; }
    void AllowSlowReplies(std::int32_t ms) override;

    // The event-driven form, for a session that outlives its check (MailCheckEvents.cpp).
    void Listen(LineHandler line, ClosedHandler closed) override;
    void StopListening() override;
    void PostLine(std::string_view line) override;

    // Raises when a user name or password holds a byte that no login command can carry.
    static void CheckCredentials(std::string_view user, std::string_view password);
    // Raises when the user name or the access token holds a byte that no SASL message can carry.
    static void CheckToken(std::string_view user, std::string_view token);

protected:
    // Connects and, for implicit TLS, makes the connection secure. A failure says what happened
    // and what to do in the user's terms: not found, refused, no answer, no TLS on that port.
    void Open();
    // Where the connection goes, as the user is told of it: "host:port" (the proxy's when it is used).
    std::string Target() const;
    // Closes the connection at the end of a check; failures there change nothing.
    void Close() noexcept;
    // Runs a whole conversation: a reply that breaks the protocol ends it as an interpretation
    // error; any other failure closes the connection (unless the component is gone) and raises.
    template <typename F> MailCount Converse(F conversation)
    {
        try {
            return conversation();
        } catch (const EBadReply&) {
            Close();
            return { MailCount::Outcome::BadReply, 0, {} };
        } catch (const EAbortError&) {
            throw; // cancelled, or the component is gone: nothing more may touch it
        } catch (const ESockError&) {
            Close();
            throw;
        }
    }

private:
    void WaitForInput(std::size_t wanted, bool line);
    // Moves what arrived into FInput.
    void TakeReceived();
    // Hands every complete line to the line handler, then the end of the connection, if it came.
    void DeliverLines();
    void SendBytes(std::string_view bytes);

    std::string FInput;
    std::chrono::steady_clock::time_point FConversationEnd;
    std::int32_t FReplyLimit = 0;
    std::int32_t FSlowReplies = 0;
    LineHandler FOnLine;
    ClosedHandler FOnClosed;
    bool FDelivering = false;
    bool FDeliveryPosted = false;
};

} // namespace net
