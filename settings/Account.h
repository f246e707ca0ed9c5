// The account record and the text rule of the store.
#pragma once

#include <optional>
#include <string>

namespace settings {

// Texts cross between the window and the store as std::string holding UTF-8: the window
// converts QString to UTF-8 and back, the store keeps those bytes unchanged in REG_SZ values
// (followed by one zero byte), and the password is scrambled byte by byte on its UTF-8 form.
// So any Unicode text round-trips exactly; only a U+0000 cuts a stored text short, except in
// the password, whose scrambled form is chosen to hold no zero byte.
struct TAccount {
    std::string Name; // the account's key name under "account"
    std::string Info;
    std::string Host;
    std::string UserName;
    std::string Password; // plain text
    std::string LastChecked;
    std::string Status;
};

// What LoadAccount read. A load stops at its first error; the fields it did not reach are
// empty optionals, and the window keeps what those controls showed before. Failed tells a
// store that could not be read (locked past its wait, unreadable, the key unreachable) from a
// record that lacks a value: after a failed load the fields are not the record's.
struct TAccountFields {
    bool Failed = false;
    std::optional<std::string> Info;
    std::optional<std::string> Host;
    std::optional<std::string> UserName;
    std::optional<std::string> Password;
    std::optional<std::string> LastChecked;
    std::optional<std::string> Status;
};

} // namespace settings
