#include "net/NMHttpReplyHead.h"

#include "net/PsockFields.h"
#include "net/SockErrors.h"
#include "platform/core/StrToInt.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <string_view>

namespace net {
namespace {

constexpr std::size_t kMaxHeaderValue = 256;

// Letter case does not matter in header names and connection tokens.
bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The digits after "ENGTH:" and one more character; 0 without digits or when they overflow.
std::int32_t ContentLengthOf(const std::string& line)
{
    std::size_t at = std::string::npos;
    for (std::size_t i = 0; i + 6 <= line.size(); ++i) {
        if (SameText(std::string_view(line).substr(i, 6), "ENGTH:")) {
            at = i;
            break;
        }
    }
    if (at == std::string::npos)
        return 0;
    std::size_t i = at + 6 + 1;
    while (i < line.size() && !std::isdigit(static_cast<unsigned char>(line[i])))
        ++i;
    std::int64_t value = 0;
    for (; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i) {
        value = value * 10 + (line[i] - '0');
        if (value > std::numeric_limits<std::int32_t>::max())
            return 0;
    }
    return static_cast<std::int32_t>(value);
}

bool IsEndOfHeader(const std::string& line)
{
    return line.empty() || line == "\n" || line == "\r\n";
}

} // namespace

std::string HeaderValueAt(const std::string& line, std::size_t skip)
{
    if (skip >= line.size())
        return {};
    std::string value = line.substr(skip);
    const auto cut = value.find_first_of(std::string_view("\r\n\0", 3));
    if (cut != std::string::npos)
        value.resize(cut);
    if (value.size() > kMaxHeaderValue)
        value.resize(kMaxHeaderValue);
    return value;
}

std::int16_t StatusNumber(const std::string& line)
{
    try {
        const int number = platform::StrToInt(NthField(line, ' ', 2));
        // A number the 16-bit reply number cannot hold is no usable status either.
        if (number >= std::numeric_limits<std::int16_t>::min() && number <= std::numeric_limits<std::int16_t>::max())
            return static_cast<std::int16_t>(number);
    } catch (const platform::EConvertError&) { }
    return 0;
}

bool TReplyHeadReader::TakeLine(const std::string& line)
{
    if (head_.Complete)
        return true;
    head_.HeaderBytes += line.size();
    if (head_.HeaderBytes > kMaxHeaderBytes)
        throw ESockError("Reply Header Too Long");
    if (!statusRead_) {
        statusRead_ = true;
        head_.ReplyNumber = StatusNumber(line);
        return false;
    }
    // The values sit at fixed places: after the name, its colon and exactly one space.
    const std::string_view name = std::string_view(line).substr(0, line.find(' '));
    if (SameText(name, "SET-COOKIE:")) {
        head_.Cookie = HeaderValueAt(line, 12);
    } else if (SameText(name, "LOCATION:")) {
        head_.HasLocation = true;
        head_.Location = HeaderValueAt(line, 10);
    } else if (SameText(name, "CONTENT-LENGTH:")) {
        head_.BytesToSend = ContentLengthOf(line);
    }
    NoteConnectionValues(line);
    head_.Complete = IsEndOfHeader(line);
    return head_.Complete;
}

void TReplyHeadReader::NoteConnectionValues(const std::string& line)
{
    // Read leniently: these decide only when a body is complete, never what a request sends.
    const auto colon = line.find(':');
    if (colon == std::string::npos)
        return;
    const std::string_view name = Trim(std::string_view(line).substr(0, colon));
    const bool length = SameText(name, "content-length");
    if (!length && !SameText(name, "connection") && !SameText(name, "proxy-connection"))
        return;
    const std::string_view value = Trim(std::string_view(line).substr(colon + 1));
    if (length) {
        std::int64_t number = 0;
        bool valid = !value.empty();
        for (const char c : value) {
            if (!std::isdigit(static_cast<unsigned char>(c)) || number > std::numeric_limits<std::int32_t>::max()) {
                valid = false;
                break;
            }
            number = number * 10 + (c - '0');
        }
        valid = valid && number <= std::numeric_limits<std::int32_t>::max();
        // Two different lengths, or one that is no plain number, cannot be trusted.
        if (!valid || (head_.ContentLength >= 0 && head_.ContentLength != number))
            head_.ContentLengthValid = false;
        else
            head_.ContentLength = number;
        return;
    }
    std::size_t start = 0;
    for (;;) {
        const auto comma = value.find(',', start);
        if (SameText(
                Trim(value.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start)),
                "keep-alive"))
            head_.KeepAlive = true;
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
}

bool HasNoBody(const TReplyHead& head, bool headRequest)
{
    return headRequest || (head.ReplyNumber >= 100 && head.ReplyNumber <= 199) || head.ReplyNumber == 204
        || head.ReplyNumber == 304;
}

std::int64_t BodyLimitBeforeClose(const TReplyHead& head, bool headRequest)
{
    if (!head.KeepAlive)
        return -1;
    if (HasNoBody(head, headRequest))
        return 0;
    if (head.ContentLengthValid && head.ContentLength >= 0)
        return head.ContentLength;
    return -1;
}

bool BodyCutShort(const TReplyHead& head, bool headRequest, std::uint64_t received)
{
    if (HasNoBody(head, headRequest) || !head.ContentLengthValid || head.ContentLength < 0)
        return false;
    return received < static_cast<std::uint64_t>(head.ContentLength);
}

} // namespace net
