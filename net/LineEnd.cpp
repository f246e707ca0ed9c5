// A line ends at its line feed; a carriage return right before it belongs to the end, not the text.
#include "net/LineEnd.h"

namespace net {

std::optional<TLineSpan> FindLine(std::string_view bytes, std::size_t searched)
{
    const std::size_t at = bytes.find('\n', searched);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::size_t text = at > 0 && bytes[at - 1] == '\r' ? at - 1 : at;
    return TLineSpan { text, at + 1 };
}

} // namespace net
