#include "platform/core/StrToInt.h"

#include "platform/core/Exceptions.h"

#include <cstdint>

namespace platform {

int StrToInt(const std::string& text)
{
    auto fail = [&]() -> int { throw EConvertError("'" + text + "' is not a valid integer value"); };

    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return fail();

    std::int64_t value = 0;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return fail();
        value = value * 10 + (c - '0');
        if (value > limit)
            return fail();
    }
    return static_cast<int>(negative ? -value : value);
}

} // namespace platform
