// One check of an IMAP or POP3 account from the window, and the result number it reports.
#include "app/MailServerCheck.h"

#include "app/CheckState.h"
#include "app/CheckTexts.h"
#include "net/ImapCheck.h"
#include "net/Pop3Check.h"
#include "platform/core/StrToInt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>

#include <memory>

namespace app {
namespace {

int ResultOf(const net::MailCount& c)
{
    switch (c.outcome) {
    case net::MailCount::Outcome::Count:
        return CountResult(c.count);
    case net::MailCount::Outcome::LoginRefused:
        return -1;
    case net::MailCount::Outcome::BadReply:
        break;
    }
    return -2;
}

} // namespace

int CheckMailServer(TfrmQuorvel& form, const QString& name, const MailServerAddress& address)
{
    const bool imap = address.protocol == MailServerAddress::Protocol::Imap;
    std::unique_ptr<net::TMailCheck> client;
    if (imap)
        client = std::make_unique<net::TImapCheck>(&form);
    else
        client = std::make_unique<net::TPop3Check>(&form);
    const RequestRegistration registration(form, client.get());
    client->ReportLevel = 2;
    if (form.cbProxy->isChecked()) {
        client->Proxy = form.edProxyHost->text().toStdString();
        client->ProxyPort = platform::StrToInt(form.edProxyPort->text().toStdString());
    }
    form.StatusBar->SetSimpleText(CheckingHostText(form.cbHost->currentText(), form.edUserName->text()));
    form.StatusBar->repaint();

    client->Host = address.host;
    client->Port = address.port;
    client->ImplicitTLS = address.implicitTls;
    client->TimeOut = 10000;
    const std::string user = form.edUserName->text().toStdString();
    const std::string password = form.mePassword->text().toStdString();
    const net::MailCount count = imap
        ? static_cast<net::TImapCheck&>(*client).CheckMailbox(user, password, address.mailbox.toStdString())
        : static_cast<net::TPop3Check&>(*client).CheckMaildrop(user, password);

    form.lblLastChecked->setText(LastCheckedText(QDateTime::currentDateTime()));
    const int result = ResultOf(count);
    form.lblStatus->setText(ResultCaption(result));
    form.SaveAccount(name);
    return result;
}

} // namespace app
