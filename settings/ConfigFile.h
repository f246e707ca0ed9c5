// Deleting every account record and exporting the account key to a file.
#pragma once

#include <string>

namespace settings {

// Deletes each subkey of "account" with everything below it, going on after a failure; true
// when every one went (also when there were none). "account" itself and the settings stay.
bool DeleteAllAccounts();

// Writes the "account" key with its subtree to fileName, a new file; false when "account" is
// missing, the file exists or the write fails.
bool ExportAccounts(const std::string& fileName);

} // namespace settings
