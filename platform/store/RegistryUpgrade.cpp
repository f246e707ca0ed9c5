#include "platform/store/RegistryUpgrade.h"

#include "platform/store/RegistryFile.h"
#include "platform/store/RegistryNames.h"

#include <string>
#include <vector>

namespace platform::registry {

namespace {

struct StaleFold {
    std::int64_t key; // the key's id, or the value's key
    std::string oldFold;
    std::string newFold;
};

// Key folds (isValues false) or value folds that differ from what FoldName gives today.
bool FindStale(sqlite3* db, bool isValues, std::vector<StaleFold>* stale)
{
    Statement s(db, isValues ? "SELECT key, name, fold FROM vals" : "SELECT id, name, fold FROM keys WHERE id <> 1");
    int rc;
    while ((rc = s.Step()) == SQLITE_ROW) {
        std::string fold = FoldName(s.Blob(1));
        if (fold != s.Blob(2))
            stale->push_back({ s.Int(0), s.Blob(2), std::move(fold) });
    }
    return rc == SQLITE_DONE;
}

LONG Rewrite(sqlite3* db, const std::vector<StaleFold>& keys, const std::vector<StaleFold>& values)
{
    // Folds that changed are finer than before, so no two names can meet; should they ever, the
    // name keeps its former fold rather than take another's place.
    for (const StaleFold& k : keys) {
        Statement s(db, "UPDATE OR IGNORE keys SET fold = ? WHERE id = ?");
        if (const int rc = s.BindBlob(1, k.newFold).Bind(2, k.key).Run(); rc != SQLITE_DONE)
            return ErrorFromSqlite(rc);
    }
    for (const StaleFold& v : values) {
        Statement s(db, "UPDATE OR IGNORE vals SET fold = ? WHERE key = ? AND fold = ?");
        if (const int rc = s.BindBlob(1, v.newFold).Bind(2, v.key).BindBlob(3, v.oldFold).Run(); rc != SQLITE_DONE)
            return ErrorFromSqlite(rc);
    }
    return ERROR_SUCCESS;
}

} // namespace

LONG UpgradeNameFolds(sqlite3* db)
{
    std::vector<StaleFold> keys;
    std::vector<StaleFold> values;
    if (!FindStale(db, false, &keys) || !FindStale(db, true, &values))
        return ErrorFromSqlite(sqlite3_errcode(db));
    if (keys.empty() && values.empty())
        return ERROR_SUCCESS;

    if (const int rc = Exec(db, "BEGIN IMMEDIATE"); rc != SQLITE_OK)
        return ErrorFromSqlite(rc);
    // Another process may have done it meanwhile: look again under the write lock.
    keys.clear();
    values.clear();
    LONG err = FindStale(db, false, &keys) && FindStale(db, true, &values) ? ERROR_SUCCESS
                                                                           : ErrorFromSqlite(sqlite3_errcode(db));
    if (err == ERROR_SUCCESS)
        err = Rewrite(db, keys, values);
    if (err == ERROR_SUCCESS) {
        if (const int rc = Exec(db, "COMMIT"); rc != SQLITE_OK)
            err = ErrorFromSqlite(rc);
    }
    if (err != ERROR_SUCCESS)
        Exec(db, "ROLLBACK");
    return err;
}

} // namespace platform::registry
