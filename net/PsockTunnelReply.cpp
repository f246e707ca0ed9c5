#include "net/PsockTunnelReply.h"

#include "net/LineEnd.h"

namespace net {
namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

int TunnelStatusCode(std::string_view line)
{
    constexpr std::string_view kPrefix = "HTTP/";
    if (line.substr(0, kPrefix.size()) != kPrefix)
        return 0;
    std::size_t at = kPrefix.size();
    const std::size_t versionStart = at;
    while (at < line.size() && (isDigit(line[at]) || line[at] == '.'))
        ++at;
    if (at == versionStart || at >= line.size() || line[at] != ' ')
        return 0;
    ++at;
    if (line.size() < at + 3 || !isDigit(line[at]) || !isDigit(line[at + 1]) || !isDigit(line[at + 2]))
        return 0;
    if (line.size() > at + 3 && line[at + 3] != ' ')
        return 0;
    return (line[at] - '0') * 100 + (line[at + 1] - '0') * 10 + (line[at + 2] - '0');
}

std::optional<TTunnelReply> ParseTunnelReply(std::string_view bytes)
{
    std::size_t start = 0;
    bool first = true;
    TTunnelReply reply;
    while (start < bytes.size()) {
        const auto end = FindLine(bytes.substr(start));
        if (!end)
            return std::nullopt;
        const std::string_view line = bytes.substr(start, end->text);
        start += end->whole;
        if (first) {
            reply.StatusLine = std::string(line);
            reply.StatusCode = TunnelStatusCode(line);
            first = false;
            if (!line.empty())
                continue;
        }
        if (line.empty()) {
            reply.Length = start;
            return reply;
        }
    }
    return std::nullopt;
}

} // namespace net
