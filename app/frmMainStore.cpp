// The window's side of the store: the detail controls and the settings fields copied to and from
// the stored records.
#include "app/CheckTexts.h"
#include "app/SignedInCheck.h"
#include "app/frmMain.h"
#include "settings/Store.h"
#include "signin/TokenStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace app {
namespace {

std::string utf8(const QString& text)
{
    return text.toStdString();
}

QString text(const std::string& utf8Text)
{
    return QString::fromStdString(utf8Text);
}

// Giving a line edit a text lays the text out anew even when it is the one already shown. In a
// run every account passes through the fields, and most share their host type and often their
// comment: an equal text is left as it is.
void ShowText(QLineEdit& field, const QString& value)
{
    if (field.text() != value)
        field.setText(value);
}

} // namespace

void TfrmQuorvel::SaveAccount(const QString& Name)
{
    // Whatever the controls hold when they are not that account's record (its load failed, or
    // a check of another account filled them) must not be written over it.
    if (Name.isEmpty() || Name != FLoadedAccount)
        return;
    settings::TAccount account;
    account.Name = utf8(Name);
    account.Info = utf8(edInfo->text());
    account.Host = utf8(cbHost->currentText());
    account.UserName = utf8(edUserName->text());
    account.Password = utf8(mePassword->text());
    account.LastChecked = utf8(lblLastChecked->text());
    account.Status = utf8(lblStatus->text());
    settings::SaveAccount(account);
}

void TfrmQuorvel::LoadAccount(const QString& Name)
{
    if (Name.isEmpty())
        return;
    // A load that stops early (a record without its seed) must not leave the previous account's
    // password and results in the fields: the next save, or a check, would use them for this one.
    const settings::TAccountFields fields = settings::LoadAccount(utf8(Name));
    if (fields.Failed) {
        // Nothing of another account stays on show under this name, and nothing can be typed
        // that would be lost.
        FLoadedAccount.clear();
        ResetAccountFields(true, false);
        UpdateControls();
        StatusBar->SetSimpleText(UnreadableAccountText(Name));
        return;
    }
    FLoadedAccount = Name;
    if (!edInfo->isEnabled())
        ResetAccountFields(false, true); // shown again after a load that failed
    ShowText(*edInfo, text(fields.Info.value_or(std::string())));
    ShowText(*cbHost->lineEdit(), text(fields.Host.value_or(std::string())));
    ShowText(*edUserName, text(fields.UserName.value_or(std::string())));
    ShowText(*mePassword, text(fields.Password.value_or(std::string())));
    lblLastChecked->setText(fields.LastChecked ? text(*fields.LastChecked) : QString("N/A"));
    lblStatus->setText(fields.Status ? text(*fields.Status) : QString("N/A"));
    UpdateControls();
}

bool TfrmQuorvel::DeleteAccount(const QString& Name)
{
    if (Name.isEmpty())
        return false;
    if (!settings::DeleteAccount(utf8(Name)))
        return false;
    // The account's sign-in goes with it, from wherever its token is kept.
    signin::Tokens().Remove(utf8(Name));
    ForgetAccessToken(utf8(Name));
    return true;
}

void TfrmQuorvel::LoadAccountList()
{
    const settings::TAccountList list = settings::LoadAccountList();
    if (list.Complete) {
        // Filling the list is no selection by the user.
        const QSignalBlocker blocker(clbItems);
        clbItems->clear();
        for (const std::string& name : list.Names)
            clbItems->addItem(text(name));
        clbItems->setCurrentRow(-1);
    }
    const bool any = !list.Names.empty();
    btnRemove->setEnabled(any);
    btnCheckAll->setEnabled(any);
}

void TfrmQuorvel::RefreshAccounts()
{
    LoadAccountList();
    FLoadedAccount.clear();
    if (clbItems->count() > 0) {
        ResetAccountFields(true, true);
        FCurrentAccount = clbItems->item(0)->text();
        LoadAccount(FCurrentAccount);
    } else {
        FCurrentAccount.clear();
        ResetAccountFields(true, false);
    }
}

void TfrmQuorvel::LoadSettings()
{
    const settings::TLoadedSettings loaded = settings::LoadSettings();
    edTimer->setText(text(loaded.Delay));
    cbProxy->setChecked(loaded.Proxy);
    if (loaded.ProxyHost)
        edProxyHost->setText(text(*loaded.ProxyHost));
    if (loaded.ProxyPort)
        edProxyPort->setText(text(*loaded.ProxyPort));
}

void TfrmQuorvel::SaveSettings()
{
    settings::TSettings values;
    values.Delay = utf8(edTimer->text());
    values.Proxy = cbProxy->isChecked();
    values.ProxyHost = utf8(edProxyHost->text());
    values.ProxyPort = utf8(edProxyPort->text());
    settings::SaveSettings(values);
}

void TfrmQuorvel::LoadScreen()
{
    const settings::TLoadedScreen screen = settings::LoadScreen();
    if (screen.Left)
        move(*screen.Left, y());
    if (screen.Top)
        move(x(), *screen.Top);
    if (screen.Width)
        resize(*screen.Width, height());
    if (screen.Height)
        resize(width(), *screen.Height);
}

void TfrmQuorvel::SaveScreen()
{
    settings::TScreen screen;
    screen.Left = x();
    screen.Top = y();
    screen.Width = width();
    screen.Height = height();
    settings::SaveScreen(screen);
}

} // namespace app
