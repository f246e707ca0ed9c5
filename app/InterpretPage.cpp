// The number of new messages read out of a login reply page.
#include "app/InterpretPage.h"

#include "platform/core/StrToInt.h"

namespace app {

int InterpretPage(const std::string& Page, const std::string& FailText, const std::string& SearchText, int Offset)
{
    if (Page.find(FailText) != std::string::npos)
        return kLoginFailed;
    const auto found = Page.find(SearchText);
    if (found == std::string::npos)
        return kInterpretionError;

    // Positions in the page's terms count from 1: the search text starts at found + 1.
    const long long start1 = static_cast<long long>(found) + 1 + Offset;
    const std::size_t start = start1 < 1 ? 0 : static_cast<std::size_t>(start1 - 1);
    std::string window = start < Page.size() ? Page.substr(start, 5) : std::string();

    std::size_t b = 0, e = window.size();
    while (b < e && static_cast<unsigned char>(window[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(window[e - 1]) <= 32)
        --e;
    std::size_t digits = b;
    while (digits < e && window[digits] >= '0' && window[digits] <= '9')
        ++digits;
    // An empty run is not a number: the conversion error names the empty text.
    return platform::StrToInt(window.substr(b, digits - b));
}

} // namespace app
