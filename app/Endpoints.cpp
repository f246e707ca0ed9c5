// The login server and the home page, read from the environment with the built-in addresses as fallback.
#include "app/Endpoints.h"

#include <cstdlib>

namespace app {
namespace {

// Reserved example names: the login address carries the password in clear, so its default
// must never reach a real third party.
const char* const kLoginServer = "login.mail.example.com";
const char* const kHomePage = "http://quorvel.example.org/";

std::string FromEnvironment(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : std::string(fallback);
}

} // namespace

std::string LoginServer()
{
    return FromEnvironment("QUORVEL_LOGIN_HOST", kLoginServer);
}

std::string HomePage()
{
    std::string page = FromEnvironment("QUORVEL_HOMEPAGE", kHomePage);
    if (page.back() != '/')
        page += '/';
    return page;
}

std::string VersionDocument()
{
    return HomePage() + "verInfo";
}

} // namespace app
