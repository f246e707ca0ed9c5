// A check of an account whose host text names a real mail server (IMAP or POP3): a function from
// the account's record, the proxy settings and a clock to the result the window shows.
#pragma once

#include "settings/Account.h"

#include <QDateTime>
#include <QString>

#include <climits>
#include <cstdint>
#include <functional>
#include <string>

class QObject;

namespace net {
class TPowersock;
}

namespace app {

// The proxy of the window's "Proxy" controls, as typed.
struct ProxySettings {
    bool use = false;
    std::string host;
    std::string port; // converted when the check starts; a text that is no whole number fails it
};

using Clock = std::function<QDateTime()>;

// What one check of a mail server found. Every failure of the check is a result; only a cancel
// (the program ending) raises, as net::EAbortError.
struct CheckResult {
    enum class Outcome {
        Count, // `count` new messages
        LoginFailed, // the server refused the user name or password
        NotAvailable, // logged in, but the mailbox or maildrop cannot be read now
        Failed, // anything else: address, network, TLS, a reply that cannot be read
    };
    Outcome outcome = Outcome::Failed;
    std::uint32_t count = 0;
    // The caption of the account's status: the count in decimal, "Login failed", or what went wrong.
    QString text;
    // When the check ended, from the clock; the window shows it as the "Last checked" text.
    QDateTime checkedAt;
};

// Ways for the caller to follow a check while it waits on the network.
struct CheckHooks {
    // Owner of the mail client while it lives (it may be destroyed with its owner).
    QObject* owner = nullptr;
    // Called with the client before it connects, so that the caller can cancel it.
    std::function<void(net::TPowersock*)> started;
};

// True when the host text names a mail server (imaps://, imap://, pop3s:// or pop3://), even
// one whose address cannot be read.
bool IsMailServerHost(const QString& host);

// The user name without the blanks around it, which a server would take as part of the name.
std::string TrimmedUserName(const std::string& name);

// Checks the account's mail server. Nothing here touches the window or the store.
CheckResult CheckMailServer(
    const settings::TAccount& account, const ProxySettings& proxy, const Clock& clock, const CheckHooks& hooks = {});

// A count as a result of a check: the run adds results in an int.
constexpr int CountResult(std::uint32_t count)
{
    return count > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(count);
}

// The result as a run adds it up (the value of a check of one account): the count, the login
// failure, or the failure of the check.
int RunValue(const CheckResult& result);

} // namespace app
