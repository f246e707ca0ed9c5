#include "net/PsockFields.h"

namespace net {

std::string NthField(const std::string& Text, char Delimiter, std::int32_t n)
{
    if (n <= 0 || Text.empty())
        return {};
    std::size_t start = 0;
    for (std::int32_t field = 1; field < n; ++field) {
        const std::size_t at = Text.find(Delimiter, start);
        if (at == std::string::npos)
            return {};
        start = at + 1;
    }
    const std::size_t end = Text.find(Delimiter, start);
    return Text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::int32_t NthDelimiterPos(const std::string& Text, char Delimiter, std::int32_t n)
{
    std::int32_t count = 0;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == Delimiter && ++count == n)
            return static_cast<std::int32_t>(i + 1);
    }
    return static_cast<std::int32_t>(Text.size() + 1);
}

} // namespace net
