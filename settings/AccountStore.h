// The account records under "\software\Brask\Quorvel\account": save, load, delete, list.
#pragma once

#include "settings/Account.h"

#include <string>
#include <vector>

namespace settings {

// Writes the record under account.Name (nothing when the name is empty), drawing a fresh seed
// for the password. Stops silently at the first error, keeping what it wrote; returns false then.
bool SaveAccount(const TAccount& account);

// Reads the record of name (nothing when the name is empty, all fields empty optionals).
TAccountFields LoadAccount(const std::string& name);

// Removes the record of name with everything below it; false for an empty name or any error.
bool DeleteAccount(const std::string& name);

struct TAccountList {
    std::vector<std::string> Names; // the store's enumeration order
    bool Complete = false; // false: listing failed; Names holds what was read before that
};

// The account names: one per subkey of "account", whatever it holds.
TAccountList LoadAccountList();

} // namespace settings
