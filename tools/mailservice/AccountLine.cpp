#include "AccountLine.h"

#include "platform/core/Text.h"

#include <charconv>
#include <fstream>

namespace mailservice {
namespace {

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        fields.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return fields;
        start = end + 1;
    }
}

bool ParseNumber(const std::string& text, int& value)
{
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0;
}

} // namespace

std::string Unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[i + 1];
        if (next == 't') {
            out += '\t';
            ++i;
        } else if (next == 'r') {
            out += '\r';
            ++i;
        } else if (next == 'n') {
            out += '\n';
            ++i;
        } else if (next == '\\') {
            out += '\\';
            ++i;
        } else if (next == 'x' && i + 3 < text.size() && platform::HexDigitValue(text[i + 2])
            && platform::HexDigitValue(text[i + 3])) {
            out += static_cast<char>(
                *platform::HexDigitValue(text[i + 2]) * 16 + *platform::HexDigitValue(text[i + 3]));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string Escape(const std::string& bytes)
{
    static const char* const digits = "0123456789ABCDEF";
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || c == '\\') {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::optional<Fault> ParseFault(const std::string& name)
{
    if (name == "none")
        return Fault::None;
    if (name == "stall")
        return Fault::Stall;
    if (name == "slow")
        return Fault::Slow;
    if (name == "reset")
        return Fault::Reset;
    if (name == "garbage")
        return Fault::Garbage;
    if (name == "close")
        return Fault::Close;
    return std::nullopt;
}

std::optional<Account> ParseAccount(const std::vector<std::string>& fields, std::string& error)
{
    if (fields.size() < 3) {
        error = "an account needs a user, a password and a number of new messages";
        return std::nullopt;
    }
    Account account;
    account.user = Unescape(fields[0]);
    account.password = Unescape(fields[1]);
    const std::string& what = fields[2];
    if (what == "fail") {
        account.alwaysFails = true;
    } else if (what.rfind("page=", 0) == 0) {
        account.page = Unescape(what.substr(5));
    } else if (!ParseNumber(what, account.newMessages)) {
        error = "'" + what + "' is neither a number of new messages, \"fail\" nor \"page=...\"";
        return std::nullopt;
    }
    for (std::size_t i = 3; i < fields.size(); ++i) {
        const std::string& option = fields[i];
        if (option.empty())
            continue;
        if (option == "redirect") {
            account.redirect = true;
        } else if (option.rfind("fault=", 0) == 0) {
            const auto fault = ParseFault(option.substr(6));
            if (!fault) {
                error = "unknown fault '" + option.substr(6) + "'";
                return std::nullopt;
            }
            account.fault = *fault;
        } else if (option.rfind("delay=", 0) == 0) {
            if (!ParseNumber(option.substr(6), account.delayMs)) {
                error = "bad delay '" + option.substr(6) + "'";
                return std::nullopt;
            }
        } else {
            error = "unknown account option '" + option + "'";
            return std::nullopt;
        }
    }
    return account;
}

bool ReadAccountFile(const std::string& path, std::vector<Account>& accounts, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        auto account = ParseAccount(Split(line, '\t'), error);
        if (!account) {
            error = path + ":" + std::to_string(number) + ": " + error;
            return false;
        }
        accounts.push_back(std::move(*account));
    }
    return true;
}

std::optional<Account> ParseAccountArgument(const std::string& argument, std::string& error)
{
    return ParseAccount(Split(argument, ':'), error);
}

} // namespace mailservice
