// XOAUTH2 and OAUTHBEARER messages; the challenge's JSON is read with Qt Core.
#include "net/SaslOAuth.h"

#include "net/Base64.h"
#include "platform/core/Text.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace net {
namespace {

bool Listed(const std::vector<std::string>& listed, std::string_view name)
{
    return std::any_of(
        listed.begin(), listed.end(), [&](const std::string& m) { return platform::AsciiUpper(m) == name; });
}

// RFC 7628's saslname: "," and "=" are escaped in the authorisation identity.
std::string SaslName(std::string_view user)
{
    std::string out;
    for (const char c : user) {
        if (c == ',')
            out += "=2C";
        else if (c == '=')
            out += "=3D";
        else
            out += c;
    }
    return out;
}

} // namespace

const char* MechanismName(OAuthMechanism mechanism)
{
    return mechanism == OAuthMechanism::XOAuth2 ? "XOAUTH2" : "OAUTHBEARER";
}

OAuthMechanism ChooseOAuthMechanism(const std::vector<std::string>& listed)
{
    if (!Listed(listed, "XOAUTH2") && Listed(listed, "OAUTHBEARER"))
        return OAuthMechanism::OAuthBearer;
    return OAuthMechanism::XOAuth2;
}

std::string OAuthInitialResponse(OAuthMechanism mechanism, std::string_view user, std::string_view token)
{
    std::string message;
    if (mechanism == OAuthMechanism::XOAuth2)
        message = "user=" + std::string(user) + "\x01";
    else
        message = "n,a=" + SaslName(user) + ",\x01";
    message += "auth=Bearer " + std::string(token) + "\x01\x01";
    return Base64(message);
}

std::string OAuthRefusalAnswer(OAuthMechanism mechanism)
{
    return mechanism == OAuthMechanism::XOAuth2 ? std::string() : Base64("\x01");
}

std::string OAuthChallengeStatus(std::string_view base64Challenge)
{
    const QByteArray raw
        = QByteArray::fromBase64(QByteArray(base64Challenge.data(), static_cast<qsizetype>(base64Challenge.size())),
            QByteArray::AbortOnBase64DecodingErrors);
    const QJsonObject object = QJsonDocument::fromJson(raw).object();
    const QJsonValue status = object.value("status");
    std::string text = status.isDouble() ? std::to_string(static_cast<long long>(status.toDouble()))
                                         : status.toString().toStdString();
    // Shown on the status line: printable ASCII, and not much of it.
    std::erase_if(text, [](char c) { return c < ' ' || c >= 0x7F; });
    if (text.size() > 100)
        text.resize(100);
    return text;
}

bool OAuthCarriable(std::string_view user, std::string_view token)
{
    // 0x01 separates the message's fields; a line break would end the command.
    const auto clean = [](std::string_view s) {
        return s.find_first_of(std::string_view("\0\x01\r\n", 4)) == std::string_view::npos;
    };
    return clean(user) && clean(token) && !token.empty();
}

} // namespace net
