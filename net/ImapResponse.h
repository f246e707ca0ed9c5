// IMAP server responses read from one complete response (literals inline after their "{n}" and
// line break, final line break removed): plain functions over the text and an offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace net::imap {

// The low-level readers move `offset` past what they read, and leave it alone on failure.
// An atom: one or more characters other than controls, blanks and ( ) { % * " \ ].
std::optional<std::string> ReadAtom(std::string_view text, std::size_t& offset);
// A quoted string with its \" and \\ escapes, or a literal "{n}" CRLF followed by n bytes.
std::optional<std::string> ReadString(std::string_view text, std::size_t& offset);
// An atom (']' allowed, as in ASTRING-CHAR) or a string.
std::optional<std::string> ReadAstring(std::string_view text, std::size_t& offset);
// A number of at most 32 bits (IMAP's number), no sign.
std::optional<std::uint32_t> ReadNumber(std::string_view text, std::size_t& offset);
// Exactly one blank.
bool ReadSpace(std::string_view text, std::size_t& offset);

enum class Kind { Invalid, Tagged, Untagged, Continuation };
// The condition of a status response; None for untagged data (CAPABILITY, STATUS, EXISTS ...).
enum class Condition { None, Ok, No, Bad, Bye, Preauth };

struct Response {
    Kind kind = Kind::Invalid;
    std::string tag; // tagged responses
    Condition condition = Condition::None;
    // Untagged data: its name in capitals ("CAPABILITY", "STATUS", "FLAGS"; "EXISTS" after a number).
    std::string keyword;
    // From CAPABILITY data or a [CAPABILITY ...] response code, in capitals.
    std::vector<std::string> capabilities;
    bool hasCapabilities = false;
    // STATUS data: the mailbox name as sent (modified UTF-7) and its items, names in capitals.
    std::string mailbox;
    std::vector<std::pair<std::string, std::uint32_t>> statusItems;
    // The response code of a status response ("ALERT", "UNAVAILABLE" ...), in capitals; empty when none.
    std::string code;
    // The human-readable text of a status response, after any response code.
    std::string text;
};

// One complete response; kind Invalid when it does not follow the grammar far enough to use.
Response ParseResponse(std::string_view response);

// The value of a STATUS item (such as "UNSEEN"), when the response carries it.
std::optional<std::uint32_t> StatusItem(const Response& response, std::string_view item);

bool HasCapability(const std::vector<std::string>& capabilities, std::string_view name);

// The size of the literal that ends this line ("... {12}" before its line break), if any.
std::optional<std::uint32_t> TrailingLiteral(std::string_view line);

// A user name, password or mailbox name as a command argument: a quoted string when every byte
// can be quoted, else nothing (the caller sends a literal). NUL, CR and LF never fit in a quoted string.
std::optional<std::string> QuotedString(std::string_view value);

} // namespace net::imap
