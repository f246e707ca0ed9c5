// The login request address of a "Hotmail" account, its user name and password encoded for the request line.
#include "app/LoginAddress.h"

namespace app {

std::string EncodeForRequestLine(const std::string& text)
{
    static const char* const digits = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7F) {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string LoginAddress(const std::string& server, const std::string& UserName, const std::string& Password)
{
    return "http://" + server + "/cgi-bin/start?login=" + EncodeForRequestLine(UserName)
        + "&passwd=" + EncodeForRequestLine(Password) + "&frames=no";
}

} // namespace app
