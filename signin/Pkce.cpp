// PKCE with S256: the verifier never leaves the machine until the code exchange.
#include "signin/Pkce.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QRandomGenerator>

namespace signin {
namespace {

std::string Base64Url(const QByteArray& bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals).toStdString();
}

} // namespace

std::string RandomText(std::size_t bytes)
{
    QByteArray data(static_cast<qsizetype>(bytes), '\0');
    for (char& c : data)
        c = static_cast<char>(QRandomGenerator::system()->bounded(256));
    return Base64Url(data);
}

std::string PkceChallenge(std::string_view verifier)
{
    const QByteArray digest = QCryptographicHash::hash(
        QByteArrayView(verifier.data(), static_cast<qsizetype>(verifier.size())), QCryptographicHash::Sha256);
    return Base64Url(digest);
}

Pkce MakePkce()
{
    Pkce p;
    p.verifier = RandomText(32);
    p.challenge = PkceChallenge(p.verifier);
    return p;
}

} // namespace signin
