#include "platform/store/RegistrySql.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace platform::registry {

namespace {

// Idle prepared statements of each open connection, by their text. A statement in use keeps
// the list it goes back to, which stays where it is until its connection is closed.
using IdleList = std::vector<sqlite3_stmt*>;
using Idle = std::map<std::string, IdleList, std::less<>>;
std::mutex g_cacheMutex;
std::map<sqlite3*, Idle> g_cache;

// The list a statement of this text goes back to, and an idle statement from it if there is one.
IdleList* TakeIdle(sqlite3* db, std::string_view sql, sqlite3_stmt** stmt)
{
    const std::lock_guard lock(g_cacheMutex);
    auto& idle = g_cache[db];
    auto it = idle.find(sql);
    if (it == idle.end())
        it = idle.emplace(std::string(sql), IdleList {}).first;
    IdleList& list = it->second;
    *stmt = nullptr;
    if (!list.empty()) {
        *stmt = list.back();
        list.pop_back();
    }
    return &list;
}

void KeepIdle(IdleList* list, sqlite3_stmt* stmt)
{
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    const std::lock_guard lock(g_cacheMutex);
    list->push_back(stmt);
}

} // namespace

void SqliteCloser::operator()(sqlite3* db) const
{
    std::vector<sqlite3_stmt*> idle;
    {
        const std::lock_guard lock(g_cacheMutex);
        if (const auto it = g_cache.find(db); it != g_cache.end()) {
            for (auto& [sql, statements] : it->second)
                idle.insert(idle.end(), statements.begin(), statements.end());
            g_cache.erase(it);
        }
    }
    for (sqlite3_stmt* stmt : idle)
        sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
}

int OpenDatabase(const std::string& path, int flags, Database* db)
{
    // SQLite counts every allocation under a process-wide lock unless told not to, before its
    // first use; a save makes dozens of them. The store never asks for the counts.
    static const int configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    (void)configured;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    db->reset(raw);
    return rc;
}

Statement::Statement(sqlite3* db, std::string_view sql)
{
    idle_ = TakeIdle(db, sql, &stmt_);
    if (stmt_)
        return;
    prepareResult_
        = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
    if (prepareResult_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

Statement::~Statement()
{
    if (stmt_)
        KeepIdle(idle_, stmt_);
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
            = sqlite3_bind_blob64(stmt_, index, bytes.empty() ? &empty : bytes.data(), bytes.size(), SQLITE_STATIC);
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
    // One statement (the transaction and savepoint commands) is kept prepared like any other.
    if (std::string_view(sql).find(';') == std::string_view::npos) {
        Statement statement(db, sql);
        const int rc = statement.Run();
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }
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
