// Where sign-in tokens are kept, against a real keyring daemon on a private bus: the keyring's
// entries, the choice at start-up, the move out of the store, and the window's removals.
#include "platform/desktop/Keyring.h"

#include "app/KeyringTokenStore.h"
#include "settings/Store.h"
#include "signin/AccessTokens.h"
#include "signin/TokenStore.h"
#include "tests/fixtures/desktop/KeyringDaemon.h"
#include "tests/support/TempRegistry.h"
#include "tests/support/WindowFixture.h"

#include <QAction>
#include <QFile>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

using testing_support::KeyringDaemon;

// The service name the program keeps its tokens under, as another keyring client sees it.
platform::Keyring ProgramEntries()
{
    return platform::Keyring("Quorvel");
}

void SaveAccount(const std::string& name)
{
    settings::TAccount account;
    account.Name = name;
    account.Host = "imaps://outlook.office365.com";
    account.UserName = name + "@example.org";
    ASSERT_TRUE(settings::SaveAccount(account));
}

bool FileHolds(const std::string& path, const std::string& text)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.readAll().contains(QByteArray::fromStdString(text));
}

TEST(Keyring, KeepsOneEntryPerKeyUnderItsService)
{
    KeyringDaemon daemon;
    ASSERT_TRUE(daemon.Ready()) << daemon.Error().toStdString();
    platform::Keyring ours("Quorvel-test");
    platform::Keyring other("Quorvel-other");
    ASSERT_TRUE(ours.Available());
    const auto nothing = ours.Read("work");
    EXPECT_TRUE(nothing.answered);
    EXPECT_FALSE(nothing.secret);
    const std::string token = "0.AX\x01\xc3\xa9-" + std::string(1200, 'r');
    ASSERT_TRUE(ours.Write("work", token));
    ASSERT_TRUE(ours.Write("home", "rt-home"));
    EXPECT_EQ(ours.Read("work").secret, token);
    EXPECT_EQ(ours.Read("home").secret, "rt-home");
    EXPECT_FALSE(other.Read("work").secret);
    // A second write replaces the entry.
    ASSERT_TRUE(ours.Write("work", "rt-2"));
    EXPECT_EQ(ours.Read("work").secret, "rt-2");
    EXPECT_TRUE(ours.Remove("work"));
    EXPECT_FALSE(ours.Read("work").secret);
    EXPECT_TRUE(ours.Remove("work"));
    EXPECT_EQ(ours.Read("home").secret, "rt-home");
}

TEST(Keyring, IsAbsentWhereNoSecretServiceAnswers)
{
    KeyringDaemon busOnly(false);
    ASSERT_TRUE(busOnly.Ready()) << busOnly.Error().toStdString();
    platform::Keyring ours("Quorvel-test");
    EXPECT_FALSE(ours.Available());
    EXPECT_FALSE(ours.Read("work").answered);
    EXPECT_FALSE(ours.Write("work", "rt"));
}

// The same start-up and sign-in, with and without a keyring answering.
struct KeepingRow {
    const char* name;
    bool keyring;
};

void PrintTo(const KeepingRow& row, std::ostream* os)
{
    *os << row.name;
}

class TokenKeepingAtStart : public ::testing::TestWithParam<KeepingRow> { };

TEST_P(TokenKeepingAtStart, MovesStoredTokensAndKeepsNewOnesWhereTheKeyringAnswers)
{
    const KeepingRow row = GetParam();
    KeyringDaemon daemon(row.keyring);
    ASSERT_TRUE(daemon.Ready()) << daemon.Error().toStdString();
    testing_support::TempRegistry registry;
    SaveAccount("old");
    SaveAccount("new");
    signin::RegistryTokenStore inStore;
    ASSERT_TRUE(inStore.Write("old", "rt-from-before"));

    const app::TokenKeeping keeping;
    EXPECT_EQ(keeping.InKeyring(), row.keyring);
    EXPECT_EQ(signin::Tokens().Read("old"), "rt-from-before");
    EXPECT_EQ(inStore.Read("old").has_value(), !row.keyring);
    EXPECT_EQ(ProgramEntries().Read("old").secret.has_value(), row.keyring);

    // A completed sign-in keeps its refresh token.
    const std::string token = "M.C5_BL2.0.U.-signed-in-refresh-token-7f3a";
    signin::TokenReply reply;
    reply.kind = signin::TokenReply::Kind::Tokens;
    reply.accessToken = "at";
    reply.expiresIn = 3600;
    reply.refreshToken = token;
    ASSERT_TRUE(signin::SharedAccessTokens().Take("new", reply));
    EXPECT_EQ(signin::Tokens().Read("new"), token);
    EXPECT_EQ(inStore.Read("new").has_value(), !row.keyring);
    EXPECT_FALSE(FileHolds(registry.Path(), token));
    signin::SharedAccessTokens().Forget("new");
}

INSTANTIATE_TEST_SUITE_P(Rows, TokenKeepingAtStart,
    ::testing::Values(KeepingRow { "Keyring", true }, KeepingRow { "NoSecretService", false }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TokenKeepingAtStart, TakesATokenLeftInTheStoreIntoTheKeyringWhenFirstRead)
{
    KeyringDaemon daemon;
    ASSERT_TRUE(daemon.Ready()) << daemon.Error().toStdString();
    testing_support::TempRegistry registry;
    const app::TokenKeeping keeping;
    ASSERT_TRUE(keeping.InKeyring());
    // Written by a run that found no keyring, after this one started.
    SaveAccount("later");
    ASSERT_TRUE(signin::RegistryTokenStore().Write("later", "rt-later"));
    EXPECT_EQ(signin::Tokens().Read("later"), "rt-later");
    EXPECT_FALSE(signin::RegistryTokenStore().Read("later"));
    EXPECT_EQ(ProgramEntries().Read("later").secret, "rt-later");
}

class KeyringWindow : public testing_support::WindowFixture {
protected:
    KeyringDaemon daemon;
};

TEST_F(KeyringWindow, RemovingAnAccountOrTheConfigRemovesItsToken)
{
    ASSERT_TRUE(daemon.Ready()) << daemon.Error().toStdString();
    for (const char* name : { "a", "b", "c" })
        SaveAccount(name);
    const app::TokenKeeping keeping;
    ASSERT_TRUE(keeping.InKeyring());
    for (const char* name : { "a", "b" })
        ASSERT_TRUE(signin::Tokens().Write(name, std::string("rt-") + name));
    // One left in the store by a run without a keyring.
    ASSERT_TRUE(signin::RegistryTokenStore().Write("c", "rt-c"));

    auto& f = Open();
    ASSERT_EQ(f.clbItems->count(), 3);
    f.clbItems->setCurrentRow(0);
    ASSERT_EQ(f.FCurrentAccount, "a");
    f.btnRemove->click();
    EXPECT_FALSE(ProgramEntries().Read("a").secret);
    EXPECT_EQ(ProgramEntries().Read("b").secret, "rt-b");

    f.mnuRegistryDelete->trigger();
    EXPECT_EQ(f.StatusBar->SimpleText(), "Successful deleting of config!");
    EXPECT_FALSE(ProgramEntries().Read("b").secret);
    EXPECT_FALSE(signin::Tokens().Read("c"));
    // An account made again under a removed name is not signed in.
    SaveAccount("b");
    EXPECT_FALSE(signin::Tokens().Read("b"));
}

} // namespace
