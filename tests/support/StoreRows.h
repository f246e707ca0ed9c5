// The store file's rows read with SQLite itself, beside the code under test: what is on disk.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace testing_support {

// Every account record, each value as name, type and bytes in hex, one line each; SQLite's
// error when the file cannot be read.
inline std::string AccountRows(const std::string& storePath)
{
    sqlite3* db = nullptr;
    std::string rows;
    if (sqlite3_open_v2(storePath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        rows = std::string("cannot open: ") + sqlite3_errmsg(db);
    } else {
        sqlite3_busy_timeout(db, 10000);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
            "SELECT hex(k.name), hex(k.fold), hex(v.name), v.type, hex(v.data) FROM keys k"
            " JOIN keys a ON a.id = k.parent AND CAST(a.name AS TEXT) = 'account'"
            " LEFT JOIN vals v ON v.key = k.id ORDER BY k.id, v.fold",
            -1, &st, nullptr);
        if (!st)
            rows = std::string("cannot read: ") + sqlite3_errmsg(db);
        int rc = SQLITE_DONE;
        while (st && (rc = sqlite3_step(st)) == SQLITE_ROW) {
            for (int c = 0; c < 5; ++c) {
                const auto* text = sqlite3_column_text(st, c);
                rows += text ? reinterpret_cast<const char*>(text) : "-";
                rows += c < 4 ? ' ' : '\n';
            }
        }
        if (st && rc != SQLITE_DONE)
            rows += std::string("cannot read: ") + sqlite3_errmsg(db);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return rows;
}

// Runs SQL on the store file through a connection of its own; true when it succeeded.
inline bool ExecOnStore(const std::string& storePath, const char* sql)
{
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(storePath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_busy_timeout(db, 10000);
        ok = sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    sqlite3_close(db);
    return ok;
}

// Copies the store to `copyPath` with the overflow pages of its values (where the bytes of a long
// value go that do not fit beside its name) overwritten: keys and short values still read, a
// long value does not. True when there was such a page to spoil.
inline bool CopyWithSpoiltValuePages(const std::string& storePath, const std::string& copyPath)
{
    sqlite3* db = nullptr;
    std::vector<std::int64_t> pages;
    std::int64_t pageSize = 0;
    bool ok = sqlite3_open_v2(storePath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_busy_timeout(db, 10000);
        // Every committed page into the file itself, so that the copy holds all of them.
        ok = sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_stmt* st = nullptr;
        ok = ok && sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &st, nullptr) == SQLITE_OK
            && sqlite3_step(st) == SQLITE_ROW;
        if (ok)
            pageSize = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        st = nullptr;
        ok = ok
            && sqlite3_prepare_v2(
                   db, "SELECT pageno FROM dbstat WHERE name = 'vals' AND pagetype = 'overflow'", -1, &st, nullptr)
                == SQLITE_OK;
        while (ok && sqlite3_step(st) == SQLITE_ROW)
            pages.push_back(sqlite3_column_int64(st, 0));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    if (!ok || pages.empty() || pageSize <= 0)
        return false;
    std::ifstream in(storePath, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const std::int64_t page : pages) {
        const auto at = static_cast<std::size_t>((page - 1) * pageSize);
        if (at + static_cast<std::size_t>(pageSize) > bytes.size())
            return false;
        bytes.replace(at, static_cast<std::size_t>(pageSize), static_cast<std::size_t>(pageSize), '\xff');
    }
    std::ofstream out(copyPath, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail() && ::chmod(copyPath.c_str(), 0600) == 0;
}

} // namespace testing_support
