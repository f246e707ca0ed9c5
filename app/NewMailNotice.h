// The desktop notice of a check-all run that found more new mail than the run before.
#pragma once

#include <QString>

#include <vector>

namespace app {

struct AccountMail {
    QString name;
    int count = 0;
};

// A run announces its mail when it found some, and more than the run before.
bool AnnouncesNewMail(int total, int lastTotal);

// The status line's text, then one line "<name>: <count>" for each account with new mail.
QString NewMailText(const QString& statusText, const std::vector<AccountMail>& accounts);

struct AccountFailure {
    QString name;
    QString text; // the account's status after the check
};

// The accounts of `failed` that were not failing before the run: an account is announced once
// when it starts failing, not again while it goes on failing.
std::vector<AccountFailure> StartedFailing(
    const std::vector<AccountFailure>& failed, const std::vector<QString>& before);

// One line "<name>: <failure text>" for each account.
QString FailureText(const std::vector<AccountFailure>& accounts);

} // namespace app
