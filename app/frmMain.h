// TfrmQuorvel: the main window with the account list, the detail fields, the check controls, the
// proxy settings, the status line, the tray icon and the check timer.
#pragma once

#include "app/StatusBar.h"
#include "app/Timer.h"
#include "tray/TrayIcon.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;
class QSplitter;
class QStyle;

namespace app {

struct AccountFailure;
struct AccountMail;

// The running version, as the heading shows it.
extern const char* const kVersion;

constexpr std::uint16_t VK_DELETE = 46;

class TfrmQuorvel : public QMainWindow {
public:
    // Loads the design, then runs FormCreate.
    explicit TfrmQuorvel(QWidget* parent = nullptr);
    // Runs FormDestroy, then frees the components.
    ~TfrmQuorvel() override;

    // The design.
    QMenuBar* MainMenu1;
    QMenu* File2;
    QAction* mnuRegistrySave;
    QAction* Importconfigfromfile1;
    QAction* mnuRegistryDelete;
    QAction* N1;
    QAction* mnuExit;
    QMenu* Help1;
    QAction* mnuAbout;
    QMenu* pumTrayIcon;
    QAction* pmnuCheckAll;
    QAction* pmnuShow;
    QAction* N3;
    QAction* pmnuNotices;
    QAction* pmnuStartAtLogin;
    QAction* N2;
    QAction* pmnuClose;

    QLabel* lblProgram;
    QLabel* Label6;
    QGroupBox* gbAccounts;
    QListWidget* clbItems;
    QSplitter* splitAccount;
    QWidget* pnlAccount;
    QLabel* lblTag;
    QLineEdit* edInfo;
    QLabel* lblHost;
    QComboBox* cbHost;
    QLabel* lblUsername;
    QLineEdit* edUserName;
    QLabel* lblPassword;
    QLineEdit* mePassword;
    QPushButton* btnSignIn;
    QLabel* lblLastCheckedLeft;
    QLabel* lblLastChecked;
    QLabel* lblStatusLeft;
    QLabel* lblStatus;
    QWidget* Panel1;
    QLabel* lblHomePage;
    QWidget* pnlButtons;
    QPushButton* btnAdd;
    QPushButton* btnRemove;
    QPushButton* btnExit;
    QPushButton* btnRename;
    QPushButton* btnDuplicate;
    QPushButton* btnCheckIt;
    QWidget* pnlActionButtons;
    QPushButton* btnCheckAll;
    QLabel* Label9;
    QLineEdit* edTimer;
    QWidget* pnlProxy;
    QCheckBox* cbProxy;
    QLabel* lblProxyHost;
    QLineEdit* edProxyHost;
    QLabel* lblProxyPort;
    QLineEdit* edProxyPort;
    TStatusBar* StatusBar;
    tray::TTrayIcon* trayIcon;
    TTimer* timer;

    // Start-up, shutdown, the status line and the ways out.
    void FormCreate(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void ShowHint(QObject* Sender);
    void btnExitClick(QObject* Sender);
    void mnuExitClick(QObject* Sender);
    void pmnuCloseClick(QObject* Sender);
    void pmnuCheckAllClick(QObject* Sender);
    void mnuAboutClick(QObject* Sender);
    void splitAccountMoved(QObject* Sender);
    void FitHomePageLabel();

    // The window beside its tray icon.
    void trayIconMinimize(QObject* Sender);
    void trayIconRestore(QObject* Sender);
    void trayIconDlbClick(QObject* Sender);
    void trayIconClick(QObject* Sender);
    // The tray menu beyond checking and closing (frmMainTray.cpp).
    void pmnuShowClick(QObject* Sender);
    void pmnuNoticesClick(QObject* Sender);
    void pmnuStartAtLoginClick(QObject* Sender);
    void UpdateTrayMenu();

    // The account list and the detail fields.
    void ResetAccountFields(bool Clear, bool Enable);
    void UpdateControls();
    void clbItemsClick(QObject* Sender);
    void clbItemsKeyDown(QObject* Sender, std::uint16_t& Key, Qt::KeyboardModifiers Shift);
    void btnAddClick(QObject* Sender);
    void btnRemoveClick(QObject* Sender);
    void cbHostChange(QObject* Sender);
    void cbProxyClick(QObject* Sender);
    void edUserNameEnter(QObject* Sender);
    // Sign-in of the current account at its mail host's provider (frmMainSignIn.cpp).
    void btnSignInClick(QObject* Sender);
    // Enables "Sign in..." for an account whose host text names a sign-in provider's mail host.
    void UpdateSignIn();
    // Says once, at start-up, when the store cannot keep anything.
    void ReportUnusableStore();

    // The store, through the detail controls and the settings fields.
    void SaveAccount(const QString& Name);
    void LoadAccount(const QString& Name);
    bool DeleteAccount(const QString& Name);
    void LoadAccountList();
    void RefreshAccounts();
    void LoadSettings();
    void SaveSettings();
    void LoadScreen();
    void SaveScreen();

    // Checking mail (frmMainCheck.cpp).
    int CheckAccount(int Index);
    // CheckAccount for a host text that names a mail server: every failure is the account's result.
    int CheckMailServerAccount(const QString& Name);
    int InterpretPage(const QString& Page, const QString& FailText, const QString& SearchText, int Offset);
    void btnCheckAllClick(QObject* Sender);
    // The end of a run: status line, picture (`Before` when the outcome's picture cannot be
    // read), desktop notices (new mail, accounts that start failing), FLastTotal and the tray
    // hint. `Failed`: every account whose latest check failed, in list order.
    void ReportTotal(int Total, const std::vector<AccountMail>& Found, const std::vector<AccountFailure>& Failed,
        const tray::TIcon& Before);
    void timerTimer(QObject* Sender);
    void edTimerChange(QObject* Sender);
    // The desktop notice of new mail after a run.
    void AnnounceNewMail(const QString& Text);
    // The new-version check (frmMainVersion.cpp).
    void lblHomePageClick(QObject* Sender);
    // Exporting and deleting the stored accounts (frmMainConfig.cpp).
    void mnuRegistryDeleteClick(QObject* Sender);
    void mnuRegistrySaveClick(QObject* Sender);

    QString FCurrentAccount;
    int FLastTotal = 0;
    // The account whose record the detail controls hold, read whole by LoadAccount (or new and
    // empty after an add); empty after a load that could not read the store. Only this
    // account's fields are ever saved.
    QString FLoadedAccount;
    bool FNotify = true; // the stored "notify" value, read at start-up
    bool FSigningIn = false; // a sign-in waits for the browser

    // Whatever the checking code keeps between calls; it defines both types.
    struct TCheckState;
    struct TCheckStateDeleter {
        void operator()(TCheckState* state) const;
    };
    std::unique_ptr<TCheckState, TCheckStateDeleter> FCheckState;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateDesign();
    void CreateTrayMenu();
    void ConnectEvents();
    void ConnectTrayMenu();

    std::unique_ptr<QStyle> passwordStyle_;
    // The list's highlight changed since the last mouse press, so the click that ends it has
    // been handled already.
    bool selectionChangedSincePress_ = false;
};

} // namespace app
