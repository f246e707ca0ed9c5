// Bringing a store written by an earlier version up to the present rules of names.
#pragma once

#include "platform/store/Registry.h"
#include "platform/store/RegistrySql.h"

namespace platform::registry {

// Recomputes the comparison form of every key and value name and stores the ones that changed,
// all in one transaction; writes nothing when every name is already up to date.
LONG UpgradeNameFolds(sqlite3* db);

} // namespace platform::registry
