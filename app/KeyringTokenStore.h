// Refresh tokens in the desktop's keyring, with the account's key in the store as the fallback
// where the keyring does not answer.
#pragma once

#include "platform/desktop/Keyring.h"
#include "signin/TokenStore.h"

#include <string>

namespace app {

class KeyringTokenStore : public signin::TokenStore {
public:
    KeyringTokenStore();

    bool Available() { return keyring_.Available(); }
    // A token still kept in the account's key is moved into the keyring: written there first,
    // removed from the key only once the keyring holds it.
    void MoveIntoKeyring(const std::string& account);

    std::optional<std::string> Read(const std::string& account) override;
    bool Write(const std::string& account, const std::string& token) override;
    // Removes the token from both places.
    void Remove(const std::string& account) override;

private:
    platform::Keyring keyring_;
    signin::RegistryTokenStore registry_;
};

// Chosen at start-up: the keyring when one answers (the tokens of the stored accounts then move
// into it), else the account's key. Restores the process's default store when it ends.
class TokenKeeping {
public:
    TokenKeeping();
    ~TokenKeeping();
    TokenKeeping(const TokenKeeping&) = delete;
    TokenKeeping& operator=(const TokenKeeping&) = delete;

    bool InKeyring() const { return inKeyring_; }

private:
    KeyringTokenStore keyring_;
    bool inKeyring_ = false;
};

} // namespace app
