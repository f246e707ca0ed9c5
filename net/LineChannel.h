// LineChannel: what a mail conversation needs of its connection, and nothing more: lines and
// counted bytes in, lines and secrets out, and the upgrade to TLS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace net {

class LineChannel {
public:
    virtual ~LineChannel() = default;

    // One line without its line break. Raises EBadReply for an overlong line, ESockError when the
    // server closes or does not answer in time, EAbortError when cancelled.
    virtual std::string ReadLine() = 0;
    // Exactly `count` bytes (an IMAP literal).
    virtual std::string ReadBytes(std::size_t count) = 0;
    // A command line that holds nothing secret; the line break is added.
    virtual void SendLine(std::string_view line) = 0;
    // Bytes that carry a user name or password, line breaks included: the one gate that refuses
    // them (ESockError) unless the connection is secure.
    virtual void SendSecret(std::string_view bytes) = 0;
    // Throws away what arrived in the clear, then makes the connection secure.
    virtual void UpgradeToTls() = 0;
    // TLS is up and the peer's certificate verified.
    virtual bool IsSecure() const = 0;
    // Bounds each reply that follows by `ms` at most (the polite end of a session).
    virtual void ShortenReplies(std::int32_t ms) = 0;
    // Lets the replies that follow take `ms` at least, the whole exchange growing with them: a
    // server may hold back its answer to a login after failed ones. 0 ends the allowance.
    virtual void AllowSlowReplies(std::int32_t ms) = 0;
};

// The event-driven form of a channel, for sessions that live for hours: nothing waits, and no
// handler runs nested inside another. Complete lines arrive as calls of the line handler, the end
// of the connection (closed by the peer, failed, or a line too long to take) as one call of the
// closed handler, after every line that came before it.
class LineEvents {
public:
    using LineHandler = std::function<void(const std::string& line)>;
    using ClosedHandler = std::function<void()>;

    virtual ~LineEvents() = default;
    // Starts delivering; lines that arrived already are delivered from the event loop, not from
    // inside this call. A handler may end the session (and free the channel) when it runs.
    virtual void Listen(LineHandler line, ClosedHandler closed) = 0;
    // Stops delivering; nothing is called afterwards.
    virtual void StopListening() = 0;
    // Queues a command line and returns at once; a failure shows as the end of the connection.
    virtual void PostLine(std::string_view line) = 0;
};

} // namespace net
