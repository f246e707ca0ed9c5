// Where an account's refresh token is kept between runs.
#pragma once

#include <optional>
#include <string>

namespace signin {

class TokenStore {
public:
    virtual ~TokenStore() = default;
    // Nothing when the account holds no token (or it cannot be read).
    virtual std::optional<std::string> Read(const std::string& account) = 0;
    // False when the token could not be kept.
    virtual bool Write(const std::string& account, const std::string& token) = 0;
    virtual void Remove(const std::string& account) = 0;
};

// The account's own key: value "token", scrambled like the password under a seed of its own
// ("token seed"), since the password's seed is drawn anew at every save of the account.
class RegistryTokenStore : public TokenStore {
public:
    std::optional<std::string> Read(const std::string& account) override;
    bool Write(const std::string& account, const std::string& token) override;
    void Remove(const std::string& account) override;
};

// The store every sign-in and check of this process uses; the registry unless one is set.
TokenStore& Tokens();
// Replaces the process's store (the keyring at start-up, a fake in tests); nullptr restores the
// registry. The caller keeps ownership and keeps it alive while it is set.
void SetTokenStore(TokenStore* store);

} // namespace signin
