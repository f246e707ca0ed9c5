// Account names: which ones a new account may take, how the store compares them, and a store
// written under the earlier comparison.
#include "settings/AccountNames.h"

#include "platform/store/RegistryNames.h"
#include "settings/AccountStore.h"
#include "settings/SettingsStore.h"
#include "tests/support/StoreRows.h"
#include "tests/support/TempRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cctype>
#include <sqlite3.h>

using namespace settings;

namespace {

TAccount Record(const std::string& name, const std::string& password)
{
    return { name, "comment of " + name, "Hotmail", "user of " + name, password, "N/A", "N/A" };
}

class AccountNames : public ::testing::Test {
protected:
    testing_support::TempRegistry registry_;
};

TEST_F(AccountNames, NewNamesThatTheStoreCannotHoldAsOneKeyAreRefused)
{
    const std::vector<std::string> none;
    EXPECT_EQ(CheckNewAccountName("x\\y", none), TNameProblem::Backslash);
    EXPECT_EQ(CheckNewAccountName("x\\", none), TNameProblem::Backslash);
    EXPECT_EQ(CheckNewAccountName("\\", none), TNameProblem::Backslash);
    EXPECT_EQ(CheckNewAccountName(std::string("a\0b", 3), none), TNameProblem::ControlCharacter);
    EXPECT_EQ(CheckNewAccountName("tab\there", none), TNameProblem::ControlCharacter);
    EXPECT_EQ(CheckNewAccountName("del\x7F", none), TNameProblem::ControlCharacter);
    EXPECT_EQ(CheckNewAccountName("next\xC2\x85line", none), TNameProblem::ControlCharacter);
    EXPECT_EQ(CheckNewAccountName(std::string(256, 'n'), none), TNameProblem::TooLong);
    EXPECT_EQ(CheckNewAccountName("", none), TNameProblem::Empty);
}

TEST_F(AccountNames, NamesUpToTheLimitInCharactersAreTaken)
{
    const std::vector<std::string> none;
    EXPECT_EQ(CheckNewAccountName(std::string(255, 'n'), none), TNameProblem::None);
    std::string umlauts;
    for (int i = 0; i < 255; ++i)
        umlauts += "ä"; // 510 bytes, 255 characters
    EXPECT_EQ(CheckNewAccountName(umlauts, none), TNameProblem::None);
    EXPECT_EQ(CheckNewAccountName(umlauts + "ä", none), TNameProblem::TooLong);
    EXPECT_EQ(CheckNewAccountName("Work (office) ß € 1", none), TNameProblem::None);
}

TEST_F(AccountNames, ANameTakenInAnyLetterCaseIsRefused)
{
    EXPECT_EQ(CheckNewAccountName("work", { "Alpha", "Work" }), TNameProblem::Exists);
    EXPECT_EQ(CheckNewAccountName("ÄPFEL", { "äpfel" }), TNameProblem::Exists);
    EXPECT_EQ(CheckNewAccountName("Work2", { "Work" }), TNameProblem::None);
    // Stored by another instance since this one read its list.
    ASSERT_TRUE(SaveAccount(Record("Home", "pw")));
    EXPECT_EQ(CheckNewAccountName("HOME", {}), TNameProblem::Exists);
}

TEST_F(AccountNames, LettersAreComparedOneForOne)
{
    // "ß" has no upper case of its own: "Straße" and "STRASSE" are two names, each with its
    // own record, as are the ligature "ﬁ" and "FI".
    EXPECT_EQ(CheckNewAccountName("STRASSE", { "Straße" }), TNameProblem::None);
    EXPECT_FALSE(SameAccountName("ﬁle", "FILE"));
    EXPECT_TRUE(SameAccountName("straße", "STRAßE"));
    ASSERT_TRUE(SaveAccount(Record("Straße", "first")));
    ASSERT_TRUE(SaveAccount(Record("STRASSE", "second")));
    EXPECT_EQ(LoadAccountList().Names, (std::vector<std::string> { "STRASSE", "Straße" }));
    EXPECT_EQ(LoadAccount("Straße").Password, "first");
    EXPECT_EQ(LoadAccount("STRASSE").Password, "second");
    EXPECT_EQ(LoadAccount("strasse").Password, "second");
}

// Every ASCII letter, small and capital, alone and beside a letter that only Unicode folds.
TEST_F(AccountNames, EveryLetterFoldsToItsCapital)
{
    std::string small;
    std::string capital;
    for (char c = 'a'; c <= 'z'; ++c) {
        small += c;
        capital += static_cast<char>(c - 'a' + 'A');
    }
    for (const std::string& prefix : { std::string(), std::string("ä") }) {
        EXPECT_EQ(platform::registry::FoldName(prefix + small), platform::registry::FoldName(prefix + capital))
            << prefix;
        EXPECT_TRUE(SameAccountName(prefix + small, prefix + capital)) << prefix;
    }
    EXPECT_EQ(platform::registry::FoldName(small), capital);
    EXPECT_EQ(platform::registry::FoldName(capital), capital);

    ASSERT_TRUE(SaveAccount(Record(small, "first")));
    ASSERT_TRUE(SaveAccount(Record(capital, "second")));
    EXPECT_EQ(LoadAccountList().Names, std::vector<std::string> { small });
    EXPECT_EQ(LoadAccount(small).Password, "second");
    EXPECT_EQ(CheckNewAccountName(capital, {}), TNameProblem::Exists);
}

// tests/settings/data/store-with-full-case-folds.sqlite3 was written by the store code of the
// version before names were compared one letter for one: accounts "Straße", "Work", "ﬁle" and
// "Alpha" (account i of those four: password "pw-<i>-ß€", status "<i>") and the settings
// delay 7, proxy on, "proxy.example", "3128".
class EarlierStore : public AccountNames {
protected:
    void SetUp() override
    {
        const QString from = QString(QUORVEL_TEST_DATA) + "/store-with-full-case-folds.sqlite3";
        const QString to = QString::fromStdString(registry_.Path());
        ASSERT_TRUE(QDir().mkpath(QFileInfo(to).path()));
        ASSERT_TRUE(QFile::copy(from, to)) << from.toStdString();
        ASSERT_TRUE(QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner));
    }

    std::string StoredFold(const std::string& name)
    {
        sqlite3* db = nullptr;
        std::string fold = "(none)";
        sqlite3_open_v2(registry_.Path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT fold FROM keys WHERE name = ?", -1, &st, nullptr);
        sqlite3_bind_blob(st, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW)
            fold.assign(static_cast<const char*>(sqlite3_column_blob(st, 0)), sqlite3_column_bytes(st, 0));
        sqlite3_finalize(st);
        sqlite3_close(db);
        return fold;
    }
};

TEST_F(EarlierStore, OpensWithEveryRecordWhole)
{
    EXPECT_EQ(LoadAccountList().Names, (std::vector<std::string> { "Alpha", "Straße", "Work", "ﬁle" }));
    const char* names[] = { "Straße", "Work", "ﬁle", "Alpha" };
    for (int i = 1; i <= 4; ++i) {
        const TAccountFields f = LoadAccount(names[i - 1]);
        EXPECT_FALSE(f.Failed);
        EXPECT_EQ(f.Password, "pw-" + std::to_string(i) + "-ß€") << names[i - 1];
        EXPECT_EQ(f.Status, std::to_string(i)) << names[i - 1];
        EXPECT_EQ(f.UserName, std::string("user of ") + names[i - 1]);
    }
    const TLoadedSettings s = LoadSettings();
    EXPECT_EQ(s.Delay, "7");
    EXPECT_TRUE(s.Proxy);
    EXPECT_EQ(s.ProxyHost, "proxy.example");
    EXPECT_EQ(LoadAccountList().Names.size(), 4u);
}

TEST_F(EarlierStore, AsciiNamesKeepTheirKeysInEveryLetterCase)
{
    // Every version stored an ASCII name with its letters in capitals: a record under a name
    // holding every letter, made the way they wrote it, beside the four.
    const std::string name = "The quick brown fox jumps over the lazy dog";
    std::string capitals = name;
    for (char& c : capitals)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string sql = "INSERT INTO keys(parent, name, fold) VALUES(5, CAST('" + name + "' AS BLOB), CAST('"
        + capitals
        + "' AS BLOB));"
          "INSERT INTO vals SELECT last_insert_rowid(), name, fold, type, data FROM vals WHERE key = 7;";
    ASSERT_TRUE(testing_support::ExecOnStore(registry_.Path(), sql.c_str()));

    std::string small = name;
    for (char& c : small)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const std::string& asked : { name, capitals, small })
        EXPECT_EQ(LoadAccount(asked).Password, "pw-2-ß€") << asked;
    EXPECT_EQ(LoadAccountList().Names.size(), 5u);
    EXPECT_EQ(StoredFold(name), capitals);
    EXPECT_EQ(StoredFold("Work"), "WORK");
}

TEST_F(EarlierStore, NamesTheEarlierRuleJoinedBecomeTwo)
{
    ASSERT_EQ(LoadAccount("Straße").Password, "pw-1-ß€");
    EXPECT_EQ(StoredFold("Straße"), platform::registry::FoldName("Straße"));
    ASSERT_TRUE(SaveAccount(Record("STRASSE", "another")));
    ASSERT_TRUE(SaveAccount(Record("FILE", "yet another")));
    EXPECT_EQ(LoadAccount("Straße").Password, "pw-1-ß€");
    EXPECT_EQ(LoadAccount("ﬁle").Password, "pw-3-ß€");
    EXPECT_EQ(LoadAccount("STRASSE").Password, "another");
    EXPECT_EQ(LoadAccountList().Names.size(), 6u);
}

} // namespace
