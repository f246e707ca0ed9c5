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

} // namespace app
