// The token endpoint over the program's own HTTP client: the code exchange and the refresh.
#pragma once

#include "signin/TokenReply.h"

#include <QObject>

#include <cstdint>
#include <string>

namespace signin {

// The proxy of the program's settings; an empty host means a direct connection.
struct ProxySettings {
    std::string host;
    std::int32_t port = 0;
};

// One POST to the provider's token address, which must be an https:// one (the form carries
// the code verifier, the refresh token and perhaps the client secret). Raises ESockError (and
// the HTTP client's other errors) when no reply could be had.
TokenReply PostToTokenEndpoint(QObject* owner, const Provider& provider, const std::string& form,
    const ProxySettings& proxy, std::int32_t timeOutMs = 10000);

} // namespace signin
