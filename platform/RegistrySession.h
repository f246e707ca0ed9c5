// What the registry calls share: the open store, its write transaction and the key handles.
#pragma once

#include "platform/Registry.h"
#include "platform/RegistrySql.h"

#include <cstdint>

namespace platform::registry {

// Every call starts with Enter, which opens the store and its write transaction when no key is
// open, and ends with Leave, which commits once the last key is closed.
LONG Enter();
LONG Leave(LONG result);

sqlite3* SessionDb();
// Records that a statement failed; SQLite may have given up the whole transaction.
LONG StatementFailed(int rc);

// The store's key id behind a handle (HKEY_CURRENT_USER is the top key).
LONG ResolveKey(HKEY key, std::int64_t* id);

} // namespace platform::registry
