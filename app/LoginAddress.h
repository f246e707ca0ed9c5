// The address a "Hotmail" account logs in with.
#pragma once

#include <string>

namespace app {

// The user name and password go in as written ("&", "=", "#" included); only the bytes that
// would break the request line (controls, blank, DEL) are percent-encoded.
std::string EncodeForRequestLine(const std::string& text);

// "http://" + server + "/cgi-bin/start?login=" + user + "&passwd=" + password + "&frames=no".
std::string LoginAddress(const std::string& server, const std::string& UserName, const std::string& Password);

} // namespace app
