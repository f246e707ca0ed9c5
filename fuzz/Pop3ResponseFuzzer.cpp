// libFuzzer entry: POP3 status lines, STAT replies and lines of multi-line replies.
#include "net/Pop3Response.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto status = net::pop3::ParseStatus(line);
    const auto stat = net::pop3::ParseStat(line);
    if (stat && (!status || !status->ok))
        std::abort();
    const auto item = net::pop3::MultiLineItem(line);
    if (item && item->size() + 1 < line.size())
        std::abort();
    net::pop3::HasSaslMechanism({ std::string(line) }, "PLAIN");
    return 0;
}
