// Thin RAII wrappers over the SQLite C interface, for the registry store.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

// Finalizes the statements kept for the connection, then closes it.
struct SqliteCloser {
    void operator()(sqlite3* db) const;
};
using Database = std::unique_ptr<sqlite3, SqliteCloser>;

// Opens a connection for this thread's use (SQLITE_OPEN_READONLY or SQLITE_OPEN_READWRITE);
// `db` holds it even when the open failed, so that it is closed. Returns the SQLite result.
int OpenDatabase(const std::string& path, int flags, Database* db);

// A prepared statement: bind, step through rows, read columns. Errors are SQLite result codes.
// Preparing costs more than running most of the store's statements, so a statement is kept
// with its connection when it goes out of scope and handed out again for the same text.
class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Prepared() const { return stmt_ != nullptr; }
    int PrepareResult() const { return prepareResult_; }

    Statement& Bind(int index, std::int64_t value);
    // The bytes are not copied: they must stay as they are while the statement is in scope.
    Statement& BindBlob(int index, std::string_view bytes);
    Statement& BindBlob(int index, std::string&& bytes) = delete; // would be gone before the step

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    // Runs to completion; SQLITE_DONE on success.
    int Run();

    std::int64_t Int(int column) const;
    std::string Blob(int column) const;
    bool IsNull(int column) const;

private:
    std::vector<sqlite3_stmt*>* idle_ = nullptr; // where the statement goes back to
    sqlite3_stmt* stmt_ = nullptr;
    int prepareResult_ = SQLITE_OK;
    int bindResult_ = SQLITE_OK;
};

// Runs SQL without results (several statements allowed); returns the SQLite result code.
int Exec(sqlite3* db, const char* sql);

// First column of the first row of a query as an integer, if there is one.
std::optional<std::int64_t> QueryInt(sqlite3* db, std::string_view sql);

} // namespace platform::registry
