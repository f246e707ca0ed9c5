#include "settings/ConfigFile.h"

#include "RegistryProbe.h"
#include "settings/AccountStore.h"
#include "settings/KeyPaths.h"
#include "settings/SettingsStore.h"
#include "tests/support/TempRegistry.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>

using namespace settings;

namespace {

class ConfigFile : public ::testing::Test {
protected:
    void StoreEverything()
    {
        ASSERT_TRUE(SaveSettings({ "12", true, "proxy.host", "3128" }));
        ASSERT_TRUE(SaveScreen({ 1, 2, 300, 400 }));
        ASSERT_TRUE(SaveAccount({ "One", "c1", "Hotmail", "u1", "p1", "N/A", "N/A" }));
        ASSERT_TRUE(SaveAccount({ "Two", "c2", "Hotmail", "u2", "p2", "N/A", "N/A" }));
        probe::SetString(std::string(AccountKeyPrefix) + "Two\\deeper\\still", "x", "y");
    }

    std::string FileIn(const char* name) const { return registry_.Folder() + "/" + name; }

    testing_support::TempRegistry registry_;
};

} // namespace

TEST_F(ConfigFile, DeleteAllWithNoneStoredSucceeds)
{
    EXPECT_TRUE(DeleteAllAccounts());
    EXPECT_TRUE(probe::IsEmptyKey(AccountKey));
}

TEST_F(ConfigFile, DeleteAllRemovesAccountsOnlyAndKeepsTheRest)
{
    StoreEverything();
    EXPECT_TRUE(DeleteAllAccounts());
    EXPECT_TRUE(probe::IsEmptyKey(AccountKey));
    EXPECT_EQ(LoadAccountList().Names, std::vector<std::string> {});
    const TLoadedSettings s = LoadSettings();
    EXPECT_EQ(s.Delay, "12");
    EXPECT_EQ(s.ProxyHost, "proxy.host");
    EXPECT_EQ(LoadScreen().Height, 400);
    ASSERT_TRUE(SaveAccount({ "New", "", "Hotmail", "", "p", "N/A", "N/A" }));
    EXPECT_EQ(LoadAccountList().Names, std::vector<std::string> { "New" });
}

TEST_F(ConfigFile, DeleteAllGoesOnAfterAFailedDelete)
{
    StoreEverything();
    // A key that no path can name (its name holds a backslash) can only be put there by hand.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(registry_.Path().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                  "INSERT INTO keys(parent, name, fold) SELECT id, CAST('Bad\\Name' AS BLOB),"
                  " CAST('BAD\\NAME' AS BLOB) FROM keys WHERE fold = CAST('ACCOUNT' AS BLOB)",
                  nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    ASSERT_EQ(LoadAccountList().Names, (std::vector<std::string> { "Bad\\Name", "One", "Two" }));

    EXPECT_FALSE(DeleteAllAccounts());
    EXPECT_EQ(LoadAccountList().Names, std::vector<std::string> { "Bad\\Name" });
}

TEST_F(ConfigFile, DeleteAllFailsWhenTheStoreCannotBeReached)
{
    setenv("QUORVEL_REGISTRY", "/proc/quorvel-no-such-place/registry.sqlite3", 1);
    EXPECT_FALSE(DeleteAllAccounts());
}

TEST_F(ConfigFile, ExportWritesTheAccountsOnly)
{
    StoreEverything();
    const std::string file = FileIn("accounts.reg");
    ASSERT_TRUE(ExportAccounts(file));

    struct stat st { };
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    QFile raw(QString::fromStdString(file));
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QByteArray bytes = raw.readAll();
    EXPECT_TRUE(bytes.contains("username"));
    for (const char* absent : { "delay", "proxyhost", "proxyport", "proxy.host", "screen", "height" })
        EXPECT_FALSE(bytes.contains(absent)) << absent;

    // Read the image back into a scratch key: the whole account tree is there.
    platform::HKEY scratch = 0;
    ASSERT_EQ(platform::RegCreateKeyEx(platform::HKEY_CURRENT_USER, "scratch", &scratch), platform::ERROR_SUCCESS);
    EXPECT_EQ(platform::RegRestoreKey(scratch, file), platform::ERROR_SUCCESS);
    EXPECT_EQ(probe::Subkeys(scratch), (std::vector<std::string> { "One", "Two" }));
    platform::RegCloseKey(scratch);
    EXPECT_EQ(probe::Get("scratch\\One", "username")->bytes, std::string("u1", 3));
    EXPECT_EQ(
        probe::Get("scratch\\Two", "seed")->bytes, probe::Get(std::string(AccountKeyPrefix) + "Two", "seed")->bytes);
    EXPECT_EQ(probe::Get("scratch\\Two\\deeper\\still", "x")->bytes, std::string("y", 2));
    EXPECT_EQ(probe::Counts("scratch"), (std::pair<platform::DWORD, platform::DWORD> { 0, 2 }));
}

TEST_F(ConfigFile, ExportRefusesAnExistingFileAndLeavesItAlone)
{
    StoreEverything();
    const std::string file = FileIn("taken.reg");
    {
        QFile f(QString::fromStdString(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("precious");
    }
    EXPECT_FALSE(ExportAccounts(file));
    QFile f(QString::fromStdString(file));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("precious"));
}

TEST_F(ConfigFile, ExportFailsWithoutAnAccountKey)
{
    ASSERT_TRUE(SaveSettings({ "12", false, "", "" }));
    ASSERT_FALSE(probe::KeyExists(AccountKey));
    const std::string file = FileIn("none.reg");
    EXPECT_FALSE(ExportAccounts(file));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(file)));
    EXPECT_FALSE(probe::KeyExists(AccountKey));
}

TEST_F(ConfigFile, ExportIntoAMissingFolderOrWithoutANameFails)
{
    StoreEverything();
    EXPECT_FALSE(ExportAccounts(FileIn("no/such/folder/x.reg")));
    EXPECT_FALSE(ExportAccounts(""));
}
