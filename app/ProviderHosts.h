// Host types named after the large mail providers, each standing for its provider's IMAP server.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <span>

namespace app {

struct Provider {
    const char* name; // the host type, stored as it is
    const char* server; // the provider's IMAP server, reached with TLS from the first byte
};

// Every provider's host type; cbHost sorts them with the others.
std::span<const Provider> Providers();

// The mail server address that a provider's host type stands for ("imaps://imap.gmail.com");
// nothing for any other text. The name must match exactly, as "Hotmail" must.
std::optional<QString> ProviderServerAddress(const QString& hostType);

// The status-line hint of cbHost while it holds `hostType`.
QString HostHint(const QString& hostType);

} // namespace app
