// What the status and header lines of an HTTP reply say, read one complete line at a time, and
// when its body is over. No socket in sight: the client hands over the lines it read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace net {

struct TReplyHead {
    std::int16_t ReplyNumber = 0;
    // The value of the last Set-Cookie line, empty when none.
    std::string Cookie;
    bool HasLocation = false;
    std::string Location;
    // The fixed-position reading of the Content-Length line, for progress reports.
    std::int32_t BytesToSend = 0;
    // The connection stays open after the reply: its body ends at ContentLength.
    bool KeepAlive = false;
    // The body's announced length, -1 when none; not trusted when two lines disagree or it is
    // no plain number.
    std::int64_t ContentLength = -1;
    bool ContentLengthValid = true;
    // The header as received, status line to the empty line, every line with its line end.
    std::size_t HeaderBytes = 0;
    bool Complete = false;
};

class TReplyHeadReader {
public:
    // Status and header lines together may not exceed this many bytes.
    static constexpr std::size_t kMaxHeaderBytes = std::size_t { 4 } * 1024 * 1024;

    // Takes the next line, line end included; true when it ended the header. Raises ESockError
    // "Reply Header Too Long" when the header outgrows its limit.
    bool TakeLine(const std::string& line);
    // True when `waiting` bytes without a line end can no longer become a line within the limit.
    bool LineCannotEnd(std::size_t waiting) const { return head_.HeaderBytes + waiting > kMaxHeaderBytes; }
    const TReplyHead& Head() const { return head_; }

private:
    void NoteConnectionValues(const std::string& line);

    TReplyHead head_;
    bool statusRead_ = false;
};

// The body of a reply that carries none whatever it announces: to HEAD, 1xx, 204, 304.
bool HasNoBody(const TReplyHead& head, bool headRequest);
// Where the body ends before the close: on a kept-open connection at its trusted length
// (0 when it has none); -1 means at the close.
std::int64_t BodyLimitBeforeClose(const TReplyHead& head, bool headRequest);
// At the close: fewer body bytes arrived than the reply announced.
bool BodyCutShort(const TReplyHead& head, bool headRequest, std::uint64_t received);

// The value of a header line after its first `skip` characters: up to the first CR, LF or zero
// byte, at most 256 characters. A reply cannot smuggle further lines into a request this way.
std::string HeaderValueAt(const std::string& line, std::size_t skip);
// The second space-separated field of a status line as a 16-bit number; 0 when it is none.
std::int16_t StatusNumber(const std::string& line);

} // namespace net
