// Base64 and uuencoding of arbitrary bytes; the Base64 lines must decode back to the input.
#include "FuzzInput.h"
#include "net/NMUUE.h"

#include <cstdlib>
#include <sstream>

namespace {

std::string DecodeBase64Lines(const std::string& text)
{
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '\r' || c == '\n' || c == '=')
            continue;
        const auto value = alphabet.find(c);
        if (value == std::string::npos)
            std::abort();
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const bool mime = (input.Byte() & 1) != 0;
    const std::string bytes = input.Rest();
    std::stringstream source(bytes);
    std::stringstream target;
    net::TNMUUProcessor uu;
    uu.Method = mime ? net::uuMime : net::uuCode;
    uu.SourceStream = &source;
    uu.TargetStream = &target;
    uu.Encode();
    if (mime && DecodeBase64Lines(target.str()) != bytes)
        std::abort();
    return 0;
}
