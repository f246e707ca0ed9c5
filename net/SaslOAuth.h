// The SASL messages of a signed-in login: XOAUTH2 and OAUTHBEARER (RFC 7628), and the status a
// server's refusal carries in its challenge.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace net {

enum class OAuthMechanism { XOAuth2, OAuthBearer };

// "XOAUTH2" or "OAUTHBEARER".
const char* MechanismName(OAuthMechanism mechanism);

// XOAUTH2 where the server lists it, else OAUTHBEARER where it lists that, else XOAUTH2 (some
// servers take it without listing it). `listed` holds the mechanism names the server gave.
OAuthMechanism ChooseOAuthMechanism(const std::vector<std::string>& listed);

// The client's first message, in Base64.
std::string OAuthInitialResponse(OAuthMechanism mechanism, std::string_view user, std::string_view token);

// What the client answers to a refusal's challenge: XOAUTH2 an empty line, OAUTHBEARER a
// single 0x01 (RFC 7628, 3.2.3), each in Base64.
std::string OAuthRefusalAnswer(OAuthMechanism mechanism);

// The "status" of the JSON in a Base64 challenge ("401", "invalid_token" ...); empty when the
// challenge holds none that can be shown.
std::string OAuthChallengeStatus(std::string_view base64Challenge);

// False when a user name or token holds a byte that the SASL message cannot carry.
bool OAuthCarriable(std::string_view user, std::string_view token);

} // namespace net
