// PushAccounts: the push connections of the window's accounts. After a successful check of an
// IMAP account whose server offers IDLE, one connection stays open for it; a change it reports
// starts a run that checks that account from its stored record and reports the totals as a
// check-all run does. Lost connections come back with back-off; a refused login stops push for
// that account until its next successful check.
#pragma once

#include "app/MailServerCheck.h"
#include "net/ImapPush.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace app {

class TfrmQuorvel;

class PushAccounts : public QObject {
public:
    explicit PushAccounts(TfrmQuorvel& form);
    ~PushAccounts() override;

    // The stored "push" value: off, no connection is ever kept.
    bool Enabled = true;
    net::PushTimings Timings;
    // Changes that come this close together make one run. The run starts sooner, as soon as the
    // connection that told of a change is back in IDLE: the server has said all it had then.
    std::chrono::milliseconds Gather { 100 };

    // A check of `account` ended with `result`: keeps, makes or drops its push connection.
    void AfterCheck(const settings::TAccount& checked, const ProxySettings& proxy, const CheckResult& result);
    // Drops every push connection and makes it again at once (after sleep, or when the network
    // came back); connections stopped by a refused login stay stopped.
    void Reconnect();
    // Drops every connection for good (the window is closing).
    void StopAll();
    // Listens on the system bus for the end of sleep and the return of the network: then every
    // connection is made again and one check-all run goes.
    void WatchSystem();
    // Marks the accounts whose push is off because their connection failed, in the list and in
    // the tray hint.
    void ShowState();

    // The account's push connection is waiting in IDLE.
    bool Idling(const QString& name) const;
    // Why push is off for the account because its connection failed; empty when it is not.
    QString Failure(const QString& name) const;
    // Push connections made so far (for tests and the benchmark: counts logins to the server).
    int Connections() const { return FConnections; }

private:
    struct Account {
        settings::TAccount record;
        ProxySettings proxy;
        QPointer<net::TImapPush> session;
        QTimer retry;
        int failures = 0;
        bool loginFailed = false;
        bool noIdle = false;
        QString failure;
    };

    void Connect(const QString& name);
    void Ended(const QString& name, net::TImapPush::End end, const std::string& text);
    void Drop(Account& account);
    void Changed(const QString& name);
    void RunPending();
    // Checks one account from its stored record: the run's value of its result (the count, or
    // below 0 a failure); nothing when it cannot be checked now.
    std::optional<int> CheckStored(const QString& name);
    void StateChanged();
    void Back();

    TfrmQuorvel& FForm;
    std::map<QString, std::unique_ptr<Account>> FAccounts;
    std::set<QString> FPending;
    QTimer FRunSoon;
    int FConnections = 0;
    class SystemWatch* FWatch = nullptr;
};

// The window's push connections, made on first use.
PushAccounts& Push(TfrmQuorvel& form);

} // namespace app
