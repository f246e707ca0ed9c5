// When a check-all run earns a desktop notice, and the notice's text.
#include "app/NewMailNotice.h"

#include <QStringList>

#include <algorithm>

namespace app {

bool AnnouncesNewMail(int total, int lastTotal)
{
    return total > 0 && total > lastTotal;
}

QString NewMailText(const QString& statusText, const std::vector<AccountMail>& accounts)
{
    QString text = statusText;
    for (const AccountMail& account : accounts)
        if (account.count > 0)
            text += QStringLiteral("\n%1: %2").arg(account.name, QString::number(account.count));
    return text;
}

std::vector<AccountFailure> StartedFailing(
    const std::vector<AccountFailure>& failed, const std::vector<QString>& before)
{
    std::vector<AccountFailure> started;
    for (const AccountFailure& account : failed)
        if (std::find(before.begin(), before.end(), account.name) == before.end())
            started.push_back(account);
    return started;
}

QString FailureText(const std::vector<AccountFailure>& accounts)
{
    QStringList lines;
    for (const AccountFailure& account : accounts)
        lines << account.name + QStringLiteral(": ") + account.text;
    return lines.join('\n');
}

} // namespace app
