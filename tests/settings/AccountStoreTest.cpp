#include "settings/AccountStore.h"

#include "RegistryProbe.h"
#include "settings/KeyPaths.h"
#include "settings/SeedGenerator.h"
#include "settings/SettingsStore.h"
#include "settings/unitCrypt.h"
#include "tests/support/TempRegistry.h"

#include <gtest/gtest.h>

#include <deque>
#include <set>

using namespace settings;

namespace {

const std::string Key = "\\software\\Brask\\Quorvel\\account\\";

TAccount Sample(const std::string& name, const std::string& password = "s3cret!")
{
    return { name, "my comment", "Hotmail", "jdoe", password, "12/9/2026 5:40:00 AM", "3" };
}

class AccountStore : public ::testing::Test {
protected:
    void TearDown() override { SetSeedSourceForTesting({}); }

    // Draws the given seeds in order, then fails the test if more are drawn.
    void Draw(std::deque<int> seeds)
    {
        SetSeedSourceForTesting([this, seeds]() mutable {
            ++draws_;
            if (seeds.empty()) {
                ADD_FAILURE() << "more seeds drawn than expected";
                return 0;
            }
            const int s = seeds.front();
            seeds.pop_front();
            return s;
        });
    }

    testing_support::TempRegistry registry_;
    int draws_ = 0;
};

} // namespace

TEST_F(AccountStore, FirstStartCreatesTheEmptyTree)
{
    ASSERT_FALSE(probe::KeyExists(QuorvelKey));
    const TLoadedSettings loaded = LoadSettings();
    const TAccountList list = LoadAccountList();
    const TLoadedScreen screen = LoadScreen();

    EXPECT_TRUE(probe::IsEmptyKey(AccountKey));
    EXPECT_TRUE(probe::IsEmptyKey(ScreenKey));
    EXPECT_EQ(probe::Counts(QuorvelKey), (std::pair<platform::DWORD, platform::DWORD> { 0, 2 }));
    EXPECT_TRUE(list.Complete);
    EXPECT_TRUE(list.Names.empty());
    EXPECT_EQ(loaded.Delay, "10");
    EXPECT_FALSE(loaded.Proxy);
    EXPECT_FALSE(screen.Left);
}

TEST_F(AccountStore, SavedAccountLoadsBackWithEveryField)
{
    const TAccount account = Sample("Work");
    ASSERT_TRUE(SaveAccount(account));
    const TAccountFields f = LoadAccount("Work");
    EXPECT_EQ(f.Info, account.Info);
    EXPECT_EQ(f.Host, account.Host);
    EXPECT_EQ(f.UserName, account.UserName);
    EXPECT_EQ(f.Password, account.Password);
    EXPECT_EQ(f.LastChecked, account.LastChecked);
    EXPECT_EQ(f.Status, account.Status);
}

TEST_F(AccountStore, StoredLayoutIsTheRegistryTree)
{
    ASSERT_TRUE(SaveAccount(Sample("Work", "pw")));
    for (const char* name : { "info", "host", "username", "lastChecked", "status", "password" }) {
        const auto v = probe::Get(Key + "Work", name);
        ASSERT_TRUE(v) << name;
        EXPECT_EQ(v->type, platform::REG_SZ) << name;
        ASSERT_FALSE(v->bytes.empty());
        EXPECT_EQ(v->bytes.back(), '\0') << name;
    }
    EXPECT_EQ(probe::Get(Key + "Work", "info")->bytes, std::string("my comment", 11));
    EXPECT_EQ(probe::Get(Key + "Work", "status")->bytes, std::string("3", 2));
    const auto seed = probe::Get(Key + "Work", "seed");
    ASSERT_TRUE(seed);
    EXPECT_EQ(seed->type, platform::REG_DWORD);
    ASSERT_EQ(seed->bytes.size(), 4u);
    const int s = probe::AsInt(seed->bytes);
    EXPECT_GE(s, 0);
    EXPECT_LE(s, 65534);
    EXPECT_EQ(probe::Get(Key + "Work", "password")->bytes, ScrambleString("pw", s) + '\0');
    EXPECT_EQ(probe::Counts(Key + "Work"), (std::pair<platform::DWORD, platform::DWORD> { 7, 0 }));
    // Value names are found whatever their case.
    EXPECT_TRUE(probe::Get("\\SOFTWARE\\brask\\quorvel\\ACCOUNT\\work", "LASTCHECKED"));
}

TEST_F(AccountStore, NonAsciiTextsRoundTripExactly)
{
    TAccount account = Sample("Café ☕", "pässwörd€ 日本語 \xF0\x9F\x94\x91");
    account.Info = "Grüße";
    ASSERT_TRUE(SaveAccount(account));
    const TAccountFields f = LoadAccount("Café ☕");
    EXPECT_EQ(f.Password, account.Password);
    EXPECT_EQ(f.Info, "Grüße");
    EXPECT_EQ(LoadAccountList().Names, std::vector<std::string> { "Café ☕" });
    // The key is found under another case of the same letters.
    EXPECT_EQ(LoadAccount("CAFÉ ☕").Password, account.Password);
}

TEST_F(AccountStore, KeyWithoutSeedLoadsCommentHostAndUserNameOnly)
{
    probe::SetString(Key + "Old", "info", "c");
    probe::SetString(Key + "Old", "host", "Hotmail");
    probe::SetString(Key + "Old", "username", "u");
    probe::SetString(Key + "Old", "password", "x");
    probe::SetString(Key + "Old", "lastChecked", "yesterday");
    probe::SetString(Key + "Old", "status", "2");
    const TAccountFields f = LoadAccount("Old");
    EXPECT_EQ(f.Info, "c");
    EXPECT_EQ(f.Host, "Hotmail");
    EXPECT_EQ(f.UserName, "u");
    EXPECT_FALSE(f.Password);
    EXPECT_FALSE(f.LastChecked);
    EXPECT_FALSE(f.Status);
}

TEST_F(AccountStore, SeedOfAnotherTypeEndsTheLoadThere)
{
    probe::SetString(Key + "Odd", "username", "u");
    probe::SetString(Key + "Odd", "seed", "12");
    const TAccountFields f = LoadAccount("Odd");
    EXPECT_EQ(f.UserName, "u");
    EXPECT_FALSE(f.Password);
}

TEST_F(AccountStore, StringOfAnotherTypeEndsTheLoadThere)
{
    probe::SetString(Key + "Odd", "info", "c");
    probe::SetInt(Key + "Odd", "host", 5);
    const TAccountFields f = LoadAccount("Odd");
    EXPECT_EQ(f.Info, "c");
    EXPECT_FALSE(f.Host);
    EXPECT_FALSE(f.UserName);
}

TEST_F(AccountStore, SubkeyMadeByOtherMeansIsListedAndLoadsEmptyTexts)
{
    probe::MakeKey(Key + "Stranger");
    probe::SetInt(Key + "Stranger", "seed", 77);
    EXPECT_EQ(LoadAccountList().Names, std::vector<std::string> { "Stranger" });
    const TAccountFields f = LoadAccount("Stranger");
    EXPECT_EQ(f.Info, "");
    EXPECT_EQ(f.Host, "");
    EXPECT_EQ(f.UserName, "");
    EXPECT_EQ(f.Password, "");
    EXPECT_EQ(f.LastChecked, "");
    EXPECT_EQ(f.Status, "");
}

TEST_F(AccountStore, LoadOfAnUnknownNameCreatesItsEmptyKey)
{
    const TAccountFields f = LoadAccount("Ghost");
    EXPECT_EQ(f.Info, "");
    EXPECT_FALSE(f.Password);
    EXPECT_TRUE(probe::IsEmptyKey(Key + "Ghost"));
}

TEST_F(AccountStore, EmptyNameDoesNothing)
{
    EXPECT_TRUE(SaveAccount(Sample("")));
    EXPECT_FALSE(LoadAccount("").Info);
    EXPECT_FALSE(DeleteAccount(""));
    EXPECT_FALSE(probe::KeyExists(QuorvelKey));
}

TEST_F(AccountStore, EmptyPasswordIsAnEmptyStringBesideAFreshSeed)
{
    Draw({ 4321 });
    ASSERT_TRUE(SaveAccount(Sample("E", "")));
    EXPECT_EQ(draws_, 1);
    EXPECT_EQ(probe::Get(Key + "E", "password")->bytes, std::string(1, '\0'));
    EXPECT_EQ(probe::AsInt(probe::Get(Key + "E", "seed")->bytes), 4321);
    EXPECT_EQ(LoadAccount("E").Password, "");
}

TEST_F(AccountStore, PasswordWhoseFirstScrambleHoldsAZeroIsStoredUnderAnotherSeed)
{
    const std::string password = "secret";
    int bad = -1;
    int good = -1;
    for (int s = 0; s < 65535 && (bad < 0 || good < 0); ++s) {
        const bool zero = ScrambleString(password, s).find('\0') != std::string::npos;
        (zero ? bad : good) = (zero ? bad : good) < 0 ? s : (zero ? bad : good);
    }
    ASSERT_GE(bad, 0);
    ASSERT_GE(good, 0);
    Draw({ bad, good });
    ASSERT_TRUE(SaveAccount(Sample("Z", password)));
    EXPECT_EQ(probe::AsInt(probe::Get(Key + "Z", "seed")->bytes), good);
    EXPECT_EQ(probe::Get(Key + "Z", "password")->bytes, ScrambleString(password, good) + '\0');
    SetSeedSourceForTesting({});
    EXPECT_EQ(LoadAccount("Z").Password, password);
}

TEST_F(AccountStore, PasswordHoldingAZeroByteLoadsBackWhole)
{
    const std::string password("before\0after", 12);
    ASSERT_TRUE(SaveAccount(Sample("Nul", password)));
    EXPECT_EQ(LoadAccount("Nul").Password, password);
}

TEST_F(AccountStore, PasswordsOfAllLengthsAndBytesLoadBackExactly)
{
    std::string password;
    for (int i = 1; i < 120; ++i) {
        password += static_cast<char>((i * 37) % 255 + 1);
        ASSERT_TRUE(SaveAccount(Sample("L", password)));
        ASSERT_EQ(LoadAccount("L").Password, password) << i;
    }
}

TEST_F(AccountStore, TextsAroundTheFirstReadsBufferSizeLoadBackWhole)
{
    // The first read of a text takes what fits a short buffer; the rest is asked for again.
    for (const std::size_t length : { 254u, 255u, 256u, 257u, 4000u }) {
        TAccount a = Sample("Long", "pw");
        a.Info = std::string(length, 'c');
        a.UserName = std::string(length, 'u') + "\xc3\xa9";
        ASSERT_TRUE(SaveAccount(a));
        const TAccountFields f = LoadAccount("Long");
        EXPECT_EQ(f.Info, a.Info) << length;
        EXPECT_EQ(f.UserName, a.UserName) << length;
        EXPECT_EQ(f.Password, "pw") << length;
    }
}

TEST_F(AccountStore, SavingTwiceStoresDifferentScrambledTexts)
{
    std::set<std::string> stored;
    std::set<int> seeds;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(SaveAccount(Sample("Twice", "same password")));
        stored.insert(probe::Get(Key + "Twice", "password")->bytes);
        seeds.insert(probe::AsInt(probe::Get(Key + "Twice", "seed")->bytes));
    }
    EXPECT_GE(stored.size(), 2u);
    EXPECT_GE(seeds.size(), 2u);
    EXPECT_EQ(LoadAccount("Twice").Password, "same password");
}

TEST_F(AccountStore, PasswordNoSeedCanStoreFailsTheSaveAndKeepsTheOldRecord)
{
    ASSERT_TRUE(SaveAccount(Sample("Long", "old")));
    // Varied bytes: under every seed some position scrambles to zero.
    std::string password;
    std::uint32_t x = 12345;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1103515245u + 12345u;
        password += static_cast<char>('!' + (x >> 16) % 90);
    }
    TAccount huge = Sample("Long", password);
    huge.Info = "new comment";
    EXPECT_FALSE(SaveAccount(huge));
    const TAccountFields f = LoadAccount("Long");
    EXPECT_EQ(f.Info, "my comment");
    ASSERT_TRUE(f.Password);
    EXPECT_TRUE(*f.Password == "old") << "password of " << f.Password->size() << " bytes";
}

TEST_F(AccountStore, NameWithBackslashMakesANestedKeyListedByItsFirstPart)
{
    ASSERT_TRUE(SaveAccount(Sample("outer\\inner", "n")));
    EXPECT_TRUE(probe::KeyExists(Key + "outer\\inner"));
    EXPECT_EQ(LoadAccountList().Names, std::vector<std::string> { "outer" });
    EXPECT_EQ(LoadAccount("outer\\inner").Password, "n");
}

TEST_F(AccountStore, ListIsInCaseInsensitiveNameOrder)
{
    for (const char* name : { "beta", "Alpha", "gamma", "Beta2", "alpha1" })
        ASSERT_TRUE(SaveAccount(Sample(name)));
    EXPECT_EQ(LoadAccountList().Names, (std::vector<std::string> { "Alpha", "alpha1", "beta", "Beta2", "gamma" }));
}

TEST_F(AccountStore, SavingUnderAnotherCaseRewritesTheSameRecord)
{
    ASSERT_TRUE(SaveAccount(Sample("Mixed", "one")));
    ASSERT_TRUE(SaveAccount(Sample("MIXED", "two")));
    EXPECT_EQ(LoadAccountList().Names, std::vector<std::string> { "Mixed" });
    EXPECT_EQ(LoadAccount("mixed").Password, "two");
}

TEST_F(AccountStore, DeleteRemovesTheKeyWithItsSubkeys)
{
    ASSERT_TRUE(SaveAccount(Sample("Keep")));
    ASSERT_TRUE(SaveAccount(Sample("Gone")));
    probe::SetString(Key + "Gone\\a\\b", "x", "1");
    probe::MakeKey(Key + "Gone\\c");
    EXPECT_TRUE(DeleteAccount("Gone"));
    EXPECT_FALSE(probe::KeyExists(Key + "Gone"));
    EXPECT_EQ(LoadAccountList().Names, std::vector<std::string> { "Keep" });
    EXPECT_EQ(LoadAccount("Keep").Password, "s3cret!");
}

TEST_F(AccountStore, DeleteOfAMissingKeyFails)
{
    LoadAccountList();
    EXPECT_FALSE(DeleteAccount("Nobody"));
}

TEST_F(AccountStore, ListingFailureIsReported)
{
    // A store that cannot be opened: the folder in its path is a file.
    const std::string blocker = registry_.Folder() + "/blocker";
    FILE* f = std::fopen(blocker.c_str(), "w");
    ASSERT_TRUE(f);
    std::fclose(f);
    setenv("QUORVEL_REGISTRY", (blocker + "/registry.sqlite3").c_str(), 1);
    const TAccountList list = LoadAccountList();
    EXPECT_FALSE(list.Complete);
    EXPECT_TRUE(list.Names.empty());
    EXPECT_FALSE(SaveAccount(Sample("X")));
    EXPECT_FALSE(LoadAccount("X").Info);
    EXPECT_FALSE(DeleteAccount("X"));
}
