// Push connections of the accounts, their back-off, and the runs that their news start.
#include "app/PushAccounts.h"

#include "app/AccountMarks.h"
#include "app/CheckState.h"
#include "app/CheckTexts.h"
#include "app/Guard.h"
#include "app/MailServerAddress.h"
#include "app/NewMailNotice.h"
#include "app/SystemWatch.h"
#include "app/frmMain.h"
#include "net/SockErrors.h"
#include "platform/core/StrToInt.h"
#include "platform/desktop/Application.h"
#include "settings/AccountStore.h"
#include "signin/Providers.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStyle>

#include <algorithm>
#include <climits>

namespace app {
namespace {

using End = net::TImapPush::End;

constexpr std::chrono::seconds kFirstRetry { 2 };
constexpr std::chrono::minutes kLongestRetry { 5 };
// The start of the tooltip of an account whose push connection failed, and of the hint's line.
const QString kPushOffText = QStringLiteral("Push off: ");
// A run waits for the one under way by looking again this often.
constexpr int kBusyRetryMs = 200;

bool SameTarget(const settings::TAccount& a, const settings::TAccount& b)
{
    return a.Host == b.Host && a.UserName == b.UserName && a.Password == b.Password;
}

bool SameProxy(const ProxySettings& a, const ProxySettings& b)
{
    return a.use == b.use && (!a.use || (a.host == b.host && a.port == b.port));
}

// The pause before the next attempt after `failures` failed ones: 2 s, 4 s, 8 s ... at most
// 5 minutes, each drawn from three quarters to the whole of its step, so that the connections
// of many accounts (or many users of one server) do not come back in step.
std::chrono::milliseconds Backoff(int failures)
{
    const int doublings = std::clamp(failures - 1, 0, 16);
    const auto step = std::min<std::chrono::milliseconds>(kFirstRetry * (1 << doublings), kLongestRetry);
    const auto least = step * 3 / 4;
    const auto spread = static_cast<quint64>(step.count() - least.count()) + 1;
    return least + std::chrono::milliseconds(static_cast<qint64>(QRandomGenerator::global()->bounded(spread)));
}

// The count a stored status caption shows: a whole number, or nothing (a failure's text).
int StoredCount(const std::string& status)
{
    if (status.empty() || status.size() > 10
        || !std::all_of(status.begin(), status.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    return static_cast<int>(std::min<long long>(std::stoll(status), INT_MAX));
}

} // namespace

PushAccounts::PushAccounts(TfrmQuorvel& form)
    : QObject(&form)
    , FForm(form)
{
    FRunSoon.setSingleShot(true);
    FRunSoon.setTimerType(Qt::PreciseTimer);
    QObject::connect(&FRunSoon, &QTimer::timeout, this, [this] { RunPending(); });
}

PushAccounts::~PushAccounts()
{
    StopAll();
}

void PushAccounts::StopAll()
{
    FRunSoon.stop();
    FPending.clear();
    for (auto& [name, account] : FAccounts)
        Drop(*account);
    FAccounts.clear();
}

void PushAccounts::Drop(Account& account)
{
    account.retry.stop();
    if (account.session) {
        account.session->Stop();
        account.session->deleteLater();
        account.session = nullptr;
    }
}

void PushAccounts::AfterCheck(const settings::TAccount& checked, const ProxySettings& proxy, const CheckResult& result)
{
    if (!Enabled)
        return;
    const QString name = QString::fromStdString(checked.Name);
    std::optional<MailServerAddress> address;
    try {
        address = ReadMailServerAddress(QString::fromStdString(checked.Host));
    } catch (const std::exception&) { }
    auto it = FAccounts.find(name);
    const bool imap = address && address->protocol == MailServerAddress::Protocol::Imap;
    if (!imap || result.outcome == CheckResult::Outcome::LoginFailed) {
        // No longer an IMAP account, or its password is wrong now: the connection goes, and
        // no new one is tried until a check succeeds again.
        if (it != FAccounts.end()) {
            Drop(*it->second);
            FAccounts.erase(it);
            StateChanged();
        }
        return;
    }
    if (result.outcome != CheckResult::Outcome::Count)
        return; // the connection (if any) keeps trying on its own
    if (it == FAccounts.end()) {
        it = FAccounts.emplace(name, std::make_unique<Account>()).first;
        Account& account = *it->second;
        account.retry.setSingleShot(true);
        QObject::connect(&account.retry, &QTimer::timeout, this, [this, name] { Connect(name); });
    }
    Account& account = *it->second;
    const bool same = SameTarget(account.record, checked) && SameProxy(account.proxy, proxy);
    account.record = checked;
    account.proxy = proxy;
    if (same && account.noIdle)
        return;
    if (same && (account.session || account.retry.isActive()))
        return;
    // A successful check lifts a stop for a refused login; a changed account starts afresh.
    Drop(account);
    account.loginFailed = false;
    account.noIdle = false;
    account.failures = 0;
    account.failure.clear();
    // Set up from the loop, not inside the check that asked for it.
    account.retry.start(0);
    StateChanged();
}

void PushAccounts::Connect(const QString& name)
{
    const auto it = FAccounts.find(name);
    if (it == FAccounts.end())
        return;
    Account& account = *it->second;
    // The setup waits on the network as a check does: never inside a run.
    if (CheckState(FForm).running) {
        account.retry.start(kBusyRetryMs);
        return;
    }
    if (platform::Application::instance().Terminated())
        return;
    std::optional<MailServerAddress> address;
    net::TImapPush::Target target;
    try {
        address = ReadMailServerAddress(QString::fromStdString(account.record.Host));
        if (!address)
            return;
        // A sign-in provider's server takes a token, never the password, and a push session
        // would have to keep its token fresh for hours: such accounts stay with the timer.
        if (signin::ProviderForHost(address->host))
            return;
        if (account.proxy.use) {
            target.proxy = account.proxy.host;
            target.proxyPort = platform::StrToInt(account.proxy.port);
        }
    } catch (const std::exception&) {
        return; // the next check says what is wrong with the account
    }
    target.host = address->host;
    target.port = address->port;
    target.implicitTls = address->implicitTls;
    target.user = account.record.UserName;
    target.password = account.record.Password;
    target.mailbox = address->mailbox.toStdString();

    auto* session = new net::TImapPush(this, std::move(target), Timings);
    account.session = session;
    ++FConnections;
    session->OnChanged = [this, name] { Changed(name); };
    session->OnIdling = [this, name] {
        const auto found = FAccounts.find(name);
        if (found == FAccounts.end())
            return;
        const bool wasFailing = !found->second->failure.isEmpty();
        found->second->failures = 0;
        found->second->failure.clear();
        if (wasFailing)
            StateChanged();
        // Back in IDLE after news: the server answered the DONE, so whatever it had to tell
        // came before, and the run need not wait out the rest of the gathering time.
        if (FPending.contains(name) && FRunSoon.isActive())
            FRunSoon.start(0);
    };
    session->OnEnded = [this, name, session](End end, const std::string& text) {
        session->deleteLater();
        Ended(name, end, text);
    };
    // The setup waits on the network: quitting meanwhile cancels it, as it cancels a check.
    std::optional<RequestRegistration> registration;
    session->OnConnecting = [&](net::TPowersock* connection) { registration.emplace(FForm, connection); };
    const QPointer<net::TImapPush> alive(session);
    session->Start();
    if (alive)
        alive->OnConnecting = nullptr;
}

void PushAccounts::Ended(const QString& name, End end, const std::string& text)
{
    const auto it = FAccounts.find(name);
    if (it == FAccounts.end())
        return;
    Account& account = *it->second;
    account.session = nullptr;
    account.failure = QString::fromStdString(text);
    switch (end) {
    case End::LoginFailed:
        // No retry against a wrong password: servers lock accounts that try too often.
        account.loginFailed = true;
        break;
    case End::NoIdle:
        // The timer checks this account, as it always did.
        account.noIdle = true;
        account.failure.clear();
        break;
    case End::Lost:
    case End::Failed:
        ++account.failures;
        account.retry.start(Backoff(account.failures));
        break;
    }
    StateChanged();
}

void PushAccounts::Reconnect()
{
    for (auto& [name, account] : FAccounts) {
        if (account->loginFailed || account->noIdle)
            continue;
        Drop(*account);
        account->failures = 0;
        account->retry.start(0);
    }
}

bool PushAccounts::Idling(const QString& name) const
{
    const auto it = FAccounts.find(name);
    return it != FAccounts.end() && it->second->session && it->second->session->Idling();
}

QString PushAccounts::Failure(const QString& name) const
{
    const auto it = FAccounts.find(name);
    return it == FAccounts.end() ? QString() : it->second->failure;
}

void PushAccounts::StateChanged()
{
    ShowState();
}

void PushAccounts::ShowState()
{
    QStringList off;
    for (int index = 0; index < FForm.clbItems->count(); ++index) {
        QListWidgetItem* item = FForm.clbItems->item(index);
        const QString failure = Failure(item->text());
        if (failure.isEmpty()) {
            if (!item->toolTip().isEmpty()) {
                item->setIcon({});
                item->setToolTip({});
            }
            continue;
        }
        off.push_back(item->text());
        item->setIcon(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning));
        item->setToolTip(kPushOffText + failure);
    }
    // The hint keeps the last run's outcome first; what push lacks follows it.
    QString hint = FForm.trayIcon->Hint();
    const qsizetype at = hint.indexOf(QStringLiteral("\n") + kPushOffText);
    if (at >= 0)
        hint.truncate(at);
    if (!off.isEmpty())
        hint += QStringLiteral("\n") + kPushOffText + off.join(QStringLiteral(", "));
    FForm.trayIcon->SetHint(TrayHint(hint));
}

void PushAccounts::WatchSystem()
{
    if (FWatch)
        return;
    FWatch = new SystemWatch(this);
    FWatch->OnBack = [this] { Back(); };
}

void PushAccounts::Back()
{
    if (!Enabled || platform::Application::instance().Terminated())
        return;
    Reconnect();
    // One run, from the loop: the signal may come in the middle of anything.
    QTimer::singleShot(0, &FForm, [form = &FForm] { Guard([form] { form->btnCheckAllClick(form->btnCheckAll); }); });
}

void PushAccounts::Changed(const QString& name)
{
    FPending.insert(name);
    if (!FRunSoon.isActive())
        FRunSoon.start(Gather);
}

void PushAccounts::RunPending()
{
    auto& application = platform::Application::instance();
    if (application.Terminated() || FPending.empty())
        return;
    auto& state = CheckState(FForm);
    // Never two runs interleaved: this one goes once the one under way has ended.
    if (state.running) {
        FRunSoon.start(kBusyRetryMs);
        return;
    }
    state.running = true;
    const std::set<QString> names = std::exchange(FPending, {});
    const tray::TIcon before = FForm.trayIcon->Icon();
    std::map<QString, int> results;
    try {
        for (const QString& name : names)
            if (const auto result = CheckStored(name))
                results[name] = *result;
    } catch (...) {
        // Only the end of the program cancels a check: nothing more is reported.
        state.running = false;
        return;
    }
    state.running = false;
    if (results.empty() || application.Terminated())
        return;

    // The totals as a check-all run gives them: every account's latest result, the others'
    // from their last check, in list order. Only the accounts checked here change their marks
    // and whether they count as failing.
    int total = 0;
    std::vector<AccountMail> found;
    std::vector<AccountFailure> failed;
    auto* marks = dynamic_cast<TAccountMarks*>(FForm.clbItems->itemDelegate());
    const auto& failing = state.failing;
    for (int index = 0; index < FForm.clbItems->count(); ++index) {
        const QString name = FForm.clbItems->item(index)->text();
        const auto fields = settings::LoadAccount(name.toStdString());
        const QString status = QString::fromStdString(fields.Status.value_or(""));
        const int count = fields.Status ? StoredCount(*fields.Status) : 0;
        if (count > 0) {
            total = count > INT_MAX - total ? INT_MAX : total + count;
            found.push_back({ name, count });
        }
        const auto result = results.find(name);
        if (result != results.end()) {
            if (marks)
                marks->Set(name, MarkOf(result->second));
            if (result->second < 0)
                failed.push_back({ name, status });
        } else if (std::find(failing.begin(), failing.end(), name) != failing.end()) {
            failed.push_back({ name, status });
        }
    }
    FForm.clbItems->viewport()->update();
    FForm.ReportTotal(total, found, failed, before);
    // News that came while this run checked makes one more run.
    if (!FPending.empty() && !FRunSoon.isActive())
        FRunSoon.start(Gather);
}

std::optional<int> PushAccounts::CheckStored(const QString& name)
{
    // An account no longer in the list keeps no connection.
    if (FForm.clbItems->findItems(name, Qt::MatchExactly).isEmpty()) {
        const auto it = FAccounts.find(name);
        if (it != FAccounts.end()) {
            Drop(*it->second);
            FAccounts.erase(it);
        }
        return std::nullopt;
    }
    const std::string key = name.toStdString();
    const auto fields = settings::LoadAccount(key);
    if (fields.Failed || !fields.Host || !IsMailServerHost(QString::fromStdString(*fields.Host)))
        return std::nullopt;
    settings::TAccount account;
    account.Name = key;
    account.Info = fields.Info.value_or("");
    account.Host = *fields.Host;
    account.UserName = fields.UserName.value_or("");
    account.Password = fields.Password.value_or("");
    account.LastChecked = fields.LastChecked.value_or("");
    account.Status = fields.Status.value_or("");

    ProxySettings proxy;
    const auto it = FAccounts.find(name);
    if (it != FAccounts.end())
        proxy = it->second->proxy;
    std::optional<RequestRegistration> registration;
    CheckHooks hooks;
    hooks.owner = this;
    hooks.started = [&](net::TPowersock* client) { registration.emplace(FForm, client); };
    const CheckResult result = CheckMailServer(account, proxy, CheckState(FForm).clock, hooks);
    registration.reset();

    // The record may have been saved from the window meanwhile: only the result is written.
    const QString lastChecked = LastCheckedText(result.checkedAt);
    const auto now = settings::LoadAccount(key);
    if (!now.Failed && now.Host) {
        account.Info = now.Info.value_or("");
        account.Host = *now.Host;
        account.UserName = now.UserName.value_or("");
        account.Password = now.Password.value_or("");
    }
    account.LastChecked = lastChecked.toStdString();
    account.Status = result.text.toStdString();
    settings::SaveAccount(account);
    if (FForm.FCurrentAccount == name && FForm.FLoadedAccount == name) {
        FForm.lblLastChecked->setText(lastChecked);
        FForm.lblStatus->setText(result.text);
    }
    AfterCheck(account, proxy, result);
    return RunValue(result);
}

PushAccounts& Push(TfrmQuorvel& form)
{
    auto& state = CheckState(form);
    if (!state.push)
        state.push = new PushAccounts(form);
    return *state.push;
}

} // namespace app
