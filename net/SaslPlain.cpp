#include "net/SaslPlain.h"

namespace net {

std::string SaslPlain(std::string_view user, std::string_view password)
{
    std::string message;
    message += '\0';
    message += user;
    message += '\0';
    message += password;
    return Base64(message);
}

} // namespace net
