// UTF-8 decoding, ASCII case folding and hexadecimal digits, written once for the parsers and the
// store.
#include "platform/core/Text.h"

namespace platform {

std::optional<std::u32string> DecodeUtf8(std::string_view s)
{
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return std::nullopt;
        }
        if (extra > 0 && i + extra >= s.size())
            return std::nullopt;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr char32_t kMinimum[] = { 0, 0x80, 0x800, 0x10000 };
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        out.push_back(cp);
        i += extra + 1;
    }
    return out;
}

std::string AsciiUpper(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::optional<int> HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return std::nullopt;
}

} // namespace platform
