#include "platform/store/RegistryFile.h"

#include "platform/store/RegistryUpgrade.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
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
    if (stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
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

void Explain(std::string* problem, const std::string& text)
{
    if (problem)
        *problem = text;
}

LONG FailWithErrno(int error, std::string* problem)
{
    Explain(problem, std::strerror(error));
    return ErrorFromErrno(error);
}

constexpr unsigned char SqliteMagic[16]
    = { 'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f', 'o', 'r', 'm', 'a', 't', ' ', '3', 0 };
constexpr std::size_t SqliteHeaderSize = 100;
constexpr std::size_t ApplicationIdOffset = 68;

// The application id and the number of schema entries, read by one statement so that both come
// from the same snapshot: read one after the other, a schema that another process commits in
// between looks like a database of another program (no id, but tables).
struct SchemaIdentity {
    std::int64_t appId = 0;
    std::int64_t entries = 0;
};

std::optional<SchemaIdentity> ReadSchemaIdentity(sqlite3* db)
{
    Statement s(db, "SELECT application_id, (SELECT count(*) FROM sqlite_schema) FROM pragma_application_id()");
    if (s.Step() != SQLITE_ROW)
        return std::nullopt;
    return SchemaIdentity { s.Int(0), s.Int(1) };
}

// Whether the file behind fd is one of our stores, or empty, before SQLite writes a byte of it:
// merely opening a database for writing may switch its journal or roll back its journal, and
// somebody else's file must stay exactly as it is.
LONG CheckFileIsOurs(const std::string& path, int fd, off_t size, std::string* problem)
{
    if (size == 0)
        return ERROR_SUCCESS;
    unsigned char header[SqliteHeaderSize] = {};
    const ssize_t got = pread(fd, header, sizeof header, 0);
    if (got != static_cast<ssize_t>(sizeof header) || std::memcmp(header, SqliteMagic, sizeof SqliteMagic) != 0) {
        Explain(problem, "Not a settings file");
        return ERROR_BADDB;
    }
    const std::int64_t appId = static_cast<std::int64_t>(header[ApplicationIdOffset]) << 24
        | header[ApplicationIdOffset + 1] << 16 | header[ApplicationIdOffset + 2] << 8
        | header[ApplicationIdOffset + 3];
    if (appId == ApplicationId)
        return ERROR_SUCCESS;
    if (appId != 0) {
        Explain(problem, "A database of another program");
        return ERROR_BADDB;
    }
    // A store of ours whose first transaction has not reached the main file yet shows no id in
    // the header: ask SQLite, through a connection that cannot write.
    Database reader;
    const int rc = OpenDatabase(path, SQLITE_OPEN_READONLY, &reader);
    sqlite3* raw = reader.get();
    if (rc != SQLITE_OK) {
        Explain(problem, sqlite3_errstr(rc));
        return ErrorFromSqlite(rc);
    }
    sqlite3_busy_timeout(raw, BusyTimeoutMs);
    const auto read = ReadSchemaIdentity(raw);
    if (!read) {
        const int err = sqlite3_errcode(raw);
        Explain(problem, (err & 0xFF) == SQLITE_NOTADB ? "Not a settings file" : sqlite3_errstr(err));
        return ErrorFromSqlite(err);
    }
    if (read->appId == ApplicationId || (read->appId == 0 && read->entries == 0))
        return ERROR_SUCCESS;
    Explain(problem, "A database of another program");
    return ERROR_BADDB;
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
    const auto read = ReadSchemaIdentity(db);
    if (!read)
        return ErrorFromSqlite(sqlite3_errcode(db));
    if (read->appId == ApplicationId)
        return ERROR_SUCCESS;
    if (read->appId != 0 || read->entries != 0)
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

LONG OpenStore(const std::string& path, Database* db, FileIdentity* identity, std::string* problem)
{
    if (path.empty()) {
        Explain(problem, "No home folder");
        return ERROR_FILE_NOT_FOUND;
    }
    if (!MakeFolders(path))
        return FailWithErrno(errno, problem);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return FailWithErrno(errno, problem);
    struct stat st { };
    if (fstat(fd, &st) != 0) {
        const int error = errno;
        close(fd);
        return FailWithErrno(error, problem);
    }
    LONG checked = ERROR_SUCCESS;
    if (!S_ISREG(st.st_mode)) {
        Explain(problem, "Not a regular file");
        checked = ERROR_ACCESS_DENIED;
    } else if (st.st_uid != geteuid()) {
        // The store holds passwords: a file that somebody else owns, and so can read, is not used.
        Explain(problem, "Owned by another user");
        checked = ERROR_ACCESS_DENIED;
    } else if ((st.st_mode & S_IWUSR) == 0) {
        // Made read-only by its owner; kept so even where the process could write it anyway.
        Explain(problem, "Read-only file");
        checked = ERROR_ACCESS_DENIED;
    } else {
        checked = CheckFileIsOurs(path, fd, st.st_size, problem);
    }
    close(fd);
    if (checked != ERROR_SUCCESS)
        return checked;

    Database opened;
    int rc = OpenDatabase(path, SQLITE_OPEN_READWRITE, &opened);
    sqlite3* raw = opened.get();
    if (rc != SQLITE_OK) {
        Explain(problem, sqlite3_errstr(rc));
        return ErrorFromSqlite(rc);
    }
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
        if (rc != SQLITE_ROW && (rc & 0xFF) != SQLITE_BUSY) {
            Explain(problem, sqlite3_errstr(rc));
            return ErrorFromSqlite(rc);
        }
        wal = rc == SQLITE_ROW && journal.Blob(0) == "wal";
    }
    rc = Exec(raw, wal ? "PRAGMA synchronous = NORMAL" : "PRAGMA synchronous = FULL");
    if (rc != SQLITE_OK) {
        Explain(problem, sqlite3_errstr(rc));
        return ErrorFromSqlite(rc);
    }
    if (const LONG err = PrepareSchema(raw); err != ERROR_SUCCESS) {
        Explain(problem, err == ERROR_BADDB ? "Not a settings file" : sqlite3_errmsg(raw));
        return err;
    }
    if (const LONG err = UpgradeNameFolds(raw); err != ERROR_SUCCESS) {
        Explain(problem, sqlite3_errmsg(raw));
        return err;
    }

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
    Database opened;
    const int rc = OpenDatabase(path, SQLITE_OPEN_READONLY, &opened);
    sqlite3* raw = opened.get();
    if (rc != SQLITE_OK)
        return ErrorFromSqlite(rc);
    const auto appId = QueryInt(raw, "PRAGMA application_id");
    if (!appId || *appId != ApplicationId)
        return ERROR_BADDB;
    *db = std::move(opened);
    return ERROR_SUCCESS;
}

} // namespace platform::registry
