// The File menu's operations on the stored accounts: deleting them all, and the export.
#include "app/CheckState.h"
#include "app/SignedInCheck.h"
#include "app/frmMain.h"
#include "platform/desktop/Application.h"
#include "settings/AccountStore.h"
#include "settings/Store.h"
#include "signin/TokenStore.h"

#include <QAction>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <string>
#include <vector>

namespace app {

void TfrmQuorvel::mnuRegistryDeleteClick(QObject*)
{
    // A run uses the detail controls as its working copy; the entry is locked meanwhile.
    if (CheckState(*this).running)
        return;
    const std::vector<std::string> before = settings::LoadAccountList().Names;
    const bool deleted = settings::DeleteAllAccounts();
    // The sign-ins of the accounts that are gone go with them, from wherever they are kept.
    const std::vector<std::string> after = settings::LoadAccountList().Names;
    for (const std::string& name : before) {
        if (std::find(after.begin(), after.end(), name) == after.end()) {
            signin::Tokens().Remove(name);
            ForgetAccessToken(name);
        }
    }
    {
        // Emptying the list must not count as the user selecting nothing.
        const QSignalBlocker quiet(clbItems);
        clbItems->clear();
    }
    if (deleted) {
        btnCheckAll->setEnabled(false);
        btnRemove->setEnabled(false);
        ResetAccountFields(true, false);
        FCurrentAccount.clear();
        StatusBar->SetSimpleText("Successful deleting of config!");
    } else {
        StatusBar->SetSimpleText("Error deleting of config!");
    }
}

void TfrmQuorvel::mnuRegistrySaveClick(QObject*)
{
    const QString fileName = platform::Application::instance().dialogs().SaveFileName(
        "Write config to file.", "Registry (*.reg)", QString());
    if (fileName.isEmpty())
        return;
    bool written = false;
    try {
        written = settings::ExportAccounts(QFile::encodeName(fileName).toStdString());
    } catch (const std::exception&) {
        written = false;
    }
    StatusBar->SetSimpleText(written ? "Successfully writing of config." : "Error writing config.");
}

} // namespace app
