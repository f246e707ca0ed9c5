// TfrmQuorvel: building the window, wiring its events, the account list and the form's life cycle.
#include "app/frmMain.h"

#include "app/AccountMarks.h"
#include "app/DateTimeText.h"
#include "app/Endpoints.h"
#include "app/Guard.h"
#include "app/Pictures.h"
#include "app/ProviderHosts.h"
#include "app/PushAccounts.h"
#include "app/frmAbout.h"
#include "platform/desktop/Application.h"
#include "platform/desktop/NotifyIcon.h"
#include "settings/AccountNames.h"
#include "settings/NotifySetting.h"
#include "settings/PushSetting.h"
#include "settings/StoreCheck.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QPushButton>
#include <QSplitter>
#include <QTime>
#include <QVBoxLayout>

namespace app {

using platform::Application;

const char* const kVersion = "0.2.4";

namespace {

// Shows every character of the password field as "*", whatever the desktop's style prefers.
class StarPasswordStyle : public QProxyStyle {
public:
    int styleHint(
        StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QFrame* panel(QWidget* parent)
{
    auto* frame = new QFrame(parent);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    return frame;
}

QString NameProblemText(settings::TNameProblem problem, const QString& name)
{
    switch (problem) {
    case settings::TNameProblem::Exists:
        return "An account named '" + name + "' exists already.";
    case settings::TNameProblem::Backslash:
        return "An account name cannot contain a backslash (\\).";
    case settings::TNameProblem::ControlCharacter:
        return "An account name cannot contain control characters.";
    case settings::TNameProblem::TooLong:
        return QString("An account name can have at most %1 characters.").arg(settings::MaxAccountNameChars());
    default:
        return QString();
    }
}

QLabel* label(const QString& text, QWidget* parent, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto* l = new QLabel(text, parent);
    l->setAlignment(alignment);
    return l;
}

} // namespace

TfrmQuorvel::TfrmQuorvel(QWidget* parent)
    : QMainWindow(parent)
{
    CreateDesign();
    ConnectEvents();
    Application::instance().SetMainForm(this);
    Guard([this] { FormCreate(this); });
}

TfrmQuorvel::~TfrmQuorvel()
{
    Guard([this] { FormDestroy(this); });
    auto& application = Application::instance();
    application.OnHint = nullptr;
    trayIcon->SetOnMinimize(nullptr);
    trayIcon->SetOnRestore(nullptr);
    application.SetMainForm(nullptr);
    // The components go with the window; the tray icon leaves the notification area then.
}

void TfrmQuorvel::CreateDesign()
{
    setObjectName("frmQuorvel");
    setWindowTitle("Quorvel");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(ProgramIcon());
    QFont font("MS Sans Serif");
    font.setPixelSize(11);
    setFont(font);

    MainMenu1 = menuBar();
    File2 = MainMenu1->addMenu("&File");
    mnuRegistrySave = File2->addAction("&Export config to file");
    mnuRegistrySave->setEnabled(false);
    Importconfigfromfile1 = File2->addAction("&Import config from file");
    Importconfigfromfile1->setEnabled(false);
    mnuRegistryDelete = File2->addAction("&Delete config at computer");
    N1 = File2->addSeparator();
    mnuExit = File2->addAction("&Exit");
    Help1 = MainMenu1->addMenu("&Help");
    mnuAbout = Help1->addAction("&About");

    CreateTrayMenu();

    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(4, 2, 4, 2);
    column->setSpacing(3);

    // The heading.
    auto* heading = new QHBoxLayout;
    lblProgram = new QLabel("Quorvel x.x.x", central);
    QFont headingFont("Times New Roman");
    headingFont.setPixelSize(32);
    lblProgram->setFont(headingFont);
    Label6 = new QLabel("a free checker of web-mail accounts", central);
    QFont noticeFont("Times New Roman");
    noticeFont.setPixelSize(16);
    noticeFont.setItalic(true);
    Label6->setFont(noticeFont);
    heading->addWidget(lblProgram, 0, Qt::AlignBottom);
    heading->addSpacing(8);
    heading->addWidget(Label6, 0, Qt::AlignBottom);
    heading->addStretch();
    column->addLayout(heading);

    // The accounts: the list left of the splitter, the details right of it.
    gbAccounts = new QGroupBox(" Accounts ", central);
    auto* accountsLayout = new QVBoxLayout(gbAccounts);
    accountsLayout->setContentsMargins(4, 2, 4, 4);
    splitAccount = new QSplitter(Qt::Horizontal, gbAccounts);
    splitAccount->setHandleWidth(3);
    splitAccount->setChildrenCollapsible(false);
    clbItems = new QListWidget(splitAccount);
    clbItems->setSortingEnabled(false);
    clbItems->setSelectionMode(QAbstractItemView::SingleSelection);
    clbItems->setMinimumWidth(60);
    clbItems->setItemDelegate(new TAccountMarks(clbItems));

    pnlAccount = new QWidget(splitAccount);
    auto* accountColumn = new QVBoxLayout(pnlAccount);
    accountColumn->setContentsMargins(4, 0, 0, 0);
    accountColumn->setSpacing(2);
    auto* details = new QGridLayout;
    details->setHorizontalSpacing(6);
    details->setVerticalSpacing(3);
    lblTag = label("Comment:", pnlAccount);
    edInfo = new QLineEdit("<YOUR INFO>", pnlAccount);
    lblHost = label("Host:", pnlAccount);
    cbHost = new QComboBox(pnlAccount);
    cbHost->setEditable(true);
    cbHost->setInsertPolicy(QComboBox::NoInsert);
    QStringList hostTypes { "Hotmail" };
    for (const Provider& provider : Providers())
        hostTypes << provider.name;
    hostTypes.sort(Qt::CaseInsensitive);
    cbHost->addItems(hostTypes);
    cbHost->setEditText("Hotmail");
    Application::SetWidgetHint(cbHost, HostHint(cbHost->currentText()));
    lblUsername = label("Username:", pnlAccount);
    edUserName = new QLineEdit("<USERNAME>", pnlAccount);
    lblPassword = label("Password:", pnlAccount);
    mePassword = new QLineEdit("..........", pnlAccount);
    mePassword->setEchoMode(QLineEdit::Password);
    passwordStyle_ = std::make_unique<StarPasswordStyle>();
    mePassword->setStyle(passwordStyle_.get());
    btnSignIn = new QPushButton("Sign in...", pnlAccount);
    btnSignIn->setEnabled(false);
    Application::SetWidgetHint(btnSignIn, "Sign in with the mailbox's provider in the browser, without a password");
    auto* passwordRow = new QHBoxLayout;
    passwordRow->setSpacing(3);
    passwordRow->addWidget(mePassword, 1);
    passwordRow->addWidget(btnSignIn);
    lblLastCheckedLeft = label("Last checked:", pnlAccount, Qt::AlignRight | Qt::AlignVCenter);
    lblLastChecked = label("N/A", pnlAccount);
    lblStatusLeft = label("Status:", pnlAccount, Qt::AlignRight | Qt::AlignVCenter);
    lblStatus = label("N/A", pnlAccount);
    const std::pair<QWidget*, QWidget*> rows[] = { { lblTag, edInfo }, { lblHost, cbHost }, { lblUsername, edUserName },
        { lblPassword, mePassword }, { lblLastCheckedLeft, lblLastChecked }, { lblStatusLeft, lblStatus } };
    int row = 0;
    for (const auto& [caption, control] : rows) {
        details->addWidget(caption, row, 0);
        if (control == mePassword)
            details->addLayout(passwordRow, row, 1);
        else
            details->addWidget(control, row, 1);
        ++row;
    }
    details->setColumnStretch(1, 1);
    accountColumn->addLayout(details);
    accountColumn->addStretch();
    Panel1 = new QWidget(pnlAccount);
    Panel1->setFixedHeight(14);
    lblHomePage = new QLabel(QString::fromStdString(HomePage()), Panel1);
    lblHomePage->setAlignment(Qt::AlignCenter);
    QFont linkFont = lblHomePage->font();
    linkFont.setUnderline(true);
    lblHomePage->setFont(linkFont);
    QPalette linkPalette = lblHomePage->palette();
    linkPalette.setColor(QPalette::WindowText, Qt::blue);
    lblHomePage->setPalette(linkPalette);
    lblHomePage->setCursor(Qt::PointingHandCursor);
    Application::SetWidgetHint(lblHomePage, "Check if a new version exists.");
    accountColumn->addWidget(Panel1);

    splitAccount->addWidget(clbItems);
    splitAccount->addWidget(pnlAccount);
    splitAccount->setStretchFactor(0, 1);
    splitAccount->setStretchFactor(1, 0);
    splitAccount->setSizes({ 150, 247 });
    accountsLayout->addWidget(splitAccount);
    column->addWidget(gbAccounts, 1);

    // The buttons and the check controls, with the proxy settings right of them.
    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(3);
    auto* buttonColumn = new QVBoxLayout;
    buttonColumn->setSpacing(3);
    pnlButtons = panel(central);
    auto* buttonRow = new QHBoxLayout(pnlButtons);
    buttonRow->setContentsMargins(4, 4, 4, 4);
    btnAdd = new QPushButton("A&dd", pnlButtons);
    Application::SetWidgetHint(btnAdd, "Add new account");
    btnRemove = new QPushButton("Re&move", pnlButtons);
    btnRemove->setEnabled(false);
    btnExit = new QPushButton("&Exit", pnlButtons);
    btnRename = new QPushButton("&Rename", pnlButtons);
    btnDuplicate = new QPushButton("D&uplicate", pnlButtons);
    btnCheckIt = new QPushButton("&CheckIt", pnlButtons);
    for (QPushButton* never : { btnRename, btnDuplicate, btnCheckIt }) {
        never->setVisible(false);
        never->setEnabled(false);
    }
    for (QPushButton* b : { btnAdd, btnRemove, btnExit, btnRename, btnDuplicate, btnCheckIt }) {
        b->setAutoDefault(false);
        buttonRow->addWidget(b);
    }
    buttonRow->addStretch();
    buttonColumn->addWidget(pnlButtons);

    pnlActionButtons = panel(central);
    auto* actionRow = new QHBoxLayout(pnlActionButtons);
    actionRow->setContentsMargins(4, 4, 4, 4);
    btnCheckAll = new QPushButton("Check &All", pnlActionButtons);
    btnCheckAll->setEnabled(false);
    btnCheckAll->setAutoDefault(false);
    Application::SetWidgetHint(btnCheckAll, "Check all accounts for mail!");
    Label9 = new QLabel("Check every x minutes:", pnlActionButtons);
    edTimer = new QLineEdit("9", pnlActionButtons);
    edTimer->setFixedWidth(36);
    Application::SetWidgetHint(edTimer, "How often check for new mail (time-delay)");
    actionRow->addWidget(btnCheckAll);
    actionRow->addSpacing(6);
    actionRow->addWidget(Label9);
    actionRow->addWidget(edTimer);
    actionRow->addStretch();
    buttonColumn->addWidget(pnlActionButtons);
    bottom->addLayout(buttonColumn, 1);

    pnlProxy = panel(central);
    auto* proxyGrid = new QGridLayout(pnlProxy);
    proxyGrid->setContentsMargins(4, 4, 4, 4);
    proxyGrid->setVerticalSpacing(3);
    cbProxy = new QCheckBox("Proxy", pnlProxy);
    lblProxyHost = label("Host:", pnlProxy);
    edProxyHost = new QLineEdit(pnlProxy);
    lblProxyPort = label("Port:", pnlProxy);
    edProxyPort = new QLineEdit(pnlProxy);
    edProxyHost->setMinimumWidth(90);
    edProxyPort->setMaximumWidth(50);
    proxyGrid->addWidget(cbProxy, 0, 0, 1, 2);
    proxyGrid->addWidget(lblProxyHost, 1, 0);
    proxyGrid->addWidget(edProxyHost, 1, 1);
    proxyGrid->addWidget(lblProxyPort, 2, 0);
    proxyGrid->addWidget(edProxyPort, 2, 1, Qt::AlignLeft);
    bottom->addWidget(pnlProxy);
    column->addLayout(bottom);

    StatusBar = new TStatusBar(this);
    setStatusBar(StatusBar);

    trayIcon = new tray::TTrayIcon(this);
    trayIcon->SetIcon(tray::TIcon(ProgramIcon()));
    trayIcon->SetHint("Click here for checking mail.");
    trayIcon->SetPopupMenu(pumTrayIcon);

    timer = new TTimer(this);

    move(223, 100);
    resize(428, 429);
}

void TfrmQuorvel::ConnectEvents()
{
    connect(btnExit, &QPushButton::clicked, this, Guarded([this] { btnExitClick(btnExit); }));
    connect(mnuExit, &QAction::triggered, this, Guarded([this] { mnuExitClick(mnuExit); }));
    ConnectTrayMenu();
    connect(mnuAbout, &QAction::triggered, this, Guarded([this] { mnuAboutClick(mnuAbout); }));
    connect(
        mnuRegistryDelete, &QAction::triggered, this, Guarded([this] { mnuRegistryDeleteClick(mnuRegistryDelete); }));
    connect(mnuRegistrySave, &QAction::triggered, this, Guarded([this] { mnuRegistrySaveClick(mnuRegistrySave); }));
    connect(splitAccount, &QSplitter::splitterMoved, this, Guarded([this] { splitAccountMoved(splitAccount); }));

    connect(btnAdd, &QPushButton::clicked, this, Guarded([this] { btnAddClick(btnAdd); }));
    connect(btnRemove, &QPushButton::clicked, this, Guarded([this] { btnRemoveClick(btnRemove); }));
    connect(btnCheckAll, &QPushButton::clicked, this, Guarded([this] { btnCheckAllClick(btnCheckAll); }));
    connect(btnSignIn, &QPushButton::clicked, this, Guarded([this] { btnSignInClick(btnSignIn); }));
    // Only the user's changes of the host text count, as typed or picked from the list.
    connect(cbHost->lineEdit(), &QLineEdit::textEdited, this, Guarded([this] { cbHostChange(cbHost); }));
    connect(cbHost, &QComboBox::activated, this, Guarded([this] { cbHostChange(cbHost); }));
    // The hint says what the host type in the field means, however it got there.
    connect(cbHost, &QComboBox::currentTextChanged, this,
        [this](const QString& text) { Application::SetWidgetHint(cbHost, HostHint(text)); });
    connect(cbProxy, &QCheckBox::toggled, this, Guarded([this] { cbProxyClick(cbProxy); }));
    connect(edTimer, &QLineEdit::textChanged, this, Guarded([this] { edTimerChange(edTimer); }));
    // Every change of the highlight by the user makes that account current, however it came
    // (a click, a drag onto another row, the keyboard); the list is filled and emptied with its
    // signals blocked. A click on the highlighted item itself changes nothing but still counts.
    connect(clbItems, &QListWidget::itemSelectionChanged, this, Guarded([this] {
        selectionChangedSincePress_ = true;
        clbItemsClick(clbItems);
    }));
    connect(clbItems, &QListWidget::itemClicked, this, Guarded([this] {
        if (!selectionChangedSincePress_)
            clbItemsClick(clbItems);
    }));

    clbItems->installEventFilter(this);
    clbItems->viewport()->installEventFilter(this);
    edUserName->installEventFilter(this);
    lblHomePage->installEventFilter(this);
    pnlAccount->installEventFilter(this);

    trayIcon->OnClick = [this](QObject* sender) { trayIconClick(sender); };
    trayIcon->OnDlbClick = [this](QObject* sender) { trayIconDlbClick(sender); };
    trayIcon->SetOnMinimize([this](QObject* sender) { trayIconMinimize(sender); });
    trayIcon->SetOnRestore([this](QObject* sender) { trayIconRestore(sender); });
    timer->OnTimer = [this](QObject* sender) { timerTimer(sender); };
}

bool TfrmQuorvel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == clbItems) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Delete) {
                std::uint16_t code = VK_DELETE;
                Guard([&] { clbItemsKeyDown(clbItems, code, key->modifiers()); });
            }
        }
    } else if (watched == clbItems->viewport()) {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
            selectionChangedSincePress_ = false;
    } else if (watched == edUserName) {
        if (event->type() == QEvent::FocusIn) {
            // Coming back from another window or a menu does not enter the field anew.
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                Guard([this] { edUserNameEnter(edUserName); });
        }
    } else if (watched == lblHomePage) {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && lblHomePage->rect().contains(mouse->position().toPoint()))
                Guard([this] { lblHomePageClick(lblHomePage); });
        }
    } else if (watched == pnlAccount) {
        if (event->type() == QEvent::Resize)
            FitHomePageLabel();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmQuorvel::closeEvent(QCloseEvent* event)
{
    event->accept();
    Application::instance().Terminate();
}

void TfrmQuorvel::FormCreate(QObject*)
{
    auto& application = Application::instance();
    application.OnHint = [this] { Guard([this] { ShowHint(this); }); };
    application.TrackHints();
    StatusBar->SetSimpleText(application.Hint());
    trayIcon->SetEnabled(true);
    FLastTotal = 0;
    lblProgram->setText(QString("Quorvel ") + kVersion);
    ReportUnusableStore();
    LoadSettings();
    FNotify = settings::LoadNotify();
    UpdateTrayMenu();
    Push(*this).Enabled = settings::LoadPush();
    if (Push(*this).Enabled)
        Push(*this).WatchSystem();
    edTimerChange(edTimer);
    RefreshAccounts();
    LoadScreen();
    FitHomePageLabel();
    UpdateControls();
}

void TfrmQuorvel::FormDestroy(QObject*)
{
    SaveAccount(FCurrentAccount);
    SaveSettings();
    SaveScreen();
}

void TfrmQuorvel::ShowHint(QObject*)
{
    StatusBar->SetSimpleText(Application::instance().Hint());
}

void TfrmQuorvel::btnExitClick(QObject*)
{
    Application::instance().Terminate();
}

void TfrmQuorvel::mnuExitClick(QObject*)
{
    btnExit->click();
}

void TfrmQuorvel::pmnuCloseClick(QObject*)
{
    btnExit->click();
}

void TfrmQuorvel::pmnuCheckAllClick(QObject*)
{
    // A click performed in code reaches the handler even while the button is disabled.
    btnCheckAllClick(btnCheckAll);
}

void TfrmQuorvel::mnuAboutClick(QObject*)
{
    TAboutBox box(this);
    box.exec();
}

void TfrmQuorvel::splitAccountMoved(QObject*)
{
    FitHomePageLabel();
}

void TfrmQuorvel::FitHomePageLabel()
{
    lblHomePage->setGeometry(0, 0, pnlAccount->width(), Panel1->height());
}

void TfrmQuorvel::trayIconMinimize(QObject*)
{
    // Without an icon in the notification area the task bar is the only way back.
    if (trayIcon->Enabled() && platform::NotifyAreaAvailable())
        Application::instance().HideTaskBarEntry();
}

void TfrmQuorvel::trayIconRestore(QObject*)
{
    if (trayIcon->Enabled() && platform::NotifyAreaAvailable())
        Application::instance().HideTaskBarEntry();
}

void TfrmQuorvel::trayIconDlbClick(QObject*)
{
    auto& application = Application::instance();
    if (application.Minimized())
        application.Restore();
    application.BringToFront();
}

void TfrmQuorvel::trayIconClick(QObject*) { }

void TfrmQuorvel::ResetAccountFields(bool Clear, bool Enable)
{
    if (Clear) {
        edInfo->clear();
        edUserName->clear();
        mePassword->clear();
        cbHost->setEditText(QString());
        lblLastChecked->setText("N/A");
        lblStatus->setText("N/A");
    }
    for (QWidget* w : std::initializer_list<QWidget*> { edInfo, cbHost, edUserName, mePassword, lblLastChecked,
             lblStatus, lblTag, lblHost, lblUsername, lblPassword, lblLastCheckedLeft, lblStatusLeft })
        w->setEnabled(Enable);
    UpdateSignIn();
}

void TfrmQuorvel::UpdateControls()
{
    if (edInfo->isEnabled()) {
        const bool userName = cbHost->currentText() != QLatin1String("Hotbot");
        edUserName->setEnabled(userName);
        lblUsername->setEnabled(userName);
    }
    const bool proxy = cbProxy->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*> { edProxyHost, edProxyPort, lblProxyHost, lblProxyPort })
        w->setEnabled(proxy);
    UpdateSignIn();
}

void TfrmQuorvel::clbItemsClick(QObject*)
{
    if (clbItems->count() > 0)
        SaveAccount(FCurrentAccount);
    const QList<QListWidgetItem*> selected = clbItems->selectedItems();
    if (!selected.isEmpty())
        FCurrentAccount = selected.first()->text();
    LoadAccount(FCurrentAccount);
}

void TfrmQuorvel::clbItemsKeyDown(QObject*, std::uint16_t& Key, Qt::KeyboardModifiers)
{
    if (Key == VK_DELETE)
        btnRemoveClick(clbItems);
}

void TfrmQuorvel::btnAddClick(QObject*)
{
    SaveAccount(FCurrentAccount);
    QString name = "[Account Name:" + LongTimeText(QTime::currentTime()) + "]";
    auto& application = Application::instance();
    if (!application.dialogs().InputQuery("New account", "Name:", name, 255))
        return;
    name = name.trimmed();
    std::vector<std::string> listed;
    listed.reserve(static_cast<std::size_t>(clbItems->count()));
    for (int i = 0; i < clbItems->count(); ++i)
        listed.push_back(clbItems->item(i)->text().toStdString());
    const settings::TNameProblem problem = settings::CheckNewAccountName(name.toStdString(), listed);
    if (problem == settings::TNameProblem::Empty)
        return;
    if (problem != settings::TNameProblem::None) {
        // Two list items sharing one record, or a name the store would split or cut, would let
        // one account's fields overwrite another's.
        application.dialogs().MessageBox(
            application.Title(), NameProblemText(problem, name), platform::Dialogs::Icon::Warning);
        return;
    }
    FCurrentAccount = name;
    FLoadedAccount = name;
    clbItems->addItem(name);
    btnCheckAll->setEnabled(true);
    btnRemove->setEnabled(true);
    ResetAccountFields(true, true);
}

void TfrmQuorvel::ReportUnusableStore()
{
    const settings::TStoreCheck check = settings::CheckStore();
    if (check.Usable)
        return;
    auto& application = Application::instance();
    application.dialogs().MessageBox(application.Title(),
        "Settings cannot be saved: " + QString::fromStdString(check.Path) + ": " + QString::fromStdString(check.Reason),
        platform::Dialogs::Icon::Warning);
}

void TfrmQuorvel::btnRemoveClick(QObject*)
{
    SaveAccount(FCurrentAccount);
    if (DeleteAccount(FCurrentAccount))
        RefreshAccounts();
    else
        StatusBar->SetSimpleText("Could'nt delete user");
}

void TfrmQuorvel::cbHostChange(QObject*)
{
    UpdateControls();
}

void TfrmQuorvel::cbProxyClick(QObject*)
{
    UpdateControls();
}

void TfrmQuorvel::edUserNameEnter(QObject*)
{
    if (!cbHost->currentText().isEmpty())
        return;
    cbHost->setEditText("Hotmail");
    auto& application = Application::instance();
    application.dialogs().MessageBox(application.Title(),
        "New version of this program will include\r\nother hosts than Hotmail!", platform::Dialogs::Icon::None);
}

} // namespace app
