// The one Base64 group encoder; the attachment encoder's uuencode lines use it with their own alphabet.
#include "net/Base64.h"

#include <cstdint>

namespace net {

std::string EncodeBase64Groups(std::string_view bytes, std::string_view alphabet, bool pad)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    const auto at = [&](std::size_t i) { return std::uint32_t(std::uint8_t(bytes[i])); };
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = (at(i) << 16) | (at(i + 1) << 8) | at(i + 2);
        out += alphabet[v >> 18];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (const std::size_t rest = bytes.size() - i; rest > 0) {
        std::uint32_t v = at(i) << 16;
        if (rest == 2)
            v |= at(i + 1) << 8;
        out += alphabet[v >> 18];
        out += alphabet[(v >> 12) & 63];
        if (rest == 2)
            out += alphabet[(v >> 6) & 63];
        if (pad)
            out += rest == 2 ? "=" : "==";
    }
    return out;
}

std::string Base64(std::string_view bytes)
{
    return EncodeBase64Groups(bytes, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/", true);
}

} // namespace net
