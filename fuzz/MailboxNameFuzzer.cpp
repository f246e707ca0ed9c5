// libFuzzer entry: modified UTF-7 mailbox names both ways; what is encoded decodes back, and
// what is decoded is valid UTF-8.
#include "net/MailboxName.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto encoded = net::imap::EncodeMailboxName(bytes)) {
        for (const char c : *encoded)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
                std::abort();
        const auto decoded = net::imap::DecodeMailboxName(*encoded);
        if (!decoded || *decoded != bytes)
            std::abort();
    }
    // Whatever a server sends decodes to valid UTF-8, or to nothing.
    if (const auto decoded = net::imap::DecodeMailboxName(bytes))
        if (!net::imap::EncodeMailboxName(*decoded))
            std::abort();
    return 0;
}
