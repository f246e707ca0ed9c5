// Host texts that name a real mail server: imaps://, imap://, pop3s:// and pop3:// addresses.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace app {

struct MailServerAddress {
    enum class Protocol { Imap, Pop3 };
    Protocol protocol = Protocol::Imap;
    // TLS from the first byte; otherwise the clear connection must be upgraded before the login.
    bool implicitTls = true;
    std::string host;
    std::uint16_t port = 0;
    // IMAP only: the mailbox whose unseen messages are counted.
    QString mailbox;
};

// A provider's host type ("Gmail") reads as its provider's server, INBOX.
// Nothing when the text is no mail server address (another host type such as "Hotmail"). A
// text that starts with a mail scheme but cannot be read raises "Bad mail server address: <text>".
std::optional<MailServerAddress> ReadMailServerAddress(const QString& text);

} // namespace app
