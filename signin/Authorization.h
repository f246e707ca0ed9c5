// The browser's side of a sign-in: the authorization address it opens, and the one request it
// brings back to the loopback listener.
#pragma once

#include "signin/Providers.h"

#include <string>
#include <string_view>

namespace signin {

struct AuthorizationRequest {
    std::string redirectUri; // http://127.0.0.1:<port>/
    std::string state;
    std::string challenge;
    std::string loginHint; // the mailbox address
};

// The provider's authorization address with the query of an authorization-code request.
std::string AuthorizationAddress(const Provider& provider, const AuthorizationRequest& request);

// The largest request the listener reads; a longer one is not the browser's redirection.
inline constexpr std::size_t kMaxRedirectRequest = std::size_t { 16 } * 1024;

struct RedirectOutcome {
    enum class Kind {
        Incomplete, // the request header has not ended yet
        Foreign, // not our redirection (wrong state, path, method, malformed): 400, nothing changes
        Code, // the authorization code
        Cancelled, // the user declined (error=access_denied)
        Failed, // another error from the provider
    };
    Kind kind = Kind::Incomplete;
    std::string code;
    std::string error; // the provider's error, with its description when it gave one
};

// Reads the bytes received so far of one request to the listener. Only "GET /?..." with the
// expected state counts; anything else, and anything over kMaxRedirectRequest, is Foreign.
RedirectOutcome ReadRedirectRequest(std::string_view bytes, std::string_view expectedState);

// The complete HTTP reply to the browser: 200 with the closing page, or 400 for a foreign request.
std::string RedirectReply(const RedirectOutcome& outcome, std::string_view address);

// The page's text for an outcome: "Quorvel is signed in to <address>. You can close this tab."
// once the sign-in is complete, else what went wrong.
std::string ClosingText(const RedirectOutcome& outcome, std::string_view address);

} // namespace signin
