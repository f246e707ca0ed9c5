// Where the first line ends in received bytes: the one line finder that every reader of lines
// (the socket's ReadLn, the mail sessions, the proxy's answer) goes through.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace net {

// The first line of some bytes: the length of its text (without the line feed and a carriage
// return right before it) and its whole length with them.
struct TLineSpan {
    std::size_t text = 0;
    std::size_t whole = 0;
};

// The first line in `bytes`; nothing while no line feed has come. A reader that keeps receiving
// into the same bytes passes how far it has already searched, so that a long line arriving in
// many pieces is not searched again from its start. Limits on a line's length are the reader's.
std::optional<TLineSpan> FindLine(std::string_view bytes, std::size_t searched = 0);

} // namespace net
