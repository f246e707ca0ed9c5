// Reading a host text as a mail server address: scheme, host name or dotted quad, port.
#include "app/MailServerAddress.h"

#include "app/ProviderHosts.h"
#include "platform/core/Exceptions.h"

#include <QStringList>

#include <string>

namespace app {
namespace {

struct Scheme {
    const char* name;
    MailServerAddress::Protocol protocol;
    bool implicitTls;
    std::uint16_t port;
};

constexpr Scheme kSchemes[] = {
    { "imaps", MailServerAddress::Protocol::Imap, true, 993 },
    { "imap", MailServerAddress::Protocol::Imap, false, 143 },
    { "pop3s", MailServerAddress::Protocol::Pop3, true, 995 },
    { "pop3", MailServerAddress::Protocol::Pop3, false, 110 },
};

// Four decimal numbers up to 255, without signs or leading zeros: the one form that every reader
// of an address (the connect, the certificate check) takes for the same address. "010" would be
// ten to one of them and eight to another.
bool IsDottedQuad(const QString& host)
{
    const QStringList parts = host.split('.');
    if (parts.size() != 4)
        return false;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.at(0) == '0'))
            return false;
        bool ok = false;
        const int value = part.toInt(&ok, 10);
        if (!ok || value > 255 || !part.at(0).isDigit())
            return false;
    }
    return true;
}

// A DNS name: labels of letters, digits, "-" and "_", none empty, none starting or ending with "-".
bool IsHostName(const QString& host)
{
    if (host.isEmpty() || host.size() > 253)
        return false;
    const QStringList labels = host.endsWith('.') ? host.chopped(1).split('.') : host.split('.');
    for (const QString& label : labels) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith('-') || label.endsWith('-'))
            return false;
        for (const QChar c : label) {
            const char16_t u = c.unicode();
            const bool ok
                = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '_';
            if (!ok)
                return false;
        }
    }
    // A last label that is a number (decimal, or hexadecimal after "0x") makes the text an
    // address in some reader's eyes, never a name: "0x7f.1" would connect to 127.0.0.1.
    const QString last = labels.last();
    bool number = true;
    for (const QChar c : last)
        number = number && c.isDigit();
    const bool hex = last.size() > 2 && last.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    bool hexDigits = hex;
    for (const QChar c : last.mid(2))
        hexDigits = hexDigits && (c.isDigit() || (c.toLower() >= 'a' && c.toLower() <= 'f'));
    return !number && !(hex && hexDigits) && !(last.compare(QLatin1String("0x"), Qt::CaseInsensitive) == 0);
}

} // namespace

std::optional<MailServerAddress> ReadMailServerAddress(const QString& text)
{
    if (const auto provider = ProviderServerAddress(text))
        return ReadMailServerAddress(*provider);
    const QString trimmed = text.trimmed();
    const Scheme* scheme = nullptr;
    for (const Scheme& s : kSchemes) {
        const QString prefix = QString::fromLatin1(s.name) + ':';
        if (trimmed.startsWith(prefix, Qt::CaseInsensitive)) {
            scheme = &s;
            break;
        }
    }
    if (!scheme)
        return std::nullopt;
    const auto bad = [&text]() { return platform::Exception("Bad mail server address: " + text.toStdString()); };
    QString rest = trimmed.mid(static_cast<int>(std::char_traits<char>::length(scheme->name)) + 1);
    if (!rest.startsWith(QLatin1String("//")))
        throw bad();
    rest = rest.mid(2);

    MailServerAddress address;
    address.protocol = scheme->protocol;
    address.implicitTls = scheme->implicitTls;
    address.port = scheme->port;

    const qsizetype slash = rest.indexOf('/');
    const QString authority = slash < 0 ? rest : rest.left(slash);
    if (slash >= 0) {
        if (address.protocol == MailServerAddress::Protocol::Pop3 && slash + 1 < rest.size())
            throw bad(); // a maildrop has no mailboxes to choose from
        address.mailbox = rest.mid(slash + 1);
    }
    if (address.mailbox.isEmpty() && address.protocol == MailServerAddress::Protocol::Imap)
        address.mailbox = QStringLiteral("INBOX");

    QString host = authority;
    const qsizetype colon = authority.indexOf(':');
    if (colon >= 0) {
        host = authority.left(colon);
        const QString port = authority.mid(colon + 1);
        bool ok = !port.isEmpty() && port.size() <= 5;
        for (const QChar c : port)
            ok = ok && c >= '0' && c <= '9';
        const int value = ok ? port.toInt() : 0;
        if (value < 1 || value > 65535)
            throw bad();
        address.port = static_cast<std::uint16_t>(value);
    }
    if (!IsDottedQuad(host) && !IsHostName(host))
        throw bad();
    address.host = host.toStdString();
    return address;
}

} // namespace app
