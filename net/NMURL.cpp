#include "net/NMURL.h"

#include "platform/core/Text.h"

#include <optional>

namespace net {

std::string TNMURL::DecodeString(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '+') {
            result += ' ';
            ++i;
        } else if (c == '%') {
            const std::string digits = text.substr(i + 1, 2);
            const auto high = digits.size() == 2 ? platform::HexDigitValue(digits[0]) : std::nullopt;
            const auto low = digits.size() == 2 ? platform::HexDigitValue(digits[1]) : std::nullopt;
            if (!high || !low) {
                if (OnError)
                    OnError(this, "Error during decode", "'$" + digits + "' is not a valid integer value");
                return text;
            }
            result += static_cast<char>(*high * 16 + *low);
            i += 3;
        } else {
            result += c;
            ++i;
        }
    }
    return result;
}

} // namespace net
