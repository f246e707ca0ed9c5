#include "platform/store/Registry.h"

#include "RegistryProbe.h"
#include "tests/support/TempRegistry.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>

using namespace platform;

namespace {

class Registry : public ::testing::Test {
protected:
    // Opens or creates path below HKEY_CURRENT_USER; the key is closed at the end of the test.
    HKEY Create(const std::string& path)
    {
        HKEY key = 0;
        EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, path, &key), ERROR_SUCCESS) << path;
        open_.push_back(key);
        return key;
    }

    void TearDown() override
    {
        for (HKEY key : open_)
            RegCloseKey(key);
    }

    // What another process would see: a separate connection to the file.
    std::optional<std::string> CommittedValue(const std::string& valueName)
    {
        sqlite3* db = nullptr;
        std::optional<std::string> result;
        if (sqlite3_open_v2(registry_.Path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(db, "SELECT data FROM vals WHERE name = ?", -1, &st, nullptr);
            sqlite3_bind_blob(st, 1, valueName.data(), static_cast<int>(valueName.size()), SQLITE_TRANSIENT);
            if (sqlite3_step(st) == SQLITE_ROW)
                result = std::string(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                    static_cast<std::size_t>(sqlite3_column_bytes(st, 0)));
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
        return result;
    }

    testing_support::TempRegistry registry_;
    std::vector<HKEY> open_;
};

} // namespace

TEST_F(Registry, CreateMakesEveryMissingKeyOnTheWay)
{
    Create("a\\b\\c");
    EXPECT_TRUE(probe::KeyExists("a"));
    EXPECT_TRUE(probe::KeyExists("a\\b"));
    EXPECT_TRUE(probe::KeyExists("a\\b\\c"));
    EXPECT_EQ(probe::Subkeys("a"), std::vector<std::string> { "b" });
}

TEST_F(Registry, OpenExistingDoesNotCreate)
{
    HKEY key = 123;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "missing\\deeper", &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, 0u);
    EXPECT_FALSE(probe::KeyExists("missing"));
}

TEST_F(Registry, RelativePathsStartAtTheGivenKey)
{
    const HKEY parent = Create("top");
    HKEY child = 0;
    ASSERT_EQ(RegCreateKeyEx(parent, "child\\grandchild", &child), ERROR_SUCCESS);
    RegCloseKey(child);
    EXPECT_TRUE(probe::KeyExists("top\\child\\grandchild"));
    ASSERT_EQ(RegOpenKeyEx(parent, "CHILD", &child), ERROR_SUCCESS);
    RegCloseKey(child);
}

TEST_F(Registry, PathsWithEmptyOrOverlongNamesAreRefused)
{
    HKEY key = 0;
    for (const std::string& bad :
        std::vector<std::string> { "a\\\\b", "\\a", "a\\", "\\", std::string("a\0b", 3), std::string(256, 'n') })
        EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, bad, &key), ERROR_BAD_PATHNAME) << bad;
    EXPECT_TRUE(probe::Subkeys(std::string()).empty());
    Create(std::string(255, 'n'));
    Create(std::string(255 / 2, 'n') + "ä"); // characters, not bytes, are counted
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, ""), ERROR_BAD_PATHNAME);
}

TEST_F(Registry, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling)
{
    Create("Software\\Brask");
    Create("SOFTWARE\\brask\\More");
    EXPECT_EQ(probe::Subkeys(""), std::vector<std::string> { "Software" });
    EXPECT_EQ(probe::Subkeys("software"), std::vector<std::string> { "Brask" });
    Create("Äpfel");
    EXPECT_TRUE(probe::KeyExists("äPFEL"));
    EXPECT_EQ(probe::Subkeys("").size(), 2u);
}

TEST_F(Registry, SubkeysEnumerateInCaseInsensitiveOrder)
{
    for (const char* name : { "b", "A", "c", "B2", "a1", "_x", "Zed" })
        Create(std::string("list\\") + name);
    // Names compare in upper case, so "_" (0x5F) comes after every letter.
    EXPECT_EQ(probe::Subkeys("list"), (std::vector<std::string> { "A", "a1", "b", "B2", "c", "Zed", "_x" }));
}

TEST_F(Registry, InfoAndEnumerationBounds)
{
    const HKEY list = Create("list");
    Create("list\\short");
    Create("list\\a much longer name");
    DWORD count = 0;
    DWORD longest = 0;
    DWORD values = 9;
    ASSERT_EQ(RegQueryInfoKey(list, &count, &longest, &values), ERROR_SUCCESS);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(longest, 18u);
    EXPECT_EQ(values, 0u);

    char buffer[32];
    DWORD size = 18; // no room for the zero
    EXPECT_EQ(RegEnumKeyEx(list, 0, buffer, &size), ERROR_MORE_DATA);
    size = 19;
    ASSERT_EQ(RegEnumKeyEx(list, 0, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 18u);
    EXPECT_STREQ(buffer, "a much longer name");
    size = sizeof buffer;
    EXPECT_EQ(RegEnumKeyEx(list, 2, buffer, &size), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegQueryInfoKey(0x4242, &count, &longest), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, ValuesKeepTheirTypeAndBytes)
{
    const HKEY key = Create("values");
    const std::string text("ab\0cd\0", 6);
    ASSERT_EQ(RegSetValueEx(key, "Text", REG_SZ, text.data(), 6), ERROR_SUCCESS);
    const unsigned char dword[4] = { 0x78, 0x56, 0x34, 0x12 };
    ASSERT_EQ(RegSetValueEx(key, "Number", REG_DWORD, dword, 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, "Empty", REG_SZ, nullptr, 0), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueEx(key, "text", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u);
    char small[3];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueEx(key, "TEXT", &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    char exact[6];
    ASSERT_EQ(RegQueryValueEx(key, "Text", &type, exact, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(exact, size), text);

    EXPECT_EQ(probe::AsInt(probe::Get("values", "number")->bytes), 0x12345678);
    EXPECT_EQ(probe::Get("values", "Empty")->bytes, "");
    EXPECT_EQ(RegQueryValueEx(key, "absent", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);

    // Rewriting under another spelling replaces the value, type included.
    ASSERT_EQ(RegSetValueEx(key, "NUMBER", REG_SZ, "x", 2), ERROR_SUCCESS);
    EXPECT_EQ(probe::Get("values", "Number")->type, REG_SZ);
    DWORD valueCount = 0;
    ASSERT_EQ(RegQueryInfoKey(key, nullptr, nullptr, &valueCount), ERROR_SUCCESS);
    EXPECT_EQ(valueCount, 3u);
}

TEST_F(Registry, BadValueWritesAreRefused)
{
    const HKEY key = Create("values");
    const char three[3] = { 1, 2, 3 };
    EXPECT_EQ(RegSetValueEx(key, "n", REG_DWORD, three, 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(key, "n", REG_SZ, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(key, std::string("a\0b", 3), REG_SZ, "x", 2), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(0x4242, "n", REG_SZ, "x", 2), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(probe::Get("values", "n"));
}

TEST_F(Registry, DeleteRefusesAKeyWithSubkeysAndTakesValuesAlong)
{
    probe::SetString("p\\leaf", "v", "1");
    probe::SetString("p", "pv", "2");
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "p"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(probe::Get("p\\leaf", "v"));
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "P\\LEAF"), ERROR_SUCCESS);
    EXPECT_FALSE(probe::KeyExists("p\\leaf"));
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "p\\leaf"), ERROR_FILE_NOT_FOUND);
    probe::MakeKey("p\\leaf");
    EXPECT_TRUE(probe::IsEmptyKey("p\\leaf"));
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "p\\leaf"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "p"), ERROR_SUCCESS);
    EXPECT_FALSE(probe::KeyExists("p"));
}

TEST_F(Registry, HandleOfADeletedKeyStaysDeadEvenWhenANewKeyArrives)
{
    const HKEY stale = Create("doomed");
    ASSERT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "doomed"), ERROR_SUCCESS);
    Create("newcomer");
    Create("doomed");
    EXPECT_EQ(RegSetValueEx(stale, "v", REG_SZ, "x", 2), ERROR_KEY_DELETED);
    EXPECT_FALSE(probe::Get("newcomer", "v"));
    EXPECT_FALSE(probe::Get("doomed", "v"));
    EXPECT_EQ(RegCloseKey(stale), ERROR_SUCCESS);
    open_.erase(open_.begin());
    EXPECT_EQ(RegCloseKey(stale), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, WritesBecomeVisibleToOthersWhenTheLastKeyCloses)
{
    HKEY outer = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "tx", &outer), ERROR_SUCCESS);
    HKEY inner = 0;
    ASSERT_EQ(RegCreateKeyEx(outer, "inner", &inner), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(inner, "marker", REG_SZ, "1", 2), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(inner), ERROR_SUCCESS);
    EXPECT_FALSE(CommittedValue("marker")) << "visible while a key is still open";
    ASSERT_EQ(RegCloseKey(outer), ERROR_SUCCESS);
    EXPECT_EQ(CommittedValue("marker"), std::string("1", 2));
}

TEST_F(Registry, StoreFileAndFolderAreTheOwnersOnly)
{
    Create("x");
    struct stat st { };
    ASSERT_EQ(stat(registry_.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((registry_.Folder() + "/config").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(Registry, DefaultLocationFollowsXdgConfigHomeThenHome)
{
    unsetenv("QUORVEL_REGISTRY");
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "";
    setenv("XDG_CONFIG_HOME", "/xdg/place", 1);
    EXPECT_EQ(RegistryPath(), "/xdg/place/quorvel/registry.sqlite3");
    unsetenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (home && *home) {
        EXPECT_EQ(RegistryPath(), std::string(home) + "/.config/quorvel/registry.sqlite3");
    }
    setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
    if (home && *home) {
        EXPECT_EQ(RegistryPath(), std::string(home) + "/.config/quorvel/registry.sqlite3");
    }
    if (oldXdg)
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    setenv("QUORVEL_REGISTRY", registry_.Path().c_str(), 1);
    EXPECT_EQ(RegistryPath(), registry_.Path());
}

TEST_F(Registry, AForeignFileIsNeitherUsedNorTouched)
{
    ASSERT_EQ(mkdir((registry_.Folder() + "/config").c_str(), 0700), 0);
    {
        QFile f(QString::fromStdString(registry_.Path()));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a database, but somebody's file\n");
    }
    HKEY key = 0;
    EXPECT_NE(RegCreateKeyEx(HKEY_CURRENT_USER, "x", &key), ERROR_SUCCESS);
    QFile f(QString::fromStdString(registry_.Path()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("not a database, but somebody's file\n"));
}

TEST_F(Registry, AnotherProgramsDatabaseIsLeftByteIdentical)
{
    ASSERT_EQ(mkdir((registry_.Folder() + "/config").c_str(), 0700), 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(registry_.Path().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, "CREATE TABLE notes(t TEXT); INSERT INTO notes VALUES('keep me');", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    QFile f(QString::fromStdString(registry_.Path()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    HKEY key = 0;
    EXPECT_NE(RegCreateKeyEx(HKEY_CURRENT_USER, "x", &key), ERROR_SUCCESS);
    std::string reason;
    EXPECT_NE(RegCheckStore(&reason), ERROR_SUCCESS);
    EXPECT_EQ(reason, "A database of another program");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(registry_.Path() + "-wal")));
}

TEST_F(Registry, DiscardedWritesAreNeverCommitted)
{
    probe::SetString("k", "v", "kept");
    HKEY key = Create("k");
    ASSERT_EQ(RegSetValueEx(key, "v", REG_SZ, "gone", 5), ERROR_SUCCESS);
    HKEY other = Create("new");
    EXPECT_EQ(RegDiscardWrites(), ERROR_SUCCESS);
    EXPECT_NE(RegSetValueEx(key, "w", REG_SZ, "x", 2), ERROR_SUCCESS);
    RegCloseKey(other);
    RegCloseKey(key);
    open_.clear();
    EXPECT_EQ(CommittedValue("v"), std::string("kept", 5));
    EXPECT_FALSE(probe::KeyExists("new"));
    probe::SetString("k", "v", "later");
    EXPECT_EQ(CommittedValue("v"), std::string("later", 6));
}

TEST_F(Registry, AStoreRemovedBetweenOperationsIsMadeAfresh)
{
    probe::SetString("k", "v", "1");
    ASSERT_EQ(std::remove(registry_.Path().c_str()), 0);
    std::remove((registry_.Path() + "-wal").c_str());
    std::remove((registry_.Path() + "-shm").c_str());
    EXPECT_FALSE(probe::KeyExists("k"));
    probe::SetString("k", "v", "2");
    EXPECT_EQ(probe::Get("k", "v")->bytes, std::string("2", 2));
    EXPECT_EQ(CommittedValue("v"), std::string("2", 2));
}

TEST_F(Registry, SwitchingStoresBetweenOperations)
{
    probe::SetString("k", "v", "first");
    testing_support::TempRegistry other;
    EXPECT_FALSE(probe::KeyExists("k"));
    probe::SetString("k", "v", "second");
    setenv("QUORVEL_REGISTRY", registry_.Path().c_str(), 1);
    EXPECT_EQ(probe::Get("k", "v")->bytes, std::string("first", 6));
}

TEST_F(Registry, SavedImageRestoresTheWholeSubtreeAndNothingElse)
{
    probe::SetString("src\\a", "s", "text");
    probe::SetInt("src\\a\\deep", "n", -2);
    probe::SetString("src", "top", "t");
    probe::SetString("outside", "o", "no");
    const std::string file = registry_.Folder() + "/image.reg";
    {
        const HKEY src = Create("src");
        ASSERT_EQ(RegSaveKey(src, file), ERROR_SUCCESS);
        EXPECT_EQ(RegSaveKey(src, file), ERROR_ALREADY_EXISTS);
    }
    const HKEY dst = Create("dst");
    probe::SetString("dst\\old", "gone", "1");
    ASSERT_EQ(RegRestoreKey(dst, file), ERROR_SUCCESS);
    EXPECT_EQ(probe::Subkeys(dst), std::vector<std::string> { "a" });
    EXPECT_EQ(probe::Get("dst", "top")->bytes, std::string("t", 2));
    EXPECT_EQ(probe::Get("dst\\a", "s")->bytes, std::string("text", 5));
    EXPECT_EQ(probe::AsInt(probe::Get("dst\\a\\deep", "n")->bytes), -2);
    EXPECT_EQ(probe::Get("dst\\a\\deep", "n")->type, REG_DWORD);
    EXPECT_FALSE(probe::KeyExists("dst\\old"));
    EXPECT_FALSE(probe::KeyExists("dst\\outside"));
    EXPECT_FALSE(probe::Get("dst", "o"));

    // Only the image file itself is left beside it.
    const QStringList files = QDir(QString::fromStdString(registry_.Folder())).entryList(QDir::Files);
    EXPECT_EQ(files, QStringList { "image.reg" });
}

TEST_F(Registry, RestoreRefusesWhatIsNotAnImage)
{
    const std::string file = registry_.Folder() + "/plain.txt";
    {
        QFile f(QString::fromStdString(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("hello");
    }
    probe::SetString("dst", "keep", "1");
    const HKEY dst = Create("dst");
    EXPECT_EQ(RegRestoreKey(dst, file), ERROR_BADDB);
    EXPECT_EQ(RegRestoreKey(dst, file + ".missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(probe::Get("dst", "keep"));
}

// A path opened once is opened again without walking it; these cases must still find the key
// the store holds now.
class KnownPaths : public Registry {
protected:
    // Runs SQL on the file through a connection of its own, as another process would.
    void OtherProcess(const std::string& sql)
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(registry_.Path().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }

    // Deletes the key `name` under the top key, with its values.
    std::string DeleteSql(const std::string& name)
    {
        return "DELETE FROM vals WHERE key IN (SELECT id FROM keys WHERE parent = 1 AND name = x'" + Hex(name)
            + "'); DELETE FROM keys WHERE parent = 1 AND name = x'" + Hex(name) + "';";
    }

    static std::string Hex(const std::string& bytes)
    {
        static const char digits[] = "0123456789abcdef";
        std::string out;
        for (const unsigned char c : bytes) {
            out += digits[c >> 4];
            out += digits[c & 15];
        }
        return out;
    }
};

TEST_F(KnownPaths, AKeyWhoseCreationWasTakenBackIsNotFoundUnderTheIdOfTheNextKey)
{
    // The rolled-back key's id is free again, and the next key created takes it.
    HKEY taken = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "taken back", &taken), ERROR_SUCCESS);
    HKEY again = 0;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "taken back", &again), ERROR_SUCCESS);
    ASSERT_EQ(RegDiscardWrites(), ERROR_SUCCESS);
    RegCloseKey(again);
    RegCloseKey(taken);
    probe::SetString("next", "v", "of next");
    HKEY key = 0;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "taken back", &key), ERROR_FILE_NOT_FOUND);
    if (key != 0)
        RegCloseKey(key);
    EXPECT_FALSE(probe::KeyExists("taken back"));
}

TEST_F(KnownPaths, AKeyAnotherProcessReplacedIsTheNewOne)
{
    probe::SetString("replaced", "v", "old");
    ASSERT_EQ(probe::Get("replaced", "v")->bytes, std::string("old", 4));
    OtherProcess(DeleteSql("replaced") + "INSERT INTO keys(parent, name, fold) VALUES(1, x'" + Hex("replaced") + "', x'"
        + Hex("REPLACED") + "'); INSERT INTO vals(key, name, fold, type, data) VALUES(last_insert_rowid(), "
        + "x'76', x'56', 1, x'6e657700');");
    const auto now = probe::Get("replaced", "v");
    ASSERT_TRUE(now);
    EXPECT_EQ(now->bytes, std::string("new", 4));
}

TEST_F(KnownPaths, AKeyAnotherProcessDeletedIsGone)
{
    probe::SetString("deleted", "v", "x");
    ASSERT_TRUE(probe::KeyExists("deleted"));
    OtherProcess(DeleteSql("deleted"));
    EXPECT_FALSE(probe::KeyExists("deleted"));
    HKEY key = Create("deleted");
    DWORD values = 9;
    EXPECT_EQ(RegQueryInfoKey(key, nullptr, nullptr, &values), ERROR_SUCCESS);
    EXPECT_EQ(values, 0u);
}

TEST_F(KnownPaths, AKeyDeletedByAnotherProcessBeforeTheFirstWriteTakesNoValues)
{
    // The session read the key, then takes the write lock in a newer view of the file, in which
    // the key is gone: the write must not land on a key that no longer exists.
    probe::SetString("vanishing", "v", "x");
    const HKEY key = Create("vanishing");
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueEx(key, "v", &type, nullptr, &size), ERROR_SUCCESS);
    OtherProcess(DeleteSql("vanishing"));
    EXPECT_EQ(RegSetValueEx(key, "w", REG_SZ, "y", 2), ERROR_KEY_DELETED);
    RegCloseKey(key);
    open_.clear();
    EXPECT_FALSE(CommittedValue("w"));
}
