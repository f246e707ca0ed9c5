// Base64 encoding, shared by the login messages and the attachment encoder.
#pragma once

#include <string>
#include <string_view>

namespace net {

// Each three bytes become four characters of `alphabet` (64 entries, the value's top six bits
// first); a last group of one or two bytes gives two or three characters, then '=' up to four
// when `pad` is set.
std::string EncodeBase64Groups(std::string_view bytes, std::string_view alphabet, bool pad);

// The standard alphabet with padding.
std::string Base64(std::string_view bytes);

} // namespace net
