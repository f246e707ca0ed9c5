#include "settings/AccountStore.h"

#include "settings/KeyPaths.h"
#include "settings/RegistryAccessor.h"
#include "settings/SeedGenerator.h"
#include "settings/unitCrypt.h"

namespace settings {

namespace {

constexpr int RandomDraws = 1000;
constexpr int SeedCount = 65535;
constexpr int StoreRetries = 3;

// A seed under which the password scrambles without zero bytes, since the store gives a text
// back only up to its first zero byte. Random draws first; should a very long password defeat
// them, every seed in turn, so that the search always ends.
int ChooseSeed(const std::string& password)
{
    int seed = NextSeed();
    for (int i = 1; i < RandomDraws && !ScramblesWithoutZeroByte(password, seed); ++i)
        seed = NextSeed();
    for (int i = 0; i < SeedCount && !ScramblesWithoutZeroByte(password, seed); ++i)
        seed = (seed + 1) % SeedCount;
    if (!ScramblesWithoutZeroByte(password, seed))
        throw ERegistryException("No seed stores this password");
    return seed;
}

} // namespace

bool SaveAccount(const TAccount& account)
{
    if (account.Name.empty())
        return true;
    ReseedSeedGenerator();
    RegistryAccessor reg;
    try {
        if (!reg.OpenKey(AccountKeyPrefix + account.Name, true))
            throw ERegistryException("Cannot open the record of '" + account.Name + "'");
        reg.WriteString("info", account.Info);
        reg.WriteString("host", account.Host);
        reg.WriteString("username", account.UserName);
        // The stored text is read back and must give the password again before the seed is
        // written beside it.
        int seed = 0;
        for (int attempt = 0;; ++attempt) {
            if (attempt == StoreRetries)
                throw ERegistryException("The store does not keep the password");
            seed = ChooseSeed(account.Password);
            reg.WriteString("password", ScrambleString(account.Password, seed));
            if (UnscrambleString(reg.ReadString("password"), seed) == account.Password)
                break;
        }
        reg.WriteInteger("seed", seed);
        reg.WriteString("lastChecked", account.LastChecked);
        reg.WriteString("status", account.Status);
        reg.CommitKey();
        return true;
    } catch (const std::exception&) {
        // A record is written whole or not at all: a "password" must never be left beside the
        // "seed" of another save.
        reg.DiscardKey();
        return false;
    }
}

TAccountFields LoadAccount(const std::string& name)
{
    TAccountFields fields;
    if (name.empty())
        return fields;
    try {
        RegistryAccessor reg;
        if (!reg.OpenKey(AccountKeyPrefix + name, true)) {
            fields.Failed = true;
            return fields;
        }
        fields.Info = reg.ReadString("info");
        fields.Host = reg.ReadString("host");
        fields.UserName = reg.ReadString("username");
        const int seed = reg.ReadInteger("seed");
        fields.Password = UnscrambleString(reg.ReadString("password"), seed);
        fields.LastChecked = reg.ReadString("lastChecked");
        fields.Status = reg.ReadString("status");
    } catch (const ERegistryException& e) {
        fields.Failed = e.StoreFailed;
    } catch (const std::exception&) {
        fields.Failed = true;
    }
    return fields;
}

bool DeleteAccount(const std::string& name)
{
    if (name.empty())
        return false;
    try {
        RegistryAccessor reg;
        return reg.DeleteKey(AccountKeyPrefix + name);
    } catch (const std::exception&) {
        return false;
    }
}

TAccountList LoadAccountList()
{
    TAccountList list;
    try {
        RegistryAccessor reg;
        reg.OpenKey(AccountKey, true);
        reg.GetKeyNames(list.Names);
        list.Complete = true;
    } catch (const std::exception&) { }
    return list;
}

} // namespace settings
