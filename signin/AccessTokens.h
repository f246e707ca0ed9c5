// Access tokens of signed-in accounts: in memory only, refreshed before they run out.
#pragma once

#include "signin/TokenEndpoint.h"

#include <chrono>
#include <functional>
#include <map>
#include <string>

namespace signin {

struct AccessToken {
    // Empty when the account must be signed in (again) first: it holds no refresh token, or
    // the provider no longer honours it.
    std::string token;
    bool signInNeeded() const { return token.empty(); }
};

class AccessTokens {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // A token with less life than this left is refreshed before use.
    static constexpr std::chrono::seconds kRefreshMargin { 60 };

    explicit AccessTokens(Clock clock = {});

    // The account's access token, refreshed through the token endpoint when needed. A refresh
    // token that the provider rotates replaces the stored one before the new access token is
    // used; invalid_grant removes it. Raises net::ESockError when the refresh could not be made
    // or was refused for another reason.
    AccessToken Get(QObject* owner, const std::string& account, const Provider& provider, const ProxySettings& proxy);

    // Takes the tokens of a completed sign-in or refresh; false when the refresh token could not be kept.
    bool Take(const std::string& account, const TokenReply& reply);
    void Forget(const std::string& account);

private:
    struct Entry {
        std::string token;
        std::chrono::steady_clock::time_point expires;
    };
    Clock clock_;
    std::map<std::string, Entry> entries_;
};

// The one cache of the process.
AccessTokens& SharedAccessTokens();

} // namespace signin
