// Saving a key's subtree to an image file, and reading an image back into a key.
#include "platform/store/Registry.h"
#include "platform/store/RegistryFile.h"
#include "platform/store/RegistrySession.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace platform {

using namespace registry;

namespace {

struct KeyRow {
    std::int64_t id;
    std::int64_t parent;
    std::string name;
    std::string fold;
};

struct ValueRow {
    std::int64_t key;
    std::string name;
    std::string fold;
    std::int64_t type;
    std::string data;
};

struct Tree {
    std::vector<KeyRow> keys; // parents before their children; the top key first
    std::vector<ValueRow> values;
};

constexpr const char* SubtreeIds = "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
                                   " SELECT k.id FROM keys k JOIN sub ON k.parent = sub.id) ";

int ReadTree(sqlite3* db, std::int64_t top, Tree* tree)
{
    Statement keys(
        db, std::string(SubtreeIds) + "SELECT k.id, k.parent, k.name, k.fold FROM sub JOIN keys k USING(id)");
    keys.Bind(1, top);
    int rc;
    while ((rc = keys.Step()) == SQLITE_ROW)
        tree->keys.push_back({ keys.Int(0), keys.Int(1), keys.Blob(2), keys.Blob(3) });
    if (rc != SQLITE_DONE)
        return rc;
    Statement values(db,
        std::string(SubtreeIds)
            + "SELECT v.key, v.name, v.fold, v.type, v.data FROM sub JOIN vals v ON v.key = sub.id");
    values.Bind(1, top);
    while ((rc = values.Step()) == SQLITE_ROW)
        tree->values.push_back({ values.Int(0), values.Blob(1), values.Blob(2), values.Int(3), values.Blob(4) });
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Inserts tree below the existing key target: tree's top key becomes target itself.
int WriteTree(sqlite3* db, const Tree& tree, std::int64_t target)
{
    if (tree.keys.empty())
        return SQLITE_OK;
    std::unordered_map<std::int64_t, std::int64_t> ids { { tree.keys.front().id, target } };
    for (std::size_t i = 1; i < tree.keys.size(); ++i) {
        const KeyRow& k = tree.keys[i];
        const auto parent = ids.find(k.parent);
        if (parent == ids.end())
            return SQLITE_CORRUPT;
        Statement s(db, "INSERT INTO keys(parent, name, fold) VALUES(?, ?, ?)");
        s.Bind(1, parent->second).BindBlob(2, k.name).BindBlob(3, k.fold);
        if (const int rc = s.Run(); rc != SQLITE_DONE)
            return rc;
        ids.emplace(k.id, sqlite3_last_insert_rowid(db));
    }
    for (const ValueRow& v : tree.values) {
        const auto key = ids.find(v.key);
        if (key == ids.end())
            return SQLITE_CORRUPT;
        Statement s(db, "INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?)");
        s.Bind(1, key->second).BindBlob(2, v.name).BindBlob(3, v.fold).Bind(4, v.type).BindBlob(5, v.data);
        if (const int rc = s.Run(); rc != SQLITE_DONE)
            return rc;
    }
    return SQLITE_OK;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

LONG WriteImage(const std::string& fileName, const Tree& tree)
{
    // The name is claimed first, so that an existing file is refused and never touched; the
    // image is built beside it and renamed over the claim only once it is complete.
    const int claim = open(fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (claim < 0) {
        if (errno == EEXIST)
            return ERROR_ALREADY_EXISTS;
        return errno == EACCES || errno == EPERM || errno == EROFS ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    }
    close(claim);

    std::string temp = fileName + ".XXXXXX";
    const int tempFd = mkstemp(temp.data());
    if (tempFd < 0) {
        unlink(fileName.c_str());
        return ERROR_ACCESS_DENIED;
    }
    close(tempFd);

    LONG err = ERROR_SUCCESS;
    {
        Database image;
        int rc = OpenDatabase(temp, SQLITE_OPEN_READWRITE, &image);
        sqlite3* raw = image.get();
        if (rc == SQLITE_OK)
            err = PrepareSchema(raw);
        else
            err = ErrorFromSqlite(rc);
        if (err == ERROR_SUCCESS) {
            rc = Exec(raw, "BEGIN");
            if (rc == SQLITE_OK)
                rc = WriteTree(raw, tree, TopKeyId);
            if (rc == SQLITE_OK)
                rc = Exec(raw, "COMMIT");
            if (rc != SQLITE_OK) {
                Exec(raw, "ROLLBACK");
                err = ErrorFromSqlite(rc);
                if (err == ERROR_SUCCESS)
                    err = ERROR_REGISTRY_IO_FAILED;
            }
        }
    }
    if (err == ERROR_SUCCESS && rename(temp.c_str(), fileName.c_str()) != 0)
        err = ERROR_REGISTRY_IO_FAILED;
    if (err != ERROR_SUCCESS) {
        unlink(temp.c_str());
        unlink(fileName.c_str());
        return err;
    }
    const int folder = open(FolderOf(fileName).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return ERROR_SUCCESS;
}

} // namespace

LONG RegSaveKey(HKEY key, const std::string& fileName)
{
    if (fileName.empty())
        return ERROR_INVALID_PARAMETER;
    return OnKey(key, Access::Read, [&](std::int64_t id) -> LONG {
        Tree tree;
        if (const int rc = ReadTree(SessionDb(), id, &tree); rc != SQLITE_OK)
            return StatementFailed(rc);
        return WriteImage(fileName, tree);
    });
}

LONG RegRestoreKey(HKEY key, const std::string& fileName)
{
    Tree tree;
    {
        Database image;
        if (const LONG err = OpenImageForReading(fileName, &image); err != ERROR_SUCCESS)
            return err;
        if (const int rc = ReadTree(image.get(), TopKeyId, &tree); rc != SQLITE_OK)
            return ErrorFromSqlite(rc) == ERROR_SUCCESS ? ERROR_BADDB : ErrorFromSqlite(rc);
    }
    return OnKey(key, Access::Write, [&](std::int64_t id) -> LONG {
        sqlite3* db = SessionDb();
        int rc = Exec(db, "SAVEPOINT restore");
        if (rc != SQLITE_OK)
            return StatementFailed(rc);
        Statement values(db, std::string(SubtreeIds) + "DELETE FROM vals WHERE key IN (SELECT id FROM sub)");
        rc = values.Bind(1, id).Run();
        if (rc == SQLITE_DONE) {
            Statement keys(
                db, std::string(SubtreeIds) + "DELETE FROM keys WHERE id IN (SELECT id FROM sub) AND id <> ?1");
            rc = keys.Bind(1, id).Run();
        }
        KeysRemoved();
        if (rc == SQLITE_DONE)
            rc = WriteTree(db, tree, id);
        LONG err = ERROR_SUCCESS;
        if (rc != SQLITE_OK) {
            err = StatementFailed(rc);
            Exec(db, "ROLLBACK TO restore");
        }
        Exec(db, "RELEASE restore");
        return err;
    });
}

} // namespace platform
