// The access token cache: nothing of it is ever written anywhere.
#include "signin/AccessTokens.h"

#include "net/Psock.h"
#include "signin/TokenStore.h"

namespace signin {
namespace {

// A reply without "expires_in" is taken to last this long.
constexpr std::chrono::seconds kAssumedLife { 600 };

} // namespace

AccessTokens::AccessTokens(Clock clock)
    : clock_(clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); })
{ }

bool AccessTokens::Take(const std::string& account, const TokenReply& reply)
{
    bool kept = true;
    if (reply.refreshToken)
        kept = Tokens().Write(account, *reply.refreshToken);
    const std::chrono::seconds life = reply.expiresIn > 0 ? std::chrono::seconds(reply.expiresIn) : kAssumedLife;
    entries_[account] = { reply.accessToken, clock_() + life };
    return kept;
}

void AccessTokens::Forget(const std::string& account)
{
    entries_.erase(account);
}

AccessToken AccessTokens::Get(
    QObject* owner, const std::string& account, const Provider& provider, const ProxySettings& proxy)
{
    if (const auto it = entries_.find(account); it != entries_.end()) {
        if (it->second.expires - clock_() > kRefreshMargin)
            return { it->second.token };
        entries_.erase(it);
    }
    const std::optional<std::string> refresh = Tokens().Read(account);
    if (!refresh)
        return {};
    const TokenReply reply = PostToTokenEndpoint(owner, provider, RefreshBody(provider, *refresh), proxy);
    switch (reply.kind) {
    case TokenReply::Kind::Tokens:
        // A rotated refresh token is stored in the same step: the old one is spent already.
        Take(account, reply);
        return { reply.accessToken };
    case TokenReply::Kind::InvalidGrant:
        Tokens().Remove(account);
        return {};
    case TokenReply::Kind::Error:
        break;
    }
    throw net::ESockError("Sign-in refresh failed: " + reply.error);
}

AccessTokens& SharedAccessTokens()
{
    static AccessTokens tokens;
    return tokens;
}

} // namespace signin
