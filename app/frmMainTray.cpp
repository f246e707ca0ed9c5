// The tray icon's menu: checking, bringing the window back, the notices switch and starting at
// login. Hosts that draw the menu themselves get the same actions, so everything here is reached
// through the actions' own signals.
#include "app/Guard.h"
#include "app/StartAtLogin.h"
#include "app/frmMain.h"
#include "platform/desktop/Application.h"
#include "settings/NotifySetting.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

namespace app {

using platform::Application;

void TfrmQuorvel::CreateTrayMenu()
{
    pumTrayIcon = new QMenu(this);
    pmnuCheckAll = pumTrayIcon->addAction("&Check All");
    pmnuShow = pumTrayIcon->addAction("&Show Quorvel");
    N3 = pumTrayIcon->addSeparator();
    pmnuNotices = pumTrayIcon->addAction("&Notices");
    pmnuNotices->setCheckable(true);
    pmnuNotices->setChecked(FNotify);
    pmnuStartAtLogin = pumTrayIcon->addAction("Start at lo&gin");
    pmnuStartAtLogin->setCheckable(true);
    N2 = pumTrayIcon->addSeparator();
    pmnuClose = pumTrayIcon->addAction("C&lose");
}

void TfrmQuorvel::ConnectTrayMenu()
{
    connect(pmnuClose, &QAction::triggered, this, Guarded([this] { pmnuCloseClick(pmnuClose); }));
    connect(pmnuCheckAll, &QAction::triggered, this, Guarded([this] { pmnuCheckAllClick(pmnuCheckAll); }));
    connect(pmnuShow, &QAction::triggered, this, Guarded([this] { pmnuShowClick(pmnuShow); }));
    connect(pmnuNotices, &QAction::triggered, this, Guarded([this] { pmnuNoticesClick(pmnuNotices); }));
    connect(pmnuStartAtLogin, &QAction::triggered, this, Guarded([this] { pmnuStartAtLoginClick(pmnuStartAtLogin); }));
    // The entry can be made or removed by other tools meanwhile: the menu shows what is there now.
    connect(pumTrayIcon, &QMenu::aboutToShow, this, Guarded([this] { UpdateTrayMenu(); }));
}

void TfrmQuorvel::UpdateTrayMenu()
{
    pmnuNotices->setChecked(FNotify);
    pmnuStartAtLogin->setChecked(StartsAtLogin());
}

void TfrmQuorvel::pmnuShowClick(QObject*)
{
    auto& application = Application::instance();
    if (application.Minimized())
        application.Restore();
    application.BringToFront();
}

void TfrmQuorvel::pmnuNoticesClick(QObject*)
{
    // Honoured from the next run on even when the store cannot keep it.
    FNotify = pmnuNotices->isChecked();
    if (!settings::SaveNotify(FNotify))
        StatusBar->SetSimpleText("Could not store the notices setting");
}

void TfrmQuorvel::pmnuStartAtLoginClick(QObject*)
{
    const bool wanted = pmnuStartAtLogin->isChecked();
    try {
        SetStartAtLogin(wanted, QCoreApplication::applicationFilePath());
    } catch (...) {
        pmnuStartAtLogin->setChecked(StartsAtLogin());
        throw;
    }
    pmnuStartAtLogin->setChecked(StartsAtLogin());
}

} // namespace app
