// The SQLite files behind the registry: the store itself and the images of saved keys.
#pragma once

#include "platform/store/Registry.h"
#include "platform/store/RegistrySql.h"

#include <sys/types.h>

namespace platform::registry {

// Both kinds of file share one schema: a tree of keys (the row with id 1 is the top key) and
// their values. An image is a store whose top key holds what the saved key held.
inline constexpr std::int64_t TopKeyId = 1;

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// Opens the store at path, creating its folder (0700) and the file (0600) when missing, in WAL
// mode without a sync at each commit, and with a busy timeout. A file that is not one of ours is
// left untouched, and so is one that another user owns or its owner made read-only. On failure,
// problem (if given) receives the reason in a few words.
LONG OpenStore(const std::string& path, Database* db, FileIdentity* identity, std::string* problem = nullptr);

// The identity of the file now at path, if any.
bool IdentifyFile(const std::string& path, FileIdentity* identity);

// Creates the schema in an empty database, or checks that a non-empty one is ours.
LONG PrepareSchema(sqlite3* db);

// Opens an image for reading; ERROR_BADDB when the file is not an image of ours.
LONG OpenImageForReading(const std::string& path, Database* db);

// Maps a SQLite result code to the registry's error numbers.
LONG ErrorFromSqlite(int rc);

} // namespace platform::registry
