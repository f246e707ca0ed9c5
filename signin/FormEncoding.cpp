// Percent-encoding of form fields, both ways.
#include "signin/FormEncoding.h"

#include "platform/core/Text.h"

namespace signin {
namespace {

std::optional<std::string> Unescape(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size())
                return std::nullopt;
            const auto hi = platform::HexDigitValue(text[i + 1]);
            const auto lo = platform::HexDigitValue(text[i + 2]);
            if (!hi || !lo)
                return std::nullopt;
            out += static_cast<char>(*hi * 16 + *lo);
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

std::string PercentEncode(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '-' || u == '.'
            || u == '_' || u == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

std::string FormEncode(const std::vector<std::pair<std::string, std::string>>& fields)
{
    std::string out;
    for (const auto& [name, value] : fields) {
        if (value.empty())
            continue;
        if (!out.empty())
            out += '&';
        out += PercentEncode(name) + "=" + PercentEncode(value);
    }
    return out;
}

std::optional<std::multimap<std::string, std::string>> FormDecode(std::string_view text)
{
    std::multimap<std::string, std::string> fields;
    while (!text.empty()) {
        const auto amp = text.find('&');
        const std::string_view pair = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
        if (pair.empty())
            continue;
        const auto eq = pair.find('=');
        auto name = Unescape(pair.substr(0, eq));
        auto value = Unescape(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1));
        if (!name || !value)
            return std::nullopt;
        fields.emplace(std::move(*name), std::move(*value));
    }
    return fields;
}

} // namespace signin
