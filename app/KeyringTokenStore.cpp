// Where refresh tokens are kept: the keyring, one entry per account under the program's name,
// and the account's key for what the keyring cannot take.
#include "app/KeyringTokenStore.h"

#include "settings/AccountStore.h"

namespace app {
namespace {

constexpr const char* kKeyringService = "Quorvel";

} // namespace

KeyringTokenStore::KeyringTokenStore()
    : keyring_(kKeyringService)
{ }

void KeyringTokenStore::MoveIntoKeyring(const std::string& account)
{
    const std::optional<std::string> kept = registry_.Read(account);
    if (kept && keyring_.Write(account, *kept))
        registry_.Remove(account);
}

std::optional<std::string> KeyringTokenStore::Read(const std::string& account)
{
    if (account.empty())
        return std::nullopt;
    const platform::Keyring::Found found = keyring_.Read(account);
    if (found.secret)
        return found.secret;
    // A token written while the keyring did not answer is in the key.
    std::optional<std::string> kept = registry_.Read(account);
    if (kept && found.answered && keyring_.Write(account, *kept))
        registry_.Remove(account);
    return kept;
}

bool KeyringTokenStore::Write(const std::string& account, const std::string& token)
{
    if (account.empty())
        return false;
    if (keyring_.Write(account, token)) {
        // An older token left in the key would come back should the keyring be gone one day.
        registry_.Remove(account);
        return true;
    }
    return registry_.Write(account, token);
}

void KeyringTokenStore::Remove(const std::string& account)
{
    if (account.empty())
        return;
    keyring_.Remove(account);
    registry_.Remove(account);
}

TokenKeeping::TokenKeeping()
{
    if (!keyring_.Available())
        return;
    inKeyring_ = true;
    for (const std::string& name : settings::LoadAccountList().Names)
        keyring_.MoveIntoKeyring(name);
    signin::SetTokenStore(&keyring_);
}

TokenKeeping::~TokenKeeping()
{
    if (inKeyring_)
        signin::SetTokenStore(nullptr);
}

} // namespace app
