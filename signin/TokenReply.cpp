// Token endpoint replies and request bodies; JSON through Qt Core.
#include "signin/TokenReply.h"

#include "signin/FormEncoding.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <limits>

namespace signin {
namespace {

constexpr std::size_t kMaxShown = 200;

std::string Shown(const QString& text)
{
    std::string out;
    for (const char c : text.toStdString()) {
        if (c >= ' ' && c < 0x7F && out.size() < kMaxShown)
            out += c;
    }
    return out;
}

// A token goes into a SASL message and a store value: printable ASCII only (RFC 6750 b64token
// and the like), or it is no token.
bool UsableToken(const std::string& token)
{
    if (token.empty() || token.size() > std::size_t { 16 } * 1024)
        return false;
    for (const char c : token) {
        if (c <= ' ' || c >= 0x7F)
            return false;
    }
    return true;
}

} // namespace

TokenReply ReadTokenReply(int status, std::string_view body)
{
    TokenReply reply;
    QJsonParseError parseError;
    const QJsonDocument document
        = QJsonDocument::fromJson(QByteArray(body.data(), static_cast<qsizetype>(body.size())), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        reply.error = "The token service sent no readable answer (HTTP " + std::to_string(status) + ")";
        return reply;
    }
    const QJsonObject object = document.object();
    if (status == 200) {
        const std::string access = object.value("access_token").toString().toStdString();
        const QString type = object.value("token_type").toString();
        if (!UsableToken(access) || type.compare("Bearer", Qt::CaseInsensitive) != 0) {
            reply.error = "The token service sent no bearer token";
            return reply;
        }
        reply.kind = TokenReply::Kind::Tokens;
        reply.accessToken = access;
        const QJsonValue expires = object.value("expires_in");
        // Some services send the number as a string.
        const double seconds = expires.isString() ? expires.toString().toDouble() : expires.toDouble();
        if (seconds > 0 && seconds < double(std::numeric_limits<std::int32_t>::max()))
            reply.expiresIn = static_cast<std::int64_t>(seconds);
        if (object.contains("refresh_token")) {
            const std::string refresh = object.value("refresh_token").toString().toStdString();
            if (UsableToken(refresh))
                reply.refreshToken = refresh;
        }
        return reply;
    }
    const QString error = object.value("error").toString();
    if (error.isEmpty()) {
        reply.error = "The token service refused the request (HTTP " + std::to_string(status) + ")";
        return reply;
    }
    reply.kind = error == "invalid_grant" ? TokenReply::Kind::InvalidGrant : TokenReply::Kind::Error;
    reply.error = Shown(error);
    // An error code of control characters only would leave the user a refusal without words.
    if (reply.error.empty())
        reply.error = "The token service refused the request (HTTP " + std::to_string(status) + ")";
    const QString description = object.value("error_description").toString();
    if (!description.isEmpty())
        reply.error += ": " + Shown(description);
    return reply;
}

std::string CodeExchangeBody(
    const Provider& provider, std::string_view code, std::string_view verifier, std::string_view redirectUri)
{
    return FormEncode({
        { "grant_type", "authorization_code" },
        { "code", std::string(code) },
        { "redirect_uri", std::string(redirectUri) },
        { "client_id", provider.clientId },
        { "client_secret", provider.clientSecret },
        { "code_verifier", std::string(verifier) },
    });
}

std::string RefreshBody(const Provider& provider, std::string_view refreshToken)
{
    return FormEncode({
        { "grant_type", "refresh_token" },
        { "refresh_token", std::string(refreshToken) },
        { "client_id", provider.clientId },
        { "client_secret", provider.clientSecret },
    });
}

} // namespace signin
