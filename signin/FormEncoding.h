// application/x-www-form-urlencoded texts: query strings and token request bodies.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace signin {

// Every byte but the unreserved ones (A-Z a-z 0-9 - . _ ~) as %XX.
std::string PercentEncode(std::string_view text);
// name=value pairs joined by "&", both sides percent-encoded; pairs with an empty value are left out.
std::string FormEncode(const std::vector<std::pair<std::string, std::string>>& fields);
// The fields of a query or form text; "+" is a blank, %XX a byte; a later field of the same
// name does not replace an earlier one. Nothing for a malformed escape.
std::optional<std::multimap<std::string, std::string>> FormDecode(std::string_view text);

} // namespace signin
