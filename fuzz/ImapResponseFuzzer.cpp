// libFuzzer entry: IMAP responses, and the literal sizes the client reads lines by.
#include "net/ImapResponse.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const net::imap::Response r = net::imap::ParseResponse(text);
    if (r.kind == net::imap::Kind::Tagged && r.tag.empty())
        std::abort();
    if (!r.capabilities.empty() && !r.hasCapabilities)
        std::abort();
    net::imap::TrailingLiteral(text);
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t before = at;
        if (!net::imap::ReadAstring(text, at) && !net::imap::ReadSpace(text, at))
            ++at;
        if (at <= before || at > text.size())
            std::abort();
    }
    if (const auto quoted = net::imap::QuotedString(text)) {
        std::size_t offset = 0;
        const auto back = net::imap::ReadString(*quoted, offset);
        if (!back || *back != text || offset != quoted->size())
            std::abort();
    }
    return 0;
}
