// The proxy's answer to a tunnel request (HTTP CONNECT), read from the bytes received so far.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace net {

struct TTunnelReply {
    // Bytes of the head: the status line, the header lines and the empty line that ends them.
    std::size_t Length = 0;
    // The first line without its line end.
    std::string StatusLine;
    // The status line's code, or 0 when the line is not an HTTP status line.
    int StatusCode = 0;
};

// The head once it is complete (an empty line ends it); nothing while more must come.
std::optional<TTunnelReply> ParseTunnelReply(std::string_view bytes);

// The code of "HTTP/<version> <3 digits>[ <reason>]", or 0.
int TunnelStatusCode(std::string_view statusLine);

} // namespace net
