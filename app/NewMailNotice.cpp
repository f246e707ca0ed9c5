// When a check-all run earns a desktop notice, and the notice's text.
#include "app/NewMailNotice.h"

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

} // namespace app
