#include "net/Pop3Response.h"

#include "platform/core/Text.h"

namespace net::pop3 {
namespace {

using platform::AsciiUpper;

bool StartsWithNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && AsciiUpper(s.substr(0, prefix.size())) == prefix;
}

// The blank-separated words of a line.
std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        const std::size_t start = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t')
            ++at;
        if (at > start)
            words.push_back(line.substr(start, at - start));
    }
    return words;
}

std::optional<std::uint64_t> Number(std::string_view word, std::uint64_t limit)
{
    if (word.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : word) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const auto digit = static_cast<unsigned>(c - '0');
        if (value > (limit - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

} // namespace

std::optional<Status> ParseStatus(std::string_view line)
{
    Status status;
    std::size_t at;
    if (StartsWithNoCase(line, "+OK")) {
        status.ok = true;
        at = 3;
    } else if (StartsWithNoCase(line, "-ERR")) {
        at = 4;
    } else {
        return std::nullopt;
    }
    if (at < line.size() && line[at] != ' ')
        return std::nullopt;
    if (at < line.size())
        ++at;
    std::string_view rest = line.substr(at);
    if (!status.ok && !rest.empty() && rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close != std::string_view::npos) {
            status.code = AsciiUpper(rest.substr(1, close - 1));
            rest.remove_prefix(close + 1);
            if (!rest.empty() && rest[0] == ' ')
                rest.remove_prefix(1);
        }
    }
    status.text = std::string(rest);
    return status;
}

std::optional<Maildrop> ParseStat(std::string_view line)
{
    const auto status = ParseStatus(line);
    if (!status || !status->ok)
        return std::nullopt;
    const auto words = Words(status->text);
    if (words.size() < 2)
        return std::nullopt;
    const auto messages = Number(words[0], 0xFFFFFFFFULL);
    const auto octets = Number(words[1], ~std::uint64_t { 0 });
    if (!messages || !octets)
        return std::nullopt;
    return Maildrop { static_cast<std::uint32_t>(*messages), *octets };
}

std::optional<std::string> MultiLineItem(std::string_view line)
{
    if (line == ".")
        return std::nullopt;
    if (!line.empty() && line[0] == '.')
        line.remove_prefix(1);
    return std::string(line);
}

bool HasCapability(const std::vector<std::string>& capa, std::string_view name)
{
    const std::string wanted = AsciiUpper(name);
    for (const auto& line : capa) {
        const auto words = Words(line);
        if (!words.empty() && AsciiUpper(words[0]) == wanted)
            return true;
    }
    return false;
}

bool HasSaslMechanism(const std::vector<std::string>& capa, std::string_view mechanism)
{
    const std::string wanted = AsciiUpper(mechanism);
    for (const auto& line : capa) {
        const auto words = Words(line);
        if (words.empty() || AsciiUpper(words[0]) != "SASL")
            continue;
        for (std::size_t i = 1; i < words.size(); ++i)
            if (AsciiUpper(words[i]) == wanted)
                return true;
    }
    return false;
}

} // namespace net::pop3
