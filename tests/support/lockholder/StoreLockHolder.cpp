// Test helper: takes the store's write lock, as another instance in the middle of a save would,
// and keeps it until its standard input ends or says "release".
#include <cstdio>
#include <cstring>
#include <sqlite3.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <store file>\n", argv[0]);
        return 2;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    sqlite3_busy_timeout(db, 20000);
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot lock: %s\n", sqlite3_errmsg(db));
        return 1;
    }
    std::printf("locked\n");
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin) && std::strncmp(line, "release", 7) != 0) { }
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::printf("released\n");
    return 0;
}
