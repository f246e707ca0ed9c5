// Refresh tokens kept scrambled in the account's key where no keyring answers.
#include "signin/TokenStore.h"

#include "settings/KeyPaths.h"
#include "settings/RegistryAccessor.h"
#include "settings/SeedGenerator.h"
#include "settings/unitCrypt.h"

namespace signin {
namespace {

constexpr const char* kToken = "token";
constexpr const char* kTokenSeed = "token seed";

TokenStore* gStore = nullptr;

} // namespace

std::optional<std::string> RegistryTokenStore::Read(const std::string& account)
{
    if (account.empty())
        return std::nullopt;
    settings::RegistryAccessor reg;
    // Reading never makes a record: a name without one has no token.
    if (!reg.OpenKey(settings::AccountKeyPrefix + account, false))
        return std::nullopt;
    try {
        const int seed = reg.ReadInteger(kTokenSeed);
        std::string token = settings::UnscrambleString(reg.ReadString(kToken), seed);
        if (token.empty())
            return std::nullopt;
        return token;
    } catch (const settings::ERegistryException&) {
        return std::nullopt;
    }
}

bool RegistryTokenStore::Write(const std::string& account, const std::string& token)
{
    if (account.empty())
        return false;
    settings::ReseedSeedGenerator();
    settings::RegistryAccessor reg;
    try {
        if (!reg.OpenKey(settings::AccountKeyPrefix + account, true))
            return false;
        // The store gives a text back up to its first zero byte: the seed must scramble the
        // token without one, and the text read back must give the token again.
        for (int attempt = 0; attempt < 1000; ++attempt) {
            const int seed = settings::NextSeed();
            if (!settings::ScramblesWithoutZeroByte(token, seed))
                continue;
            reg.WriteString(kToken, settings::ScrambleString(token, seed));
            if (settings::UnscrambleString(reg.ReadString(kToken), seed) != token)
                continue;
            reg.WriteInteger(kTokenSeed, seed);
            reg.CommitKey();
            return true;
        }
        reg.DiscardKey();
    } catch (const settings::ERegistryException&) {
        // The record keeps what it held.
    }
    return false;
}

void RegistryTokenStore::Remove(const std::string& account)
{
    if (account.empty())
        return;
    settings::RegistryAccessor reg;
    if (!reg.OpenKey(settings::AccountKeyPrefix + account, false))
        return;
    try {
        // An empty text reads as no token; the value itself stays, as values in this store do.
        reg.WriteString(kToken, "");
        reg.CommitKey();
    } catch (const settings::ERegistryException&) { }
}

TokenStore& Tokens()
{
    static RegistryTokenStore registry;
    return gStore ? *gStore : registry;
}

void SetTokenStore(TokenStore* store)
{
    gStore = store;
}

} // namespace signin
