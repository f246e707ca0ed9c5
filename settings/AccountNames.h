// The rules for the name of a new account: one key of the store, not yet taken.
#pragma once

#include <string>
#include <vector>

namespace settings {

enum class TNameProblem { None, Empty, Backslash, ControlCharacter, TooLong, Exists };

// Checks a name (already trimmed) against the names in the list and the records in the store,
// comparing names the way the store does.
TNameProblem CheckNewAccountName(const std::string& name, const std::vector<std::string>& listed);

bool SameAccountName(const std::string& a, const std::string& b);

// The most characters an account name can have.
std::size_t MaxAccountNameChars();

} // namespace settings
