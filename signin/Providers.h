// The sign-in providers: who signs a mailbox in, where, for which mail hosts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace signin {

struct Provider {
    std::string name; // "Microsoft", "Google", or the name of a stored key
    std::string clientId;
    std::string clientSecret; // empty for a public client
    std::string authorize; // the authorization address (the browser goes there)
    std::string token; // the token endpoint (https://)
    std::string scope; // blank-separated
    std::vector<std::string> hosts; // mail hosts, compared without regard to case
    // The provider's mail servers refuse passwords: an account there is checked signed in or
    // not at all.
    bool signInOnly = false;
};

// "\software\Brask\Quorvel\sign-in": one subkey per provider to override or add.
inline constexpr const char* SignInKey = "\\software\\Brask\\Quorvel\\sign-in";

// Microsoft and Google with the registrations this copy was built with.
std::vector<Provider> BuiltInProviders();

// The built-in providers with the stored values laid over them, then the stored ones that add
// a provider. A stored value that is empty or missing leaves the built-in one.
std::vector<Provider> Providers();

// The provider whose hosts hold `host`; none for any other mail server.
std::optional<Provider> ProviderForHost(std::string_view host);

// The message of a provider without a client ID.
std::string NoRegistrationText(const Provider& provider);

// "a b, c;d" -> { a, b, c, d }
std::vector<std::string> SplitHostList(std::string_view text);

} // namespace signin
