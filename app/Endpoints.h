// The two servers the program talks to, fixed here; each can be pointed elsewhere from the environment.
#pragma once

#include <string>

namespace app {

// Host (and optional ":port") of the web-mail login server. QUORVEL_LOGIN_HOST overrides it.
std::string LoginServer();

// Address of the program's home page, ending in "/". QUORVEL_HOMEPAGE overrides it.
std::string HomePage();

// The version document on the home-page server: the home page followed by "verInfo".
std::string VersionDocument();

} // namespace app
