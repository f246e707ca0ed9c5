// Proof keys for the code exchange (S256) and the random texts of a sign-in.
#pragma once

#include <string>
#include <string_view>

namespace signin {

// `bytes` random bytes from the system's generator, in base64url without padding.
std::string RandomText(std::size_t bytes);

// BASE64URL(SHA-256(verifier)), without padding.
std::string PkceChallenge(std::string_view verifier);

struct Pkce {
    std::string verifier; // 43 characters of the unreserved set
    std::string challenge;
};
Pkce MakePkce();

} // namespace signin
