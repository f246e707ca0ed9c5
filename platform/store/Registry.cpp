#include "platform/store/Registry.h"

#include "platform/store/RegistryFile.h"
#include "platform/store/RegistryNames.h"
#include "platform/store/RegistrySession.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <pwd.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

using namespace registry;

namespace {

struct OpenKey {
    std::int64_t id = 0;
    std::uint64_t seenIn = 0; // the view in which the key was last seen to exist
};

// Where a path led: from the key it starts at, by its text as given.
using PathStart = std::pair<std::int64_t, std::string>;

constexpr std::size_t MaxKnownPaths = 1024;

struct Session {
    Database db;
    std::string path;
    FileIdentity identity;
    bool inTransaction = false;
    bool writing = false;
    bool broken = false;
    std::map<HKEY, OpenKey> handles;
    HKEY nextHandle = 0x100;
    std::string problem; // why the store could not be opened last time
    // Changes whenever a key seen so far may have gone: a new snapshot of the file, or a
    // deletion of our own. A key seen in the current view needs no second look.
    std::uint64_t view = 1;
    // Key ids are never handed out twice and keys never move, so a path found once still leads
    // to its key while that key exists: opening it again costs one look instead of a walk.
    std::map<PathStart, std::int64_t> knownPaths;
    // Paths found in the current transaction count only once it commits: a rollback frees the
    // ids of the keys it created, and the next key created would get one of them.
    std::vector<std::pair<PathStart, std::int64_t>> pathsFound;
};

Session& State()
{
    static Session session;
    return session;
}

bool KeyExists(std::int64_t id)
{
    Statement s(SessionDb(), "SELECT 1 FROM keys WHERE id = ?");
    s.Bind(1, id);
    return s.Step() == SQLITE_ROW;
}

// The child of parent called name: ERROR_SUCCESS with its id, ERROR_FILE_NOT_FOUND, or an error.
LONG FindChild(std::int64_t parent, const std::string& name, std::int64_t* id)
{
    const std::string fold = FoldName(name);
    Statement s(SessionDb(), "SELECT id FROM keys WHERE parent = ? AND fold = ?");
    s.Bind(1, parent).BindBlob(2, fold);
    const int rc = s.Step();
    if (rc == SQLITE_ROW) {
        *id = s.Int(0);
        return ERROR_SUCCESS;
    }
    if (rc == SQLITE_DONE)
        return ERROR_FILE_NOT_FOUND;
    return StatementFailed(rc);
}

LONG CreateChild(std::int64_t parent, const std::string& name, std::int64_t* id)
{
    const std::string fold = FoldName(name);
    Statement s(SessionDb(), "INSERT INTO keys(parent, name, fold) VALUES(?, ?, ?)");
    s.Bind(1, parent).BindBlob(2, name).BindBlob(3, fold);
    const int rc = s.Run();
    if (rc != SQLITE_DONE)
        return StatementFailed(rc);
    *id = sqlite3_last_insert_rowid(SessionDb());
    return ERROR_SUCCESS;
}

LONG Walk(HKEY parent, const std::string& subKey, bool create, std::int64_t* id)
{
    const auto names = SplitKeyPath(subKey);
    if (!names)
        return ERROR_BAD_PATHNAME;
    LONG err = ResolveKey(parent, id);
    const std::int64_t start = *id;
    for (std::size_t i = 0; err == ERROR_SUCCESS && i < names->size(); ++i) {
        err = FindChild(*id, (*names)[i], id);
        if (err == ERROR_FILE_NOT_FOUND && create)
            err = CreateChild(*id, (*names)[i], id);
    }
    if (err == ERROR_SUCCESS)
        State().pathsFound.emplace_back(PathStart(start, subKey), *id);
    return err;
}

// The key at the end of an existing path, through the paths known from earlier sessions.
LONG Find(HKEY parent, const std::string& subKey, std::int64_t* id)
{
    Session& s = State();
    std::int64_t start = 0;
    if (const LONG err = ResolveKey(parent, &start); err != ERROR_SUCCESS)
        return err;
    if (const auto known = s.knownPaths.find(PathStart(start, subKey)); known != s.knownPaths.end()) {
        if (KeyExists(known->second)) {
            *id = known->second;
            return ERROR_SUCCESS;
        }
        s.knownPaths.erase(known);
    }
    return Walk(parent, subKey, false, id);
}

// The transaction ended: what it found becomes known when it committed, and is forgotten when
// it was rolled back.
void EndOfTransaction(Session& s, bool committed)
{
    if (committed) {
        if (s.knownPaths.size() + s.pathsFound.size() > MaxKnownPaths)
            s.knownPaths.clear();
        for (auto& [start, id] : s.pathsFound)
            s.knownPaths.insert_or_assign(std::move(start), id);
    }
    s.pathsFound.clear();
    ++s.view;
}

// Creates what is missing of the path, all of it or nothing.
LONG CreatePath(HKEY parent, const std::string& subKey, std::int64_t* id)
{
    sqlite3* db = SessionDb();
    LONG err = ErrorFromSqlite(Exec(db, "SAVEPOINT walk"));
    if (err != ERROR_SUCCESS)
        return err;
    err = Walk(parent, subKey, true, id);
    if (err != ERROR_SUCCESS)
        Exec(db, "ROLLBACK TO walk");
    Exec(db, "RELEASE walk");
    return err;
}

LONG OpenOrCreate(HKEY parent, const std::string& subKey, bool create, HKEY* result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = 0;
    // Opening a key that is there only reads, also when the caller would have created it.
    if (const LONG err = Enter(Access::Read); err != ERROR_SUCCESS)
        return err;
    std::int64_t id = 0;
    LONG err = Find(parent, subKey, &id);
    if (err == ERROR_FILE_NOT_FOUND && create) {
        err = Enter(Access::Write);
        // The path is walked again: the snapshot it was looked up in is gone.
        if (err == ERROR_SUCCESS)
            err = CreatePath(parent, subKey, &id);
    }
    if (err == ERROR_SUCCESS) {
        Session& s = State();
        const HKEY handle = s.nextHandle++;
        s.handles.emplace(handle, OpenKey { id, s.view });
        *result = handle;
    }
    return Leave(err);
}

// A session that has only read so far starts writing. When no other process holds the write lock
// or has committed since the session's snapshot was taken, a statement that writes nothing takes
// the lock in place, and everything the session has seen stays true. Otherwise SQLite refuses at
// once, without waiting: the session gives up its snapshot and takes the write lock afresh,
// waiting for it up to the busy time-out, and its open keys are looked up again.
LONG BeginWriting(Session& s)
{
    sqlite3* db = s.db.get();
    int rc = Exec(db, "DELETE FROM vals WHERE 0");
    if (rc == SQLITE_OK) {
        s.writing = true;
        return ERROR_SUCCESS;
    }
    if ((rc & 0xFF) == SQLITE_BUSY) {
        rc = Exec(db, "COMMIT");
        EndOfTransaction(s, rc == SQLITE_OK);
        if (rc == SQLITE_OK)
            rc = Exec(db, "BEGIN IMMEDIATE");
    }
    if (rc != SQLITE_OK) {
        // No transaction is left: the rest of the session fails, and ends at the last close.
        s.broken = true;
        return ErrorFromSqlite(rc);
    }
    s.writing = true;
    return ERROR_SUCCESS;
}

} // namespace

namespace registry {

LONG Enter(Access access)
{
    Session& s = State();
    if (s.inTransaction) {
        if (s.broken)
            return ERROR_REGISTRY_IO_FAILED;
        return access == Access::Write && !s.writing ? BeginWriting(s) : ERROR_SUCCESS;
    }
    const std::string path = RegistryPath();
    FileIdentity now;
    if (!s.db || path != s.path || !IdentifyFile(path, &now) || !(now == s.identity)) {
        // First use, another store chosen, or the file was replaced or removed under us.
        s.db.reset();
        s.path.clear();
        s.knownPaths.clear();
        Database db;
        if (const LONG err = OpenStore(path, &db, &s.identity, &s.problem); err != ERROR_SUCCESS)
            return err;
        s.db = std::move(db);
        s.path = path;
    }
    const int rc = Exec(s.db.get(), access == Access::Write ? "BEGIN IMMEDIATE" : "BEGIN");
    if (rc != SQLITE_OK)
        return ErrorFromSqlite(rc);
    s.inTransaction = true;
    s.writing = access == Access::Write;
    s.broken = false;
    ++s.view;
    return ERROR_SUCCESS;
}

LONG Leave(LONG result)
{
    Session& s = State();
    if (!s.inTransaction || !s.handles.empty())
        return result;
    s.inTransaction = false;
    sqlite3* db = s.db.get();
    if (s.broken || sqlite3_get_autocommit(db)) {
        Exec(db, "ROLLBACK");
        EndOfTransaction(s, false);
        return result != ERROR_SUCCESS ? result : ERROR_REGISTRY_IO_FAILED;
    }
    const int rc = Exec(db, "COMMIT");
    if (rc != SQLITE_OK) {
        Exec(db, "ROLLBACK");
        EndOfTransaction(s, false);
        return result != ERROR_SUCCESS ? result : ErrorFromSqlite(rc);
    }
    EndOfTransaction(s, true);
    return result;
}

sqlite3* SessionDb()
{
    return State().db.get();
}

LONG StatementFailed(int rc)
{
    Session& s = State();
    if (s.inTransaction && sqlite3_get_autocommit(s.db.get()))
        s.broken = true;
    const LONG err = ErrorFromSqlite(rc);
    return err == ERROR_SUCCESS ? ERROR_REGISTRY_IO_FAILED : err;
}

LONG ResolveKey(HKEY key, std::int64_t* id)
{
    if (key == HKEY_CURRENT_USER) {
        *id = TopKeyId;
        return ERROR_SUCCESS;
    }
    Session& s = State();
    const auto it = s.handles.find(key);
    if (it == s.handles.end())
        return ERROR_INVALID_HANDLE;
    OpenKey& open = it->second;
    if (open.seenIn != s.view) {
        if (!KeyExists(open.id))
            return ERROR_KEY_DELETED;
        open.seenIn = s.view;
    }
    *id = open.id;
    return ERROR_SUCCESS;
}

void KeysRemoved()
{
    Session& s = State();
    s.knownPaths.clear();
    s.pathsFound.clear();
    ++s.view;
}

} // namespace registry

std::string RegistryPath()
{
    if (const char* explicitPath = std::getenv("QUORVEL_REGISTRY"); explicitPath && *explicitPath)
        return explicitPath;
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : nullptr;
        }
        if (!home || !*home)
            return {};
        config = std::string(home) + "/.config";
    }
    return config + "/quorvel/registry.sqlite3";
}

LONG RegCreateKeyEx(HKEY parent, const std::string& subKey, HKEY* result)
{
    return OpenOrCreate(parent, subKey, true, result);
}

LONG RegOpenKeyEx(HKEY parent, const std::string& subKey, HKEY* result)
{
    return OpenOrCreate(parent, subKey, false, result);
}

LONG RegCloseKey(HKEY key)
{
    Session& s = State();
    if (s.handles.erase(key) == 0)
        return ERROR_INVALID_HANDLE;
    return Leave(ERROR_SUCCESS);
}

LONG RegCheckStore(std::string* reason)
{
    // Through the session's own connection: a second one would open and close the file beside
    // it, and closing any descriptor of a file drops every lock this process holds on it.
    Session& s = State();
    std::string problem;
    LONG err = Enter(Access::Write);
    if (err != ERROR_SUCCESS) {
        problem = err == ERROR_BUSY ? "Locked by another process" : s.problem;
    } else {
        sqlite3* db = SessionDb();
        const int rc = Exec(db, "UPDATE keys SET name = name WHERE id = 1");
        if (rc != SQLITE_OK) {
            err = ErrorFromSqlite(rc);
            problem = (rc & 0xFF) == SQLITE_BUSY ? "Locked by another process" : sqlite3_errstr(rc);
        }
        // The trial write is never committed.
        if (s.handles.empty()) {
            Exec(db, "ROLLBACK");
            EndOfTransaction(s, false);
            s.inTransaction = false;
        }
    }
    if (err != ERROR_SUCCESS && problem.empty())
        problem = "Cannot be written";
    if (reason)
        *reason = err == ERROR_SUCCESS ? std::string() : problem;
    return err;
}

LONG RegDiscardWrites()
{
    Session& s = State();
    if (!s.inTransaction)
        return ERROR_INVALID_HANDLE;
    // Leave rolls a broken transaction back once the last key is closed.
    s.broken = true;
    return ERROR_SUCCESS;
}

LONG RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values)
{
    return OnKey(key, Access::Read, [&](std::int64_t id) -> LONG {
        Statement s(SessionDb(),
            "SELECT count(*), coalesce(max(length(name)), 0), (SELECT count(*) FROM vals WHERE key = ?1)"
            " FROM keys WHERE parent = ?1");
        s.Bind(1, id);
        const int rc = s.Step();
        if (rc != SQLITE_ROW)
            return StatementFailed(rc);
        if (subKeys)
            *subKeys = static_cast<DWORD>(s.Int(0));
        if (maxSubKeyLen)
            *maxSubKeyLen = static_cast<DWORD>(s.Int(1));
        if (values)
            *values = static_cast<DWORD>(s.Int(2));
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameSize)
{
    if (!name || !nameSize)
        return ERROR_INVALID_PARAMETER;
    return OnKey(key, Access::Read, [&](std::int64_t id) -> LONG {
        Statement s(SessionDb(), "SELECT name FROM keys WHERE parent = ? ORDER BY fold, name LIMIT 1 OFFSET ?");
        s.Bind(1, id).Bind(2, index);
        const int rc = s.Step();
        if (rc == SQLITE_DONE)
            return ERROR_NO_MORE_ITEMS;
        if (rc != SQLITE_ROW)
            return StatementFailed(rc);
        const std::string found = s.Blob(0);
        if (*nameSize < found.size() + 1)
            return ERROR_MORE_DATA;
        std::memcpy(name, found.data(), found.size());
        name[found.size()] = '\0';
        *nameSize = static_cast<DWORD>(found.size());
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteKey(HKEY parent, const std::string& subKey)
{
    if (subKey.empty())
        return ERROR_BAD_PATHNAME;
    if (const LONG err = Enter(Access::Write); err != ERROR_SUCCESS)
        return err;
    std::int64_t id = 0;
    LONG err = Walk(parent, subKey, false, &id);
    if (err == ERROR_SUCCESS) {
        Statement children(SessionDb(), "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
        children.Bind(1, id);
        const int rc = children.Step();
        if (rc == SQLITE_ROW)
            err = ERROR_ACCESS_DENIED;
        else if (rc != SQLITE_DONE)
            err = StatementFailed(rc);
    }
    if (err == ERROR_SUCCESS) {
        // The values and the key go together or not at all.
        sqlite3* db = SessionDb();
        err = ErrorFromSqlite(Exec(db, "SAVEPOINT unlink"));
        if (err == ERROR_SUCCESS) {
            Statement values(db, "DELETE FROM vals WHERE key = ?");
            int rc = values.Bind(1, id).Run();
            if (rc == SQLITE_DONE) {
                Statement keyRow(db, "DELETE FROM keys WHERE id = ?");
                rc = keyRow.Bind(1, id).Run();
            }
            if (rc != SQLITE_DONE) {
                err = StatementFailed(rc);
                Exec(db, "ROLLBACK TO unlink");
            }
            Exec(db, "RELEASE unlink");
            KeysRemoved();
        }
    }
    return Leave(err);
}

LONG RegSetValueEx(HKEY key, const std::string& valueName, DWORD type, const void* data, DWORD size)
{
    if (!ValidValueName(valueName) || (size > 0 && !data) || (type == REG_DWORD && size != 4))
        return ERROR_INVALID_PARAMETER;
    const std::string fold = FoldName(valueName);
    return OnKey(key, Access::Write, [&](std::int64_t id) -> LONG {
        Statement s(SessionDb(),
            "INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?)"
            " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
        s.Bind(1, id)
            .BindBlob(2, valueName)
            .BindBlob(3, fold)
            .Bind(4, type)
            .BindBlob(5, std::string_view(static_cast<const char*>(data), size));
        if (const int rc = s.Run(); rc != SQLITE_DONE)
            return StatementFailed(rc);
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* type, void* data, DWORD* size)
{
    if (data && !size)
        return ERROR_INVALID_PARAMETER;
    if (!ValidValueName(valueName))
        return ERROR_FILE_NOT_FOUND;
    const std::string fold = FoldName(valueName);
    return OnKey(key, Access::Read, [&](std::int64_t id) -> LONG {
        Statement s(SessionDb(), "SELECT type, data FROM vals WHERE key = ? AND fold = ?");
        s.Bind(1, id).BindBlob(2, fold);
        const int rc = s.Step();
        if (rc == SQLITE_DONE)
            return ERROR_FILE_NOT_FOUND;
        if (rc != SQLITE_ROW)
            return StatementFailed(rc);
        const std::string bytes = s.Blob(1);
        LONG err = ERROR_SUCCESS;
        if (type)
            *type = static_cast<DWORD>(s.Int(0));
        if (data && *size < bytes.size())
            err = ERROR_MORE_DATA;
        else if (data)
            std::memcpy(data, bytes.data(), bytes.size());
        if (size)
            *size = static_cast<DWORD>(bytes.size());
        return err;
    });
}

} // namespace platform
