// The provider table over a real store file, and refresh tokens kept in the account's key.
#include "settings/AccountStore.h"
#include "settings/KeyPaths.h"
#include "settings/RegistryAccessor.h"
#include "settings/SeedGenerator.h"
#include "settings/unitCrypt.h"
#include "signin/Providers.h"
#include "signin/TokenStore.h"
#include "tests/support/TempRegistry.h"

#include <gtest/gtest.h>

using namespace signin;

namespace {

void StoreValues(const std::string& provider, const std::vector<std::pair<std::string, std::string>>& values)
{
    settings::RegistryAccessor reg;
    ASSERT_TRUE(reg.OpenKey(std::string(SignInKey) + "\\" + provider, true));
    for (const auto& [name, value] : values)
        reg.WriteString(name, value);
    reg.CommitKey();
}

} // namespace

TEST(Providers, MailHostsNameTheirProviderInAnyLetterCase)
{
    testing_support::TempRegistry registry;
    const struct {
        std::string host;
        std::string provider;
    } rows[] = {
        { "outlook.office365.com", "Microsoft" },
        { "IMAP-MAIL.outlook.com", "Microsoft" },
        { "pop-mail.outlook.com", "Microsoft" },
        { "imap.gmail.com", "Google" },
        { "Pop.Gmail.Com", "Google" },
        { "gmail.com", "" },
        { "imap.gmail.com.evil.example", "" },
        { "", "" },
    };
    for (const auto& row : rows) {
        const auto p = ProviderForHost(row.host);
        EXPECT_EQ(p ? p->name : "", row.provider) << row.host;
    }
    EXPECT_TRUE(ProviderForHost("outlook.office365.com")->signInOnly);
    EXPECT_FALSE(ProviderForHost("imap.gmail.com")->signInOnly);
    EXPECT_EQ(ProviderForHost("imap.gmail.com")->token, "https://oauth2.googleapis.com/token");
    // Looking up does not make keys of its own.
    settings::RegistryAccessor reg;
    EXPECT_FALSE(reg.OpenKey(SignInKey, false));
}

TEST(Providers, StoredValuesOverrideABuiltInOneOrAddAProvider)
{
    testing_support::TempRegistry registry;
    StoreValues("microsoft", { { "client id", "my-id" }, { "token", "https://127.0.0.1:9/token" }, { "scope", "" } });
    StoreValues(
        "Local", { { "client id", "l" }, { "hosts", "127.0.0.2, mail.local;other" }, { "authorize", "https://a/" } });
    const auto ms = ProviderForHost("outlook.office365.com");
    ASSERT_TRUE(ms);
    EXPECT_EQ(ms->clientId, "my-id");
    EXPECT_EQ(ms->token, "https://127.0.0.1:9/token");
    // An empty stored value leaves the built-in one.
    EXPECT_NE(ms->scope.find("IMAP.AccessAsUser.All"), std::string::npos);
    EXPECT_EQ(ms->authorize, "https://login.microsoftonline.com/common/oauth2/v2.0/authorize");
    for (const std::string host : { "127.0.0.2", "MAIL.local", "other" }) {
        const auto local = ProviderForHost(host);
        ASSERT_TRUE(local) << host;
        EXPECT_EQ(local->name, "Local");
        EXPECT_FALSE(local->signInOnly);
    }
    EXPECT_EQ(NoRegistrationText(*ProviderForHost("imap.gmail.com")),
        "This copy of Quorvel has no sign-in registration for Google: see README, Sign-in");
}

TEST(RegistryTokenStore, KeepsTheTokenScrambledBesideTheRecordThroughItsSaves)
{
    testing_support::TempRegistry registry;
    RegistryTokenStore store;
    EXPECT_FALSE(store.Read("a"));
    const std::string token = "M.C507_BAY.0.U.-Cr!x*" + std::string(600, 'z');
    ASSERT_TRUE(store.Write("a", token));
    EXPECT_EQ(store.Read("a"), token);
    {
        settings::RegistryAccessor reg;
        ASSERT_TRUE(reg.OpenKey(settings::AccountKeyPrefix + std::string("a"), false));
        EXPECT_EQ(reg.ReadString("token").find("M.C507"), std::string::npos);
    }
    // Saving the account draws a new password seed; the token keeps its own.
    settings::TAccount account;
    account.Name = "a";
    account.Host = "imaps://outlook.office365.com";
    account.Password = "pw";
    ASSERT_TRUE(settings::SaveAccount(account));
    EXPECT_EQ(store.Read("a"), token);
    // A seed under which the token would hold a zero byte is passed over.
    const std::string other = "rt-" + std::string(40, 'q');
    int bad = 0;
    while (settings::ScramblesWithoutZeroByte(other, bad))
        ++bad;
    std::vector<int> drawn;
    settings::SetSeedSourceForTesting([&] {
        drawn.push_back(drawn.empty() ? bad : 4242 + int(drawn.size()));
        return drawn.back();
    });
    const bool written = store.Write("a", other);
    settings::SetSeedSourceForTesting({});
    ASSERT_TRUE(written);
    EXPECT_GE(drawn.size(), 2U);
    EXPECT_EQ(store.Read("a"), other);
    store.Remove("a");
    EXPECT_FALSE(store.Read("a"));
    EXPECT_TRUE(settings::LoadAccount("a").Password == std::optional<std::string>("pw"));
    // Removing or reading a name without a record makes none.
    store.Remove("nobody");
    EXPECT_FALSE(store.Read("nobody"));
    EXPECT_EQ(settings::LoadAccountList().Names, std::vector<std::string> { "a" });
}
