// Field and delimiter-position functions on texts, used to split addresses and status lines.
#pragma once

#include <cstdint>
#include <string>

namespace net {

// Field n (from 1) of the text split at every delimiter; empty fields count.
std::string NthField(const std::string& Text, char Delimiter, std::int32_t n);
// 1-based position of the n-th delimiter, or the length plus 1 when there are fewer.
std::int32_t NthDelimiterPos(const std::string& Text, char Delimiter, std::int32_t n);

} // namespace net
