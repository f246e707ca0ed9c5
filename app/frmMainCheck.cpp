// Checking mail: one account, the check-all run with its report, the check timer.
#include "app/AccountMarks.h"
#include "app/CheckState.h"
#include "app/CheckTexts.h"
#include "app/ChecksAhead.h"
#include "app/Endpoints.h"
#include "app/Guard.h"
#include "app/InterpretPage.h"
#include "app/LoginAddress.h"
#include "app/MailServerCheck.h"
#include "app/NewMailNotice.h"
#include "app/Pictures.h"
#include "app/PushAccounts.h"
#include "app/frmMain.h"
#include "app/icons/CountBadge.h"
#include "net/SockErrors.h"
#include "platform/core/StrToInt.h"
#include "platform/desktop/Application.h"
#include "platform/desktop/DesktopNotifier.h"
#include "settings/AccountStore.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>

#include <climits>
#include <optional>

namespace app {
namespace {

// Loads a picture file into `picture`; a missing or unreadable file leaves it as it was.
bool LoadPicture(tray::TIcon& picture, const QString& fileName)
{
    const QString path = FindPicture(fileName);
    if (path.isEmpty())
        return false;
    try {
        picture.LoadFromFile(path);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void GivePicture(tray::TTrayIcon& trayIcon, const tray::TIcon& picture)
{
    try {
        trayIcon.SetIcon(picture);
    } catch (const std::exception&) {
        // The notification area keeps the picture it has.
    }
}

// Swallows the user's input to the list while a run is under way. Installed after the window's
// own filters, it sees the events first, so no key or click in the list reaches a handler.
class InputBlocker : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ShortcutOverride:
            return true;
        default:
            return false;
        }
    }
};

// While a run is under way the detail controls are its working copy: the list and everything
// that selects, adds or deletes accounts is locked, and the fields cannot be typed into, so that
// no account's fields are ever saved under another account's name.
class RunLock {
public:
    explicit RunLock(TfrmQuorvel& form)
        : form_(form)
        , state_(CheckState(form))
    {
        state_.running = true;
        // Disabling the control that has the focus would pass it on to the next one, and the
        // user-name field answers being entered: keep the focus on the window meanwhile.
        focus_ = QApplication::focusWidget();
        if (focus_ && IsLocked(focus_))
            form_.setFocus(Qt::OtherFocusReason);
        else
            focus_ = nullptr;
        form_.clbItems->installEventFilter(&blocker_);
        form_.clbItems->viewport()->installEventFilter(&blocker_);
        for (QWidget* w : { static_cast<QWidget*>(form_.clbItems), static_cast<QWidget*>(form_.btnAdd),
                 static_cast<QWidget*>(form_.btnRemove), static_cast<QWidget*>(form_.cbHost) }) {
            enabled_.push_back(w->isEnabled());
            w->setEnabled(false);
        }
        deleteEnabled_ = form_.mnuRegistryDelete->isEnabled();
        form_.mnuRegistryDelete->setEnabled(false);
        for (QLineEdit* e : { form_.edInfo, form_.edUserName, form_.mePassword }) {
            readOnly_.push_back(e->isReadOnly());
            e->setReadOnly(true);
        }
    }

    ~RunLock()
    {
        form_.clbItems->removeEventFilter(&blocker_);
        form_.clbItems->viewport()->removeEventFilter(&blocker_);
        std::size_t i = 0;
        for (QWidget* w : { static_cast<QWidget*>(form_.clbItems), static_cast<QWidget*>(form_.btnAdd),
                 static_cast<QWidget*>(form_.btnRemove), static_cast<QWidget*>(form_.cbHost) })
            w->setEnabled(enabled_[i++]);
        // The host field goes with the other detail controls, which a failed load disables.
        form_.cbHost->setEnabled(form_.cbHost->isEnabled() && form_.edInfo->isEnabled());
        form_.mnuRegistryDelete->setEnabled(deleteEnabled_);
        i = 0;
        for (QLineEdit* e : { form_.edInfo, form_.edUserName, form_.mePassword })
            e->setReadOnly(readOnly_[i++]);
        if (focus_ && focus_->isEnabled()) {
            const QWidget* now = QApplication::focusWidget();
            if (!now || now == &form_)
                focus_->setFocus(Qt::OtherFocusReason);
        }
        state_.running = false;
    }

    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

private:
    bool IsLocked(const QWidget* w) const
    {
        for (const QWidget* locked : { static_cast<QWidget*>(form_.clbItems), static_cast<QWidget*>(form_.btnAdd),
                 static_cast<QWidget*>(form_.btnRemove), static_cast<QWidget*>(form_.cbHost) })
            if (w == locked || locked->isAncestorOf(w))
                return true;
        return false;
    }

    TfrmQuorvel& form_;
    TfrmQuorvel::TCheckState& state_;
    QPointer<QWidget> focus_;
    InputBlocker blocker_;
    std::vector<bool> enabled_;
    std::vector<bool> readOnly_;
    bool deleteEnabled_ = true;
};

// The proxy of the window's controls, as a check takes it.
ProxySettings WindowProxy(const TfrmQuorvel& form)
{
    ProxySettings proxy;
    proxy.use = form.cbProxy->isChecked();
    proxy.host = form.edProxyHost->text().toStdString();
    proxy.port = form.edProxyPort->text().toStdString();
    return proxy;
}

// The records of the listed accounts as the store holds them now, with their texts as the
// window's fields would give them back; an account whose record cannot be read is left out.
std::vector<settings::TAccount> RecordsToCheck(const TfrmQuorvel& form)
{
    std::vector<settings::TAccount> records;
    for (int i = 0; i < form.clbItems->count(); ++i) {
        const QString name = form.clbItems->item(i)->text();
        const settings::TAccountFields fields = settings::LoadAccount(name.toStdString());
        if (fields.Failed)
            continue;
        auto shown = [](const std::optional<std::string>& value) {
            return QString::fromStdString(value.value_or(std::string())).toStdString();
        };
        settings::TAccount record;
        record.Name = name.toStdString();
        record.Host = shown(fields.Host);
        record.UserName = shown(fields.UserName);
        record.Password = shown(fields.Password);
        records.push_back(std::move(record));
    }
    return records;
}

// Lets the run's account checks find the checks started for them, while the run lasts.
class AheadOfTurns {
public:
    AheadOfTurns(TfrmQuorvel::TCheckState& state, ChecksAhead& ahead)
        : state_(state)
    {
        state_.ahead = &ahead;
    }
    ~AheadOfTurns() { state_.ahead = nullptr; }
    AheadOfTurns(const AheadOfTurns&) = delete;
    AheadOfTurns& operator=(const AheadOfTurns&) = delete;

private:
    TfrmQuorvel::TCheckState& state_;
};

} // namespace

int TfrmQuorvel::CheckAccount(int Index)
{
    // The name is taken once: the fields checked here are saved under this name and no other.
    const QString name = clbItems->item(Index)->text();
    LoadAccount(name);
    // Without its record there is nothing to check, and nothing may be saved under its name.
    if (FLoadedAccount != name)
        throw platform::Exception(UnreadableAccountText(name).toStdString());

    // Quitting while the run moved on to this account: nothing more is requested.
    if (platform::Application::instance().Terminated())
        throw net::EAbortError("Mail check canceled");

    const QString host = cbHost->currentText();
    if (IsMailServerHost(host))
        return CheckMailServerAccount(name);
    if (host != QLatin1String("Hotmail")) {
        // No login address is known for this host type: nothing is requested, and the account
        // says why. The run goes on with the next account.
        StatusBar->SetSimpleText(CheckingHostText(host, edUserName->text()));
        lblStatus->setText(ResultCaption(kNoHostRule));
        SaveAccount(name);
        return kNoHostRule;
    }

    WindowRequest request(*this);
    const std::string address
        = LoginAddress(LoginServer(), edUserName->text().toStdString(), mePassword->text().toStdString());
    request.ApplyProxy();
    StatusBar->SetSimpleText(CheckingHostText(host, edUserName->text()));
    StatusBar->repaint();

    request.http().TimeOut = 10000;
    // One account may hold the run for a minute at most, however slowly its server answers.
    request.http().ReplyDeadline = 60000;
    request.http().Get(address);
    const std::string page = request.http().Body;

    lblLastChecked->setText(LastCheckedText(Now(*this)));
    const int result = app::InterpretPage(page, "Login Failed", "messages,", 10);
    lblStatus->setText(ResultCaption(result));
    SaveAccount(name);
    return result;
}

int TfrmQuorvel::CheckMailServerAccount(const QString& Name)
{
    const QString host = cbHost->currentText();
    StatusBar->SetSimpleText(CheckingHostText(host, edUserName->text()));
    StatusBar->repaint();

    settings::TAccount account;
    account.Name = Name.toStdString();
    account.Host = host.toStdString();
    account.UserName = edUserName->text().toStdString();
    account.Password = mePassword->text().toStdString();
    const ProxySettings proxy = WindowProxy(*this);
    auto& state = CheckState(*this);
    std::optional<CheckResult> ahead;
    if (state.ahead)
        ahead = state.ahead->Take(account, proxy);
    std::optional<RequestRegistration> registration;
    CheckHooks hooks;
    hooks.owner = this;
    hooks.started = [&](net::TPowersock* client) { registration.emplace(*this, client); };
    const CheckResult result = ahead ? *ahead : CheckMailServer(account, proxy, state.clock, hooks);

    lblLastChecked->setText(LastCheckedText(result.checkedAt));
    lblStatus->setText(result.text);
    SaveAccount(Name);
    Push(*this).AfterCheck(account, proxy, result);
    return RunValue(result);
}

int TfrmQuorvel::InterpretPage(const QString& Page, const QString& FailText, const QString& SearchText, int Offset)
{
    return app::InterpretPage(Page.toStdString(), FailText.toStdString(), SearchText.toStdString(), Offset);
}

void TfrmQuorvel::btnCheckAllClick(QObject*)
{
    auto& state = CheckState(*this);
    // One run at a time: a start asked for while a run waits on the network is ignored.
    if (state.running)
        return;
    RunLock lock(*this);
    auto& application = platform::Application::instance();

    const tray::TIcon before = trayIcon->Icon();
    tray::TIcon picture;
    if (LoadPicture(picture, "aclock.ico"))
        GivePicture(*trayIcon, picture);

    // Whatever ends the run early, the current account's own fields are shown again and the
    // notification area does not go on showing the clock.
    auto endEarly = [&] {
        LoadAccount(FCurrentAccount);
        GivePicture(*trayIcon, before);
    };

    SaveAccount(FCurrentAccount);
    int total = 0;
    std::vector<AccountMail> found;
    std::vector<AccountFailure> failed;
    std::vector<QString> checked;
    auto* marks = dynamic_cast<TAccountMarks*>(clbItems->itemDelegate());
    const int count = clbItems->count();
    try {
        // Every mail server is asked at once; the results are still taken in list order.
        ChecksAhead ahead(*this, RecordsToCheck(*this), WindowProxy(*this), state.clock, state.checksAtOnce);
        const AheadOfTurns aheadOfTurns(state, ahead);
        for (int index = 0; index < count && index < clbItems->count(); ++index) {
            if (application.Terminated())
                break;
            const QString name = clbItems->item(index)->text();
            const int result = CheckAccount(index);
            checked.push_back(name);
            if (marks) {
                marks->Set(name, MarkOf(result));
                clbItems->viewport()->update();
            }
            // Counts from mail servers can be large: the total stops at the largest int.
            if (result > 0) {
                total = result > INT_MAX - total ? INT_MAX : total + result;
                found.push_back({ name, result });
            } else if (result < 0 && IsMailServerHost(cbHost->currentText())) {
                // A mail server's failure is said and listed; the other host types keep their
                // reports as they are (their own failures end the run with an error report).
                failed.push_back({ name, lblStatus->text() });
            }
        }
    } catch (...) {
        endEarly();
        if (application.Terminated())
            return; // the program is ending: no report of the cancelled request
        throw;
    }
    if (application.Terminated()) {
        endEarly();
        return;
    }

    LoadAccount(FCurrentAccount);
    if (marks)
        marks->Keep(checked);
    ReportTotal(total, found, failed, before);
}

void TfrmQuorvel::ReportTotal(int Total, const std::vector<AccountMail>& Found,
    const std::vector<AccountFailure>& Failed, const tray::TIcon& Before)
{
    auto& state = CheckState(*this);
    const std::vector<AccountFailure> started = StartedFailing(Failed, state.failing);
    state.failing.clear();
    for (const AccountFailure& account : Failed)
        state.failing.push_back(account.name);
    const RunReport report = ReportRun(Total, FLastTotal);
    StatusBar->SetSimpleText(report.statusText);
    StatusBar->repaint();
    tray::TIcon picture;
    if (LoadPicture(picture, report.picture)) {
        if (Total > 0)
            picture = tray::TIcon(pictures::BadgedIcon(picture.icon(), Total));
        GivePicture(*trayIcon, picture);
    } else
        GivePicture(*trayIcon, Before);
    if (FNotify && AnnouncesNewMail(Total, FLastTotal))
        AnnounceNewMail(NewMailText(StatusBar->SimpleText(), Found));
    // An account that starts failing is said once, through the same notices.
    if (FNotify && !started.empty())
        AnnounceNewMail(FailureText(started));
    FLastTotal = Total;
    trayIcon->SetHint(TrayHint(StatusBar->SimpleText(), state.failing));
    Push(*this).ShowState();
}

void TfrmQuorvel::AnnounceNewMail(const QString& Text)
{
    platform::DesktopNotice notice;
    notice.appName = QStringLiteral("quorvel");
    notice.summary = QStringLiteral("Quorvel");
    notice.body = Text;
    notice.iconName = QStringLiteral("quorvel");
    notice.icon = ProgramIcon();
    notice.desktopEntry = QStringLiteral("quorvel");
    // A click on the notice does what a double click on the tray icon does; the notice may
    // outlive the window.
    QPointer<TfrmQuorvel> self(this);
    notice.onDefaultAction = [self] {
        if (self)
            Guard([&] { self->trayIconDlbClick(self->trayIcon); });
    };
    platform::Notifier().Show(notice);
}

void TfrmQuorvel::timerTimer(QObject*)
{
    btnCheckAllClick(timer);
}

void TfrmQuorvel::edTimerChange(QObject*)
{
    const int minutes = platform::StrToInt(edTimer->text().toStdString());
    if (const auto interval = TimerInterval(minutes))
        timer->SetInterval(*interval);
}

} // namespace app
