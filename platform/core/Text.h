// Small text helpers that the protocol parsers and the store share.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The code points of a UTF-8 text; nothing for overlong forms, surrogates, code points above
// U+10FFFF, stray continuation bytes and a sequence cut short.
std::optional<std::u32string> DecodeUtf8(std::string_view s);

// A copy with a-z raised to A-Z and every other byte, those of UTF-8 sequences included, as it was.
std::string AsciiUpper(std::string_view s);

// The value of one hexadecimal digit, either case; nothing for any other byte.
std::optional<int> HexDigitValue(char c);

} // namespace platform
