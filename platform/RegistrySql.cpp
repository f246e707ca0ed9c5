#include "platform/RegistrySql.h"

namespace platform::registry {

Statement::Statement(sqlite3* db, std::string_view sql)
{
    prepareResult_ = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
    if (prepareResult_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

Statement::~Statement()
{
    sqlite3_finalize(stmt_);
}

Statement& Statement::Bind(int index, std::int64_t value)
{
    if (stmt_ && bindResult_ == SQLITE_OK)
        bindResult_ = sqlite3_bind_int64(stmt_, index, value);
    return *this;
}

Statement& Statement::BindBlob(int index, std::string_view bytes)
{
    // A zero-length blob must still bind as a blob, not as NULL: pass a non-null pointer.
    static const char empty = 0;
    if (stmt_ && bindResult_ == SQLITE_OK)
        bindResult_
            = sqlite3_bind_blob64(stmt_, index, bytes.empty() ? &empty : bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    return *this;
}

int Statement::Step()
{
    if (!stmt_)
        return prepareResult_ == SQLITE_OK ? SQLITE_MISUSE : prepareResult_;
    if (bindResult_ != SQLITE_OK)
        return bindResult_;
    return sqlite3_step(stmt_);
}

int Statement::Run()
{
    int rc;
    while ((rc = Step()) == SQLITE_ROW) { }
    return rc;
}

std::int64_t Statement::Int(int column) const
{
    return sqlite3_column_int64(stmt_, column);
}

std::string Statement::Blob(int column) const
{
    const void* data = sqlite3_column_blob(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    if (!data || size <= 0)
        return {};
    return std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

bool Statement::IsNull(int column) const
{
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

int Exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

std::optional<std::int64_t> QueryInt(sqlite3* db, std::string_view sql)
{
    Statement s(db, sql);
    if (s.Step() != SQLITE_ROW)
        return std::nullopt;
    return s.Int(0);
}

} // namespace platform::registry
