#include "net/MailboxName.h"

#include "platform/core/Text.h"

#include <cstdint>
#include <vector>

namespace net::imap {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

int AlphabetIndex(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == ',')
        return 63;
    return -1;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendBase64(std::string& out, const std::vector<std::uint16_t>& units)
{
    std::uint32_t bits = 0;
    int count = 0;
    for (const std::uint16_t u : units) {
        bits = (bits << 16) | u;
        count += 16;
        while (count >= 6) {
            count -= 6;
            out += kAlphabet[(bits >> count) & 0x3F];
        }
        bits &= (1U << count) - 1;
    }
    if (count > 0)
        out += kAlphabet[(bits << (6 - count)) & 0x3F];
}

} // namespace

std::optional<std::string> EncodeMailboxName(std::string_view utf8)
{
    const auto points = platform::DecodeUtf8(utf8);
    if (!points)
        return std::nullopt;
    std::string out;
    std::vector<std::uint16_t> pending;
    auto flush = [&] {
        if (pending.empty())
            return;
        out += '&';
        AppendBase64(out, pending);
        out += '-';
        pending.clear();
    };
    for (const char32_t cp : *points) {
        if (cp >= 0x20 && cp <= 0x7E) {
            flush();
            out += static_cast<char>(cp);
            if (cp == '&')
                out += '-';
        } else if (cp < 0x10000) {
            pending.push_back(static_cast<std::uint16_t>(cp));
        } else {
            const char32_t v = cp - 0x10000;
            pending.push_back(static_cast<std::uint16_t>(0xD800 | (v >> 10)));
            pending.push_back(static_cast<std::uint16_t>(0xDC00 | (v & 0x3FF)));
        }
    }
    flush();
    return out;
}

std::optional<std::string> DecodeMailboxName(std::string_view name)
{
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const char c = name[i];
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            return std::nullopt;
        if (c != '&') {
            out += c;
            ++i;
            continue;
        }
        const std::size_t end = name.find('-', i + 1);
        if (end == std::string_view::npos)
            return std::nullopt;
        if (end == i + 1) {
            out += '&';
            i = end + 1;
            continue;
        }
        std::uint32_t bits = 0;
        int count = 0;
        std::vector<std::uint16_t> units;
        for (std::size_t k = i + 1; k < end; ++k) {
            const int v = AlphabetIndex(name[k]);
            if (v < 0)
                return std::nullopt;
            bits = (bits << 6) | static_cast<std::uint32_t>(v);
            count += 6;
            if (count >= 16) {
                count -= 16;
                units.push_back(static_cast<std::uint16_t>(bits >> count));
                bits &= (1U << count) - 1;
            }
        }
        // What is left over is padding: fewer than 6 bits, all zero.
        if (count >= 6 || bits != 0 || units.empty())
            return std::nullopt;
        for (std::size_t k = 0; k < units.size(); ++k) {
            const std::uint16_t u = units[k];
            if (u >= 0xD800 && u <= 0xDBFF) {
                if (k + 1 >= units.size() || units[k + 1] < 0xDC00 || units[k + 1] > 0xDFFF)
                    return std::nullopt;
                AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (units[k + 1] - 0xDC00));
                ++k;
            } else if (u >= 0xDC00 && u <= 0xDFFF) {
                return std::nullopt;
            } else if (u >= 0x20 && u <= 0x7E) {
                return std::nullopt; // printable ASCII must stand for itself
            } else {
                AppendUtf8(out, u);
            }
        }
        i = end + 1;
    }
    return out;
}

} // namespace net::imap
