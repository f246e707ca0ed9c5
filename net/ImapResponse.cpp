#include "net/ImapResponse.h"

#include "platform/core/Text.h"

#include <algorithm>

namespace net::imap {
namespace {

bool IsAtomChar(unsigned char c, bool allowBracket)
{
    if (c <= 0x20 || c >= 0x7F)
        return false;
    switch (c) {
    case '(':
    case ')':
    case '{':
    case '%':
    case '*':
    case '"':
    case '\\':
        return false;
    case ']':
        return allowBracket;
    default:
        return true;
    }
}

using platform::AsciiUpper;

std::optional<std::string> ReadAtomChars(std::string_view text, std::size_t& offset, bool allowBracket)
{
    std::size_t end = offset;
    while (end < text.size() && IsAtomChar(static_cast<unsigned char>(text[end]), allowBracket))
        ++end;
    if (end == offset)
        return std::nullopt;
    std::string atom(text.substr(offset, end - offset));
    offset = end;
    return atom;
}

std::optional<std::string> ReadQuoted(std::string_view text, std::size_t& offset)
{
    if (offset >= text.size() || text[offset] != '"')
        return std::nullopt;
    std::string value;
    for (std::size_t i = offset + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            offset = i + 1;
            return value;
        }
        if (c == '\r' || c == '\n')
            return std::nullopt;
        if (c == '\\') {
            if (++i >= text.size() || (text[i] != '"' && text[i] != '\\'))
                return std::nullopt;
        }
        value += text[i];
    }
    return std::nullopt;
}

std::optional<std::string> ReadLiteral(std::string_view text, std::size_t& offset)
{
    if (offset >= text.size() || text[offset] != '{')
        return std::nullopt;
    std::size_t at = offset + 1;
    const auto size = ReadNumber(text, at);
    if (!size || at + 3 > text.size() || text.substr(at, 3) != "}\r\n")
        return std::nullopt;
    at += 3;
    if (text.size() - at < *size)
        return std::nullopt;
    std::string value(text.substr(at, *size));
    offset = at + *size;
    return value;
}

// "[" code "]" SP at the start of a status response's text; CAPABILITY codes fill `r`.
void ReadResponseCode(std::string_view text, std::size_t& offset, Response& r)
{
    if (offset >= text.size() || text[offset] != '[')
        return;
    const std::size_t close = text.find(']', offset);
    if (close == std::string_view::npos)
        return;
    std::size_t at = offset + 1;
    const auto name = ReadAtomChars(text, at, false);
    if (name)
        r.code = AsciiUpper(*name);
    if (name && AsciiUpper(*name) == "CAPABILITY") {
        r.hasCapabilities = true;
        r.capabilities.clear();
        while (at < close && ReadSpace(text, at)) {
            if (auto cap = ReadAtomChars(text, at, false))
                r.capabilities.push_back(AsciiUpper(*cap));
            else
                break;
        }
    }
    offset = close + 1;
    ReadSpace(text, offset);
}

std::optional<Condition> ReadCondition(std::string_view text, std::size_t& offset)
{
    std::size_t at = offset;
    const auto word = ReadAtomChars(text, at, false);
    if (!word)
        return std::nullopt;
    const std::string name = AsciiUpper(*word);
    Condition c;
    if (name == "OK")
        c = Condition::Ok;
    else if (name == "NO")
        c = Condition::No;
    else if (name == "BAD")
        c = Condition::Bad;
    else if (name == "BYE")
        c = Condition::Bye;
    else if (name == "PREAUTH")
        c = Condition::Preauth;
    else
        return std::nullopt;
    offset = at;
    return c;
}

// resp-text after the condition: optional blank, optional response code, the rest as text.
void ReadStatusText(std::string_view text, std::size_t offset, Response& r)
{
    ReadSpace(text, offset);
    ReadResponseCode(text, offset, r);
    r.text = std::string(text.substr(std::min(offset, text.size())));
}

bool ReadStatusData(std::string_view text, std::size_t& offset, Response& r)
{
    if (!ReadSpace(text, offset))
        return false;
    auto mailbox = ReadAstring(text, offset);
    if (!mailbox || !ReadSpace(text, offset) || offset >= text.size() || text[offset] != '(')
        return false;
    ++offset;
    r.mailbox = std::move(*mailbox);
    if (offset < text.size() && text[offset] == ')')
        return true;
    for (;;) {
        auto item = ReadAtomChars(text, offset, false);
        if (!item || !ReadSpace(text, offset))
            return false;
        // Counts of 64 bits (HIGHESTMODSEQ) are read up to 32 bits; such items do not matter here.
        std::size_t at = offset;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            ++at;
        if (at == offset)
            return false;
        std::size_t numberAt = offset;
        if (auto value = ReadNumber(text, numberAt); value && numberAt == at)
            r.statusItems.emplace_back(AsciiUpper(*item), *value);
        offset = at;
        if (offset < text.size() && text[offset] == ')') {
            ++offset;
            return true;
        }
        if (!ReadSpace(text, offset))
            return false;
    }
}

} // namespace

bool ReadSpace(std::string_view text, std::size_t& offset)
{
    if (offset < text.size() && text[offset] == ' ') {
        ++offset;
        return true;
    }
    return false;
}

std::optional<std::string> ReadAtom(std::string_view text, std::size_t& offset)
{
    return ReadAtomChars(text, offset, false);
}

std::optional<std::string> ReadString(std::string_view text, std::size_t& offset)
{
    if (offset < text.size() && text[offset] == '"')
        return ReadQuoted(text, offset);
    return ReadLiteral(text, offset);
}

std::optional<std::string> ReadAstring(std::string_view text, std::size_t& offset)
{
    if (offset < text.size() && (text[offset] == '"' || text[offset] == '{'))
        return ReadString(text, offset);
    return ReadAtomChars(text, offset, true);
}

std::optional<std::uint32_t> ReadNumber(std::string_view text, std::size_t& offset)
{
    std::uint64_t value = 0;
    std::size_t at = offset;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        value = value * 10 + static_cast<unsigned>(text[at] - '0');
        if (value > 0xFFFFFFFFULL)
            return std::nullopt;
        ++at;
    }
    if (at == offset)
        return std::nullopt;
    offset = at;
    return static_cast<std::uint32_t>(value);
}

Response ParseResponse(std::string_view text)
{
    Response r;
    std::size_t at = 0;
    if (!text.empty() && text[0] == '+') {
        if (text.size() > 1 && text[1] != ' ')
            return r;
        r.kind = Kind::Continuation;
        at = 1;
        ReadSpace(text, at);
        r.text = std::string(text.substr(at));
        return r;
    }
    if (text.size() >= 2 && text[0] == '*' && text[1] == ' ') {
        at = 2;
        if (auto condition = ReadCondition(text, at)) {
            r.kind = Kind::Untagged;
            r.condition = *condition;
            ReadStatusText(text, at, r);
            return r;
        }
        if (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            if (!ReadNumber(text, at) || !ReadSpace(text, at))
                return r;
            auto name = ReadAtomChars(text, at, false);
            if (!name)
                return r;
            r.kind = Kind::Untagged;
            r.keyword = AsciiUpper(*name);
            return r;
        }
        auto name = ReadAtomChars(text, at, false);
        if (!name)
            return r;
        r.keyword = AsciiUpper(*name);
        if (r.keyword == "CAPABILITY") {
            r.hasCapabilities = true;
            while (ReadSpace(text, at)) {
                auto cap = ReadAtomChars(text, at, false);
                if (!cap)
                    break;
                r.capabilities.push_back(AsciiUpper(*cap));
            }
        } else if (r.keyword == "STATUS") {
            if (!ReadStatusData(text, at, r))
                return Response {};
        }
        r.kind = Kind::Untagged;
        return r;
    }
    // A tag: atom characters other than "+".
    std::size_t end = 0;
    while (end < text.size() && text[end] != '+' && IsAtomChar(static_cast<unsigned char>(text[end]), false))
        ++end;
    if (end == 0 || !ReadSpace(text, end))
        return r;
    const std::string tag(text.substr(0, end - 1));
    auto condition = ReadCondition(text, end);
    if (!condition || *condition == Condition::Preauth || *condition == Condition::Bye)
        return r;
    r.kind = Kind::Tagged;
    r.tag = tag;
    r.condition = *condition;
    ReadStatusText(text, end, r);
    return r;
}

std::optional<std::uint32_t> StatusItem(const Response& response, std::string_view item)
{
    for (const auto& [name, value] : response.statusItems)
        if (name == AsciiUpper(item))
            return value;
    return std::nullopt;
}

bool HasCapability(const std::vector<std::string>& capabilities, std::string_view name)
{
    const std::string wanted = AsciiUpper(name);
    return std::find(capabilities.begin(), capabilities.end(), wanted) != capabilities.end();
}

std::optional<std::uint32_t> TrailingLiteral(std::string_view line)
{
    if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n")
        line.remove_suffix(2);
    else if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (line.empty() || line.back() != '}')
        return std::nullopt;
    const std::size_t open = line.rfind('{');
    if (open == std::string_view::npos || open + 2 > line.size() - 1)
        return std::nullopt;
    std::size_t at = open + 1;
    const auto size = ReadNumber(line, at);
    if (!size || at != line.size() - 1)
        return std::nullopt;
    return size;
}

std::optional<std::string> QuotedString(std::string_view value)
{
    std::string quoted = "\"";
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == 0 || c == '\r' || c == '\n' || c >= 0x80)
            return std::nullopt;
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += ch;
    }
    quoted += '"';
    return quoted;
}

} // namespace net::imap
