// What a token endpoint answers, read from its JSON (RFC 6749, section 5).
#pragma once

#include "signin/Providers.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace signin {

struct TokenReply {
    enum class Kind {
        Tokens, // an access token (and perhaps a new refresh token)
        InvalidGrant, // the code or refresh token is no good any more: sign in again
        Error, // another refusal, or a reply that is no token reply
    };
    Kind kind = Kind::Error;
    std::string accessToken;
    std::int64_t expiresIn = 0; // seconds; 0 when the reply gave none
    std::optional<std::string> refreshToken; // set when the server issued or rotated one
    std::string error; // for Error and InvalidGrant: what to show
};

// The reply of an HTTP status and body. A 200 needs "access_token" and a "token_type" of
// "Bearer" (any case); an error reply needs "error".
TokenReply ReadTokenReply(int status, std::string_view body);

// The form body of the code exchange and of a refresh.
std::string CodeExchangeBody(
    const Provider& provider, std::string_view code, std::string_view verifier, std::string_view redirectUri);
std::string RefreshBody(const Provider& provider, std::string_view refreshToken);

} // namespace signin
