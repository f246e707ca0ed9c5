// Checking one mail-server account: the client chosen by the address, its conversation, and
// every way it can end turned into the account's result.
#include "app/MailServerCheck.h"

#include "app/CheckTexts.h"
#include "app/InterpretPage.h"
#include "app/MailServerAddress.h"
#include "app/SignedInCheck.h"
#include "net/ImapCheck.h"
#include "net/Pop3Check.h"
#include "platform/core/StrToInt.h"

#include <memory>
#include <optional>

namespace app {
namespace {

using Outcome = CheckResult::Outcome;

CheckResult Finished(Outcome outcome, QString text, const Clock& clock, std::uint32_t count = 0)
{
    // The status is one line whatever a server or library put into the text.
    text.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    return { outcome, count, std::move(text), clock ? clock() : QDateTime::currentDateTime() };
}

CheckResult FromCount(const net::MailCount& c, const Clock& clock)
{
    switch (c.outcome) {
    case net::MailCount::Outcome::Count:
        return Finished(Outcome::Count, QString::number(c.count), clock, c.count);
    case net::MailCount::Outcome::LoginRefused:
        // An alert is what the server wants the user to read, often why the login was refused.
        return Finished(Outcome::LoginFailed,
            c.alert.empty() ? QStringLiteral("Login failed") : "Login failed: " + QString::fromStdString(c.alert),
            clock);
    case net::MailCount::Outcome::SignInRefused:
        return Finished(Outcome::LoginFailed, QString::fromStdString("Sign-in refused: " + c.refusal), clock);
    case net::MailCount::Outcome::BadReply:
        break;
    }
    return Finished(Outcome::Failed, QStringLiteral("Interpretion error..."), clock);
}

// Nothing when the account must be signed in first.
std::optional<net::MailCount> Converse(const settings::TAccount& account, const MailServerAddress& address,
    const ProxySettings& proxy, const CheckHooks& hooks)
{
    const bool imap = address.protocol == MailServerAddress::Protocol::Imap;
    std::unique_ptr<net::TMailCheck> client;
    if (imap)
        client = std::make_unique<net::TImapCheck>(hooks.owner);
    else
        client = std::make_unique<net::TPop3Check>(hooks.owner);
    client->ReportLevel = 2;
    if (proxy.use) {
        client->Proxy = proxy.host;
        client->ProxyPort = platform::StrToInt(proxy.port);
    }
    client->Host = address.host;
    client->Port = address.port;
    client->ImplicitTLS = address.implicitTls;
    client->TimeOut = 10000;
    if (!TakeAccessToken(hooks.owner, account.Name, address.host, !account.Password.empty(), *client))
        return std::nullopt;
    if (hooks.started)
        hooks.started(client.get());
    const std::string user = TrimmedUserName(account.UserName);
    if (imap)
        return static_cast<net::TImapCheck&>(*client).CheckMailbox(
            user, account.Password, address.mailbox.toStdString());
    return static_cast<net::TPop3Check&>(*client).CheckMaildrop(user, account.Password);
}

} // namespace

std::string TrimmedUserName(const std::string& name)
{
    const std::size_t first = name.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return name.substr(first, name.find_last_not_of(" \t") - first + 1);
}

bool IsMailServerHost(const QString& host)
{
    try {
        return ReadMailServerAddress(host).has_value();
    } catch (const platform::Exception&) {
        return true; // a mail scheme with an address that cannot be read
    }
}

CheckResult CheckMailServer(
    const settings::TAccount& account, const ProxySettings& proxy, const Clock& clock, const CheckHooks& hooks)
{
    try {
        const auto address = ReadMailServerAddress(QString::fromStdString(account.Host));
        if (!address)
            return Finished(Outcome::Failed, QStringLiteral("Error with host-name"), clock);
        const auto count = Converse(account, *address, proxy, hooks);
        if (!count) {
            // Nothing was sent: the server would only refuse a password, and a check never
            // opens a browser.
            return Finished(Outcome::Failed, QString::fromUtf8(kSignInNeededText), clock);
        }
        if (count->outcome == net::MailCount::Outcome::SignInRefused)
            ForgetAccessToken(account.Name);
        return FromCount(*count, clock);
    } catch (const net::EAbortError&) {
        throw; // the program is ending: no result
    } catch (const net::EMailboxUnavailable& e) {
        return Finished(Outcome::NotAvailable, QString::fromStdString(e.Message), clock);
    } catch (const platform::Exception& e) {
        return Finished(Outcome::Failed, QString::fromStdString(e.Message), clock);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        return Finished(Outcome::Failed, QString::fromUtf8(e.what()), clock);
    }
}

int RunValue(const CheckResult& result)
{
    switch (result.outcome) {
    case CheckResult::Outcome::Count:
        return CountResult(result.count);
    case CheckResult::Outcome::LoginFailed:
        return kLoginFailed;
    case CheckResult::Outcome::NotAvailable:
    case CheckResult::Outcome::Failed:
        break;
    }
    return kCheckFailed;
}

} // namespace app
