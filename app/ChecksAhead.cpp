// Mail-server checks of a run side by side: each runs its blocking conversation in a strand of
// its own, so that one server's round trips no longer wait for another's.
#include "app/ChecksAhead.h"

#include "app/CheckState.h"
#include "app/MailServerAddress.h"
#include "platform/core/MessageLoop.h"
#include "platform/core/Strand.h"

#include <QString>

#include <algorithm>
#include <exception>

namespace app {
namespace {

bool SameProxy(const ProxySettings& a, const ProxySettings& b)
{
    return a.use == b.use && (!a.use || (a.host == b.host && a.port == b.port));
}

bool SameCheck(const settings::TAccount& a, const settings::TAccount& b)
{
    return a.Name == b.Name && a.Host == b.Host && a.UserName == b.UserName && a.Password == b.Password;
}

// Who is asked where: the user name as sent and the server's host, whatever the protocol.
std::string MailboxOf(const settings::TAccount& account)
{
    try {
        const std::optional<MailServerAddress> address = ReadMailServerAddress(QString::fromStdString(account.Host));
        if (!address)
            return {};
        return QString::fromStdString(address->host).toLower().toStdString() + '\n' + TrimmedUserName(account.UserName);
    } catch (const std::exception&) {
        // A bad address: its check fails at once, asking no one.
        return {};
    }
}

} // namespace

ChecksAhead::ChecksAhead(TfrmQuorvel& form, const std::vector<settings::TAccount>& accounts, ProxySettings proxy,
    Clock clock, std::size_t atOnce)
    : form_(form)
    , proxy_(std::move(proxy))
    , clock_(std::move(clock))
    , atOnce_(atOnce)
{
    if (atOnce_ == 0)
        return;
    for (const settings::TAccount& account : accounts) {
        if (!IsMailServerHost(QString::fromStdString(account.Host)))
            continue;
        auto check = std::make_unique<Check>();
        check->account = account;
        check->mailbox = MailboxOf(account);
        checks_.push_back(std::move(check));
    }
    StartMore();
}

ChecksAhead::~ChecksAhead()
{
    ending_ = true;
    for (const auto& check : checks_)
        if (check->client)
            check->client->Cancel();
    // A cancelled check ends at its next wait; a strand that has not begun returns at once.
    for (const auto& check : checks_)
        while (check->strand && !check->strand->Finished())
            platform::WaitPass();
}

void ChecksAhead::StartMore()
{
    const auto running = [](const Check& c) { return c.begun && !c.over; };
    std::size_t busy = 0;
    for (const auto& check : checks_)
        if (running(*check))
            ++busy;
    for (const auto& check : checks_) {
        if (ending_ || busy >= atOnce_)
            return;
        if (check->begun)
            continue;
        const bool mailboxBusy = !check->mailbox.empty()
            && std::any_of(checks_.begin(), checks_.end(),
                [&](const auto& other) { return running(*other) && other->mailbox == check->mailbox; });
        if (mailboxBusy)
            continue;
        Check* starting = check.get();
        starting->begun = true;
        starting->strand = std::make_unique<platform::Strand>([this, starting] { Run(*starting); });
        ++busy;
    }
}

void ChecksAhead::Run(Check& check)
{
    try {
        if (!ending_) {
            std::optional<RequestRegistration> registration;
            CheckHooks hooks;
            hooks.owner = &form_;
            hooks.started = [&](net::TPowersock* client) {
                check.client = client;
                // The program's end cancels it like the window's other requests.
                registration.emplace(form_, client);
            };
            check.result = CheckMailServer(check.account, proxy_, clock_, hooks);
        }
    } catch (...) {
        // A cancel or a lack of memory: kept by the strand for the run to raise in its turn.
        check.over = true;
        StartMore();
        throw;
    }
    check.over = true;
    StartMore();
}

std::optional<CheckResult> ChecksAhead::Take(const settings::TAccount& account, const ProxySettings& proxy)
{
    if (!SameProxy(proxy, proxy_))
        return std::nullopt;
    for (const auto& check : checks_) {
        if (check->account.Name != account.Name)
            continue;
        if (!SameCheck(check->account, account) || (check->over && !check->strand))
            return std::nullopt;
        // Not begun yet: it begins when one of the checks before it in the list ends.
        while (!check->strand)
            platform::WaitPass();
        while (!check->strand->Finished())
            platform::WaitPass();
        const std::exception_ptr error = check->strand->Error();
        // Its stack goes back at once; the run may be long.
        check->strand.reset();
        if (error)
            std::rethrow_exception(error);
        return check->result;
    }
    return std::nullopt;
}

} // namespace app
