// Which login a mail-server check uses: the password, or a token of the account's sign-in.
#include "app/SignedInCheck.h"

#include "signin/AccessTokens.h"
#include "signin/Providers.h"
#include "signin/TokenStore.h"

namespace app {

bool TakeAccessToken(
    QObject* owner, const std::string& account, const std::string& host, bool hasPassword, net::TMailCheck& client)
{
    const auto provider = signin::ProviderForHost(host);
    if (!provider)
        return true;
    const bool signedIn = signin::Tokens().Read(account).has_value();
    if (!signedIn)
        return !provider->signInOnly && hasPassword;
    const signin::AccessToken access
        = signin::SharedAccessTokens().Get(owner, account, *provider, { client.Proxy, client.ProxyPort });
    if (access.signInNeeded())
        return false;
    client.AccessToken = access.token;
    return true;
}

void ForgetAccessToken(const std::string& account)
{
    signin::SharedAccessTokens().Forget(account);
}

} // namespace app
