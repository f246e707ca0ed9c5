// The authorization-code flow with PKCE and a loopback redirection.
#include "signin/SignIn.h"

#include "net/Psock.h"
#include "signin/Pkce.h"
#include "signin/RedirectListener.h"
#include "signin/TokenReply.h"

namespace signin {

SignInResult RunSignIn(QObject* owner, const SignInRequest& request, AccessTokens& tokens)
{
    const Provider& provider = request.provider;
    if (provider.clientId.empty())
        return { false, NoRegistrationText(provider) };
    try {
        const std::string state = RandomText(24);
        const Pkce pkce = MakePkce();
        RedirectListener listener(state, request.address);
        const std::string authorization
            = AuthorizationAddress(provider, { listener.redirectUri(), state, pkce.challenge, request.address });
        if (!request.openBrowser || !request.openBrowser(authorization))
            return { false, "Sign-in failed: no browser could be opened" };
        const RedirectOutcome outcome = listener.Wait(request.wait, request.cancelled);
        switch (outcome.kind) {
        case RedirectOutcome::Kind::Code:
            break;
        case RedirectOutcome::Kind::Cancelled:
            return { false, "Sign-in cancelled" };
        case RedirectOutcome::Kind::Failed:
            return { false, "Sign-in failed: " + outcome.error };
        case RedirectOutcome::Kind::Incomplete:
        case RedirectOutcome::Kind::Foreign:
            if (request.cancelled && request.cancelled())
                return { false, "Sign-in cancelled" };
            return { false, "Sign-in timed out" };
        }
        // The browser waits for its page until the exchange has ended one way or the other.
        const auto fail = [&](const std::string& why) {
            listener.Complete({ RedirectOutcome::Kind::Failed, {}, why });
            return SignInResult { false, "Sign-in failed: " + why };
        };
        TokenReply reply;
        try {
            reply = PostToTokenEndpoint(owner, provider,
                CodeExchangeBody(provider, outcome.code, pkce.verifier, listener.redirectUri()), request.proxy);
        } catch (const net::EAbortError&) {
            throw;
        } catch (const platform::Exception& e) {
            return fail(e.Message);
        }
        if (reply.kind != TokenReply::Kind::Tokens)
            return fail(reply.error);
        if (!reply.refreshToken)
            return fail("the provider gave no refresh token");
        tokens.Forget(request.account);
        if (!tokens.Take(request.account, reply))
            return fail("the token could not be kept");
        listener.Complete(outcome);
        return { true, "Signed in to " + request.address };
    } catch (const net::EAbortError&) {
        return { false, "Sign-in cancelled" };
    } catch (const platform::Exception& e) {
        return { false, "Sign-in failed: " + e.Message };
    }
}

} // namespace signin
