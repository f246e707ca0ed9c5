// NthField and NthDelimiterPos on arbitrary texts, checked against each other.
#include "FuzzInput.h"
#include "net/PsockFields.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const char delimiter = static_cast<char>(input.Byte());
    const std::int32_t n = static_cast<std::int8_t>(input.Byte());
    const std::string text = input.Rest();

    const std::string field = net::NthField(text, delimiter, n);
    const std::int32_t at = net::NthDelimiterPos(text, delimiter, n);
    if (field.find(delimiter) != std::string::npos)
        std::abort();
    if (at < 1 || static_cast<std::size_t>(at) > text.size() + 1)
        std::abort();
    if (static_cast<std::size_t>(at) <= text.size() && text[static_cast<std::size_t>(at) - 1] != delimiter)
        std::abort();
    // Field n ends where delimiter n stands.
    if (n >= 1 && !field.empty()) {
        const auto end = static_cast<std::size_t>(at) - 1;
        if (end < field.size() || text.compare(end - field.size(), field.size(), field) != 0)
            std::abort();
    }
    return 0;
}
