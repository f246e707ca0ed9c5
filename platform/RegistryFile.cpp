#include "platform/RegistryFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::registry {

namespace {

constexpr std::int64_t ApplicationId = 0x51524731; // "QRG1"
constexpr int BusyTimeoutMs = 3000;

// Creates the folders of path that are missing, each readable by its owner only.
bool MakeFolders(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return true;
    const std::string folder = path.substr(0, slash);
    struct stat st { };
    if (stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (!MakeFolders(folder))
        return false;
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

LONG ErrorFromErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

} // namespace

LONG ErrorFromSqlite(int rc)
{
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
        return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return ERROR_BADDB;
    case SQLITE_CANTOPEN:
        return ERROR_FILE_NOT_FOUND;
    case SQLITE_TOOBIG:
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
    case SQLITE_RANGE:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

bool IdentifyFile(const std::string& path, FileIdentity* identity)
{
    struct stat st { };
    if (stat(path.c_str(), &st) != 0)
        return false;
    identity->device = st.st_dev;
    identity->inode = st.st_ino;
    return true;
}

LONG PrepareSchema(sqlite3* db)
{
    const auto appId = QueryInt(db, "PRAGMA application_id");
    if (!appId)
        return ErrorFromSqlite(sqlite3_errcode(db));
    if (*appId == ApplicationId)
        return ERROR_SUCCESS;
    const auto tables = QueryInt(db, "SELECT count(*) FROM sqlite_schema");
    if (!tables)
        return ErrorFromSqlite(sqlite3_errcode(db));
    if (*appId != 0 || *tables != 0)
        return ERROR_BADDB;

    // Two processes may meet an empty file at once: the write lock decides who creates the
    // schema, and the other sees it done.
    int rc = Exec(db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return ErrorFromSqlite(rc);
    const auto appIdNow = QueryInt(db, "PRAGMA application_id");
    if (appIdNow && *appIdNow == ApplicationId) {
        Exec(db, "COMMIT");
        return ERROR_SUCCESS;
    }
    rc = Exec(db,
        "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name BLOB NOT NULL,"
        " fold BLOB NOT NULL, UNIQUE(parent, fold));"
        "CREATE TABLE vals(key INTEGER NOT NULL, name BLOB NOT NULL, fold BLOB NOT NULL,"
        " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, fold)) WITHOUT ROWID;"
        "INSERT INTO keys(id, parent, name, fold) VALUES(1, 0, x'', x'');"
        "PRAGMA application_id = 1364346673;"
        "PRAGMA user_version = 1;"
        "COMMIT");
    if (rc != SQLITE_OK) {
        Exec(db, "ROLLBACK");
        return ErrorFromSqlite(rc);
    }
    return ERROR_SUCCESS;
}

LONG OpenStore(const std::string& path, Database* db, FileIdentity* identity)
{
    if (path.empty())
        return ERROR_FILE_NOT_FOUND;
    if (!MakeFolders(path))
        return ErrorFromErrno(errno);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return ErrorFromErrno(errno);
    struct stat st { };
    const bool statted = fstat(fd, &st) == 0;
    close(fd);
    if (!statted)
        return ERROR_REGISTRY_IO_FAILED;
    if (!S_ISREG(st.st_mode))
        return ERROR_ACCESS_DENIED;

    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    Database opened(raw);
    if (rc != SQLITE_OK)
        return ErrorFromSqlite(rc);
    sqlite3_busy_timeout(raw, BusyTimeoutMs);
    sqlite3_extended_result_codes(raw, 1);

    // WAL keeps readers and the writer apart and survives a killed writer. A commit is not
    // forced to disk, as closing a registry key does not flush it: a killed process loses
    // nothing it committed, and a power cut may lose the last commits but never corrupts the
    // store, since the log is synced before it is copied into the file. Should WAL be
    // unavailable, the rollback journal with full syncs is as safe, only slower.
    bool wal = false;
    {
        Statement journal(raw, "PRAGMA journal_mode = WAL");
        rc = journal.Step();
        if (rc != SQLITE_ROW && (rc & 0xFF) != SQLITE_BUSY)
            return ErrorFromSqlite(rc);
        wal = rc == SQLITE_ROW && journal.Blob(0) == "wal";
    }
    rc = Exec(raw, wal ? "PRAGMA synchronous = NORMAL" : "PRAGMA synchronous = FULL");
    if (rc != SQLITE_OK)
        return ErrorFromSqlite(rc);
    if (const LONG err = PrepareSchema(raw); err != ERROR_SUCCESS)
        return err;

    identity->device = st.st_dev;
    identity->inode = st.st_ino;
    *db = std::move(opened);
    return ERROR_SUCCESS;
}

LONG OpenImageForReading(const std::string& path, Database* db)
{
    struct stat st { };
    if (stat(path.c_str(), &st) != 0)
        return ErrorFromErrno(errno);
    if (!S_ISREG(st.st_mode))
        return ERROR_BADDB;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    Database opened(raw);
    if (rc != SQLITE_OK)
        return ErrorFromSqlite(rc);
    const auto appId = QueryInt(raw, "PRAGMA application_id");
    if (!appId || *appId != ApplicationId)
        return ERROR_BADDB;
    *db = std::move(opened);
    return ERROR_SUCCESS;
}

} // namespace platform::registry
