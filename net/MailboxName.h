// IMAP mailbox names on the wire: modified UTF-7, where printable ASCII stands for itself, "&"
// is "&-", and every other run of characters is base64 of UTF-16 between "&" and "-".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace net::imap {

// From UTF-8; nothing when the text is not valid UTF-8.
std::optional<std::string> EncodeMailboxName(std::string_view utf8);
// To UTF-8; nothing when the name is not valid modified UTF-7.
std::optional<std::string> DecodeMailboxName(std::string_view name);

} // namespace net::imap
