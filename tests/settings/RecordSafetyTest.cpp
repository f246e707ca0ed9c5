// A record is saved whole or not at all, and a load tells a store it could not read from a
// record that lacks a value.
#include "RegistryProbe.h"
#include "settings/AccountStore.h"
#include "tests/support/StoreRows.h"
#include "tests/support/TempRegistry.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

using namespace settings;
using testing_support::AccountRows;
using testing_support::CopyWithSpoiltValuePages;
using testing_support::ExecOnStore;

namespace {

TAccount Record(const std::string& name, const std::string& password, const std::string& status)
{
    return { name, "comment of " + name, "Hotmail", "user of " + name, password, "9 Dec 2026 || 17:58:16", status };
}

class RecordSafety : public ::testing::Test {
protected:
    // From now on the store itself refuses every write of the value called `value`.
    void RefuseWritesOf(const std::string& value)
    {
        const std::string when = "WHEN CAST(NEW.name AS TEXT) = '" + value + "'";
        const std::string sql = "CREATE TRIGGER refuse_insert BEFORE INSERT ON vals " + when
            + " BEGIN SELECT RAISE(ABORT, 'refused'); END;"
              "CREATE TRIGGER refuse_update BEFORE UPDATE ON vals "
            + when + " BEGIN SELECT RAISE(ABORT, 'refused'); END;";
        ASSERT_TRUE(ExecOnStore(registry_.Path(), sql.c_str()));
    }

    testing_support::TempRegistry registry_;
};

class FailedSave : public RecordSafety, public ::testing::WithParamInterface<const char*> { };

// The store refuses the write right after "password" (the "seed"), or right after "seed".
TEST_P(FailedSave, LeavesTheRecordAsItWas)
{
    ASSERT_TRUE(SaveAccount(Record("Work", "old password", "3")));
    ASSERT_TRUE(SaveAccount(Record("Other", "other password", "1")));
    const std::string before = AccountRows(registry_.Path());
    ASSERT_FALSE(before.empty());
    RefuseWritesOf(GetParam());

    EXPECT_FALSE(SaveAccount(Record("Work", "new password", "5")));
    EXPECT_EQ(AccountRows(registry_.Path()), before);
    const TAccountFields f = LoadAccount("Work");
    EXPECT_FALSE(f.Failed);
    EXPECT_EQ(f.Password, "old password");
    EXPECT_EQ(f.Status, "3");
    EXPECT_EQ(f.Info, "comment of Work");
}

TEST_P(FailedSave, OfANewAccountLeavesNoKey)
{
    ASSERT_TRUE(SaveAccount(Record("Work", "pw", "3")));
    const std::string before = AccountRows(registry_.Path());
    RefuseWritesOf(GetParam());
    EXPECT_FALSE(SaveAccount(Record("Fresh", "pw", "0")));
    EXPECT_EQ(AccountRows(registry_.Path()), before);
    EXPECT_FALSE(probe::KeyExists("\\software\\Brask\\Quorvel\\account\\Fresh"));
}

INSTANTIATE_TEST_SUITE_P(AfterPasswordAndAfterSeed, FailedSave, ::testing::Values("seed", "lastChecked"));

TEST_F(RecordSafety, ASaveAfterAFailedOneWorksAgain)
{
    ASSERT_TRUE(SaveAccount(Record("Work", "old", "3")));
    RefuseWritesOf("seed");
    EXPECT_FALSE(SaveAccount(Record("Work", "new", "5")));
    ASSERT_TRUE(ExecOnStore(registry_.Path(), "DROP TRIGGER refuse_insert; DROP TRIGGER refuse_update;"));
    EXPECT_TRUE(SaveAccount(Record("Work", "new", "5")));
    EXPECT_EQ(LoadAccount("Work").Password, "new");
}

TEST_F(RecordSafety, LoadWhileAnotherConnectionHoldsTheWriteLockReadsTheWholeRecord)
{
    ASSERT_TRUE(SaveAccount(Record("Work", "pw", "3")));
    // Another connection holds the write lock past the store's wait: reads do not wait for it.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open_v2(registry_.Path().c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const TAccountFields locked = LoadAccount("Work");
    const bool saved = SaveAccount(Record("Work", "other", "4"));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    EXPECT_FALSE(locked.Failed);
    EXPECT_EQ(locked.Password, "pw");
    EXPECT_FALSE(saved);
    const TAccountFields free = LoadAccount("Work");
    EXPECT_FALSE(free.Failed);
    EXPECT_EQ(free.Password, "pw");
}

TEST_F(RecordSafety, LoadOfAFileThatIsNoStoreFails)
{
    ASSERT_TRUE(SaveAccount(Record("Work", "pw", "3")));
    const std::string aside = registry_.Path() + ".aside";
    ASSERT_EQ(std::rename(registry_.Path().c_str(), aside.c_str()), 0);
    {
        FILE* f = std::fopen(registry_.Path().c_str(), "w");
        ASSERT_TRUE(f);
        std::fputs("scribbled over\n", f);
        std::fclose(f);
    }
    EXPECT_TRUE(LoadAccount("Work").Failed);
}

TEST_F(RecordSafety, LoadOfARecordWhoseValuePagesAreSpoiltFails)
{
    ASSERT_TRUE(
        SaveAccount({ "Long", std::string(12000, 'i'), "Hotmail", "user", "pw", "9 Dec 2026 || 17:58:16", "3" }));
    ASSERT_TRUE(SaveAccount(Record("Short", "short pw", "1")));
    const std::string spoilt = registry_.Path() + ".spoilt";
    ASSERT_TRUE(CopyWithSpoiltValuePages(registry_.Path(), spoilt));
    ASSERT_EQ(std::rename(spoilt.c_str(), registry_.Path().c_str()), 0);

    // The keys and the short values still read: only the long value fails.
    EXPECT_EQ(LoadAccountList().Names, (std::vector<std::string> { "Long", "Short" }));
    EXPECT_EQ(LoadAccount("Short").Password, "short pw");
    const TAccountFields f = LoadAccount("Long");
    EXPECT_TRUE(f.Failed);
    EXPECT_FALSE(f.Info);
}

TEST_F(RecordSafety, RecordWithoutSeedIsNoFailedLoad)
{
    probe::SetString("\\software\\Brask\\Quorvel\\account\\Bare", "info", "only a comment");
    const TAccountFields f = LoadAccount("Bare");
    EXPECT_FALSE(f.Failed);
    EXPECT_EQ(f.Info, "only a comment");
    EXPECT_FALSE(f.Password);
}

} // namespace
