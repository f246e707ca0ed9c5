// POP3 server responses read from one complete line (line break removed): plain functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net::pop3 {

struct Status {
    bool ok = false;
    // An extended response code such as "IN-USE" or "AUTH" (in capitals), or empty.
    std::string code;
    std::string text;
};

// "+OK [text]" or "-ERR [[CODE] text]"; nothing for any other line.
std::optional<Status> ParseStatus(std::string_view line);

struct Maildrop {
    std::uint32_t messages = 0;
    std::uint64_t octets = 0;
};

// The reply to STAT: "+OK" blank count blank size, then anything.
std::optional<Maildrop> ParseStat(std::string_view line);

// A line of a multi-line reply: nothing for the terminating ".", else the line with a leading
// stuffed "." removed.
std::optional<std::string> MultiLineItem(std::string_view line);

// CAPA lines, each a capability name and its arguments; names and arguments compared in capitals.
bool HasCapability(const std::vector<std::string>& capa, std::string_view name);
bool HasSaslMechanism(const std::vector<std::string>& capa, std::string_view mechanism);

} // namespace net::pop3
