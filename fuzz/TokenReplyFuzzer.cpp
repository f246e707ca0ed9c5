// libFuzzer entry: token endpoint replies, the first byte choosing the HTTP status.
#include "FuzzInput.h"
#include "signin/TokenReply.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

// What goes into a SASL message or the store: printable ASCII without blanks.
bool Token(const std::string& token)
{
    if (token.empty())
        return false;
    for (const char c : token)
        if (c <= ' ' || c >= 0x7F)
            return false;
    return true;
}

// What the status line shows: printable ASCII.
bool Shown(const std::string& text)
{
    for (const char c : text)
        if (c < ' ' || c >= 0x7F)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const std::uint8_t b = input.Byte();
    const int status = b % 2 == 0 ? 200 : 200 + b;
    const std::string body = input.Rest();
    const signin::TokenReply r = signin::ReadTokenReply(status, body);
    if (r.kind == signin::TokenReply::Kind::Tokens) {
        if (status != 200 || !Token(r.accessToken) || !r.error.empty())
            std::abort();
        if (r.refreshToken && !Token(*r.refreshToken))
            std::abort();
        if (r.expiresIn < 0 || r.expiresIn >= std::numeric_limits<std::int32_t>::max())
            std::abort();
    } else {
        if (!r.accessToken.empty() || r.refreshToken || r.error.empty())
            std::abort();
        // The error and its description, each cut to 200 characters, and ": " between them.
        if (!Shown(r.error) || r.error.size() > 402)
            std::abort();
    }
    return 0;
}
