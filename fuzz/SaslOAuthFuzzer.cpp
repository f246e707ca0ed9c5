// libFuzzer entry: the status of a token refusal's challenge, and the first message of a token
// login (user name, a zero byte, the token, a zero byte, then the challenge).
#include "FuzzInput.h"
#include "net/SaslOAuth.h"

#include <QByteArray>

#include <cstdlib>
#include <string>

namespace {

std::string Decoded(const std::string& base64)
{
    const QByteArray raw
        = QByteArray::fromBase64(QByteArray::fromStdString(base64), QByteArray::AbortOnBase64DecodingErrors);
    return raw.toStdString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const std::string user = input.Text();
    const std::string token = input.Text();
    const std::string challenge = input.Rest();

    // Shown on the status line: short and printable whatever the server sent.
    const std::string status = net::OAuthChallengeStatus(challenge);
    if (status.size() > 100)
        std::abort();
    for (const char c : status)
        if (c < ' ' || c >= 0x7F)
            std::abort();

    if (!net::OAuthCarriable(user, token))
        return 0;
    // The message holds the user and the token exactly once each, in fields that 0x01 ends.
    const std::string bearer = "auth=Bearer " + token + "\x01\x01";
    if (Decoded(net::OAuthInitialResponse(net::OAuthMechanism::XOAuth2, user, token))
        != "user=" + user + "\x01" + bearer)
        std::abort();
    const std::string gs2 = Decoded(net::OAuthInitialResponse(net::OAuthMechanism::OAuthBearer, user, token));
    // The authorisation identity ends at the first comma after "n,a=": none of the user's may stay.
    const auto end = gs2.find(',', 4);
    if (!gs2.starts_with("n,a=") || end == std::string::npos || gs2.substr(end) != ",\x01" + bearer)
        std::abort();
    const std::string name = gs2.substr(4, end - 4);
    std::string unescaped;
    for (std::size_t at = 0; at < name.size(); ++at) {
        if (name[at] != '=') {
            unescaped += name[at];
            continue;
        }
        const std::string escape = name.substr(at + 1, 2);
        if (escape != "2C" && escape != "3D")
            std::abort();
        unescaped += escape == "2C" ? ',' : '=';
        at += 2;
    }
    if (unescaped != user)
        std::abort();
    return 0;
}
