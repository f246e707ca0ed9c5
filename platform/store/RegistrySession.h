// What the registry calls share: the open store, its transaction and the key handles.
#pragma once

#include "platform/store/Registry.h"
#include "platform/store/RegistrySql.h"

#include <cstdint>

namespace platform::registry {

// What a call does to the store. Reads run in a read transaction, which never waits for the
// write lock of another process; the first write of a session takes the lock.
enum class Access { Read, Write };

// Every call starts with Enter, which opens the store and its transaction when no key is open
// (or turns a session that has only read into a writing one), and ends with Leave, which
// commits once the last key is closed.
LONG Enter(Access access);
LONG Leave(LONG result);

sqlite3* SessionDb();
// Records that a statement failed; SQLite may have given up the whole transaction.
LONG StatementFailed(int rc);

// The store's key id behind a handle (HKEY_CURRENT_USER is the top key).
LONG ResolveKey(HKEY key, std::int64_t* id);

// To be called after any statement that may have deleted keys: open keys are looked up again,
// and paths found earlier are forgotten.
void KeysRemoved();

// The common frame of a call on an open key: enter the session, find the key behind the handle,
// run `body` with its id when both succeeded, and leave with the first error or body's result.
template <typename Body> LONG OnKey(HKEY key, Access access, Body body)
{
    if (const LONG err = Enter(access); err != ERROR_SUCCESS)
        return err;
    std::int64_t id = 0;
    LONG err = ResolveKey(key, &id);
    if (err == ERROR_SUCCESS)
        err = body(id);
    return Leave(err);
}

} // namespace platform::registry
