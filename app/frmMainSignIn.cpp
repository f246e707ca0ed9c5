// "Sign in...": the current account signs in with its mail host's provider in the browser.
#include "app/MailServerAddress.h"
#include "app/frmMain.h"
#include "platform/core/Exceptions.h"
#include "platform/core/StrToInt.h"
#include "platform/desktop/Application.h"
#include "signin/Providers.h"
#include "signin/SignIn.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

#include <optional>

namespace app {
namespace {

std::optional<signin::Provider> ProviderOfHostText(const QString& text)
{
    try {
        if (const auto server = ReadMailServerAddress(text))
            return signin::ProviderForHost(server->host);
    } catch (const platform::Exception&) {
        // A host text that cannot be read names no provider.
    }
    return std::nullopt;
}

// The desktop's browser; $BROWSER, when set, names the program to run with the address.
bool OpenBrowser(const std::string& address)
{
    const QString browser = qEnvironmentVariable("BROWSER");
    if (!browser.isEmpty()) {
        // Like other programs, take the first of a colon-separated list.
        QStringList command = QProcess::splitCommand(browser.section(':', 0, 0));
        if (command.isEmpty())
            return false;
        const QString program = command.takeFirst();
        command.append(QString::fromStdString(address));
        return QProcess::startDetached(program, command);
    }
    return QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray::fromStdString(address), QUrl::StrictMode));
}

} // namespace

void TfrmQuorvel::UpdateSignIn()
{
    btnSignIn->setEnabled(!FSigningIn && edInfo->isEnabled() && ProviderOfHostText(cbHost->currentText()).has_value());
}

void TfrmQuorvel::btnSignInClick(QObject*)
{
    const auto provider = ProviderOfHostText(cbHost->currentText());
    if (FSigningIn || !provider || FCurrentAccount.isEmpty())
        return;
    signin::SignInRequest request;
    request.account = FCurrentAccount.toStdString();
    request.address = edUserName->text().toStdString();
    request.provider = *provider;
    if (cbProxy->isChecked()) {
        request.proxy.host = edProxyHost->text().toStdString();
        request.proxy.port = platform::StrToInt(edProxyPort->text().toStdString());
    }
    request.openBrowser = OpenBrowser;
    request.cancelled = [] { return platform::Application::instance().Terminated(); };

    StatusBar->SetSimpleText("Signing in to " + edUserName->text() + " in the browser...");
    StatusBar->repaint();
    FSigningIn = true;
    UpdateSignIn();
    const QPointer<TfrmQuorvel> self(this);
    const signin::SignInResult result = signin::RunSignIn(this, request);
    if (!self)
        return;
    FSigningIn = false;
    UpdateSignIn();
    if (platform::Application::instance().Terminated())
        return;
    StatusBar->SetSimpleText(QString::fromStdString(result.text));
}

} // namespace app
