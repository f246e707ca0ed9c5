// A check of an account at a sign-in provider's mail host: the access token it logs in with.
#pragma once

#include "net/MailCheck.h"

#include <QObject>

#include <string>

namespace app {

// The status of an account that must be signed in (again) before it can be checked.
inline constexpr const char* kSignInNeededText = "Sign-in needed";

// For an account whose host belongs to a sign-in provider and that is signed in, gives the
// client the account's access token (refreshed first when it runs out). False when the check
// must not go on: a provider that takes no passwords and no sign-in, or a sign-in the provider
// withdrew, or an account there that holds neither a sign-in nor a password (an empty
// password would only be refused, and counts against the account at some servers). An account
// of any other host, or a Google account with a password and no sign-in, keeps its password
// login. Raises when the refresh cannot be made.
bool TakeAccessToken(
    QObject* owner, const std::string& account, const std::string& host, bool hasPassword, net::TMailCheck& client);

// A refused token is not used again: the next check asks for a fresh one.
void ForgetAccessToken(const std::string& account);

} // namespace app
