// A whole sign-in: the browser to the provider, the redirection back, the code exchange.
#pragma once

#include "signin/AccessTokens.h"
#include "signin/Providers.h"

#include <chrono>
#include <functional>
#include <string>

namespace signin {

struct SignInRequest {
    std::string account; // the account's name: where its token is kept
    std::string address; // the mailbox address, the login hint
    Provider provider;
    ProxySettings proxy;
    // Opens the system browser at the address; false when none could be started.
    std::function<bool(const std::string& address)> openBrowser;
    std::chrono::milliseconds wait { std::chrono::minutes(5) };
    // Ends the wait for the browser early (the program is closing, say).
    std::function<bool()> cancelled;
};

struct SignInResult {
    bool signedIn = false;
    std::string text; // for the status line
};

// Runs one sign-in, keeping the user interface live while the browser is away. Network and
// socket failures of the code exchange come back as a text, never as an exception.
SignInResult RunSignIn(QObject* owner, const SignInRequest& request, AccessTokens& tokens = SharedAccessTokens());

} // namespace signin
