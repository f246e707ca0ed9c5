// The PLAIN login message (no authorisation identity, the user name, the password), in Base64.
#pragma once

#include "net/Base64.h"

#include <string>
#include <string_view>

namespace net {

std::string SaslPlain(std::string_view user, std::string_view password);

} // namespace net
