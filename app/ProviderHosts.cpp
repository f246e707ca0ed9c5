// The one place that says which server each provider's host type checks.
#include "app/ProviderHosts.h"

namespace app {

namespace {

constexpr Provider kProviders[] = {
    { "Gmail", "imap.gmail.com" },
    { "Outlook.com", "outlook.office365.com" },
    { "Yahoo", "imap.mail.yahoo.com" },
    { "iCloud", "imap.mail.me.com" },
    { "Fastmail", "imap.fastmail.com" },
    { "GMX", "imap.gmx.net" },
    { "Zoho", "imap.zoho.com" },
};

} // namespace

std::span<const Provider> Providers()
{
    return kProviders;
}

std::optional<QString> ProviderServerAddress(const QString& hostType)
{
    for (const Provider& provider : Providers())
        if (hostType == QLatin1String(provider.name))
            return QStringLiteral("imaps://") + QLatin1String(provider.server);
    return std::nullopt;
}

QString HostHint(const QString& hostType)
{
    if (hostType == QLatin1String("Hotmail"))
        return QStringLiteral("Hotmail is the old web login; an Outlook.com or Hotmail mailbox is \"Outlook.com\"");
    QStringList names;
    for (const Provider& provider : Providers())
        names << QLatin1String(provider.name);
    return names.join(", ") + QStringLiteral(", or a mail server as imaps://imap.example.org");
}

} // namespace app
