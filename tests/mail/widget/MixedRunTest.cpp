// Check-all runs over Hotmail accounts on the stand-in service and accounts on a real Dovecot.
#include "app/CheckState.h"
#include "platform/desktop/Application.h"
#include "tests/check/widget/CheckFixture.h"
#include "tests/support/Dovecot.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/ScriptServer.h"
#include "tests/support/TinyProxy.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

using testing_support::CheckFixture;
using testing_support::Dovecot;

namespace {

class MixedRun : public CheckFixture {
protected:
    static void SetUpTestSuite()
    {
        dovecot = std::make_unique<Dovecot>();
        dovecot->AddUser("anna@example.org", "anna-secret", 3, 2);
        dovecot->AddUser("ben", "ben-secret", 0, 1);
    }
    static void TearDownTestSuite() { dovecot.reset(); }

    static std::string Imaps() { return "imaps://127.0.0.1:" + std::to_string(dovecot->imapsPort()); }
    static std::string Imap() { return "imap://localhost:" + std::to_string(dovecot->imapPort()); }
    static std::string Pop3() { return "POP3://127.0.0.1:" + std::to_string(dovecot->pop3Port()); }
    static std::string Pop3s() { return "pop3s://localhost:" + std::to_string(dovecot->pop3sPort()) + "/"; }

    QString Status() { return form->StatusBar->SimpleText(); }

    static std::unique_ptr<Dovecot> dovecot;
};

std::unique_ptr<Dovecot> MixedRun::dovecot;

TEST_F(MixedRun, HotmailImapAndPop3CountsAddUp)
{
    StartService({ "--account", "hot:pw:4" });
    StoreAccount("A hotmail", "hot", "pw");
    StoreAccount("B imaps", "anna@example.org", "anna-secret", Imaps());
    StoreAccount("C pop3", "anna@example.org", "anna-secret", Pop3());
    StoreAccount("D imap", "ben", "ben-secret", Imap());
    auto& f = Open();
    f.btnCheckAll->click();

    EXPECT_TRUE(ErrorTexts().empty()) << (ErrorTexts().empty() ? "" : ErrorTexts()[0]);
    EXPECT_EQ(Status(), "12 total number of new message(s), all accounts");
    EXPECT_EQ(f.trayIcon->Hint(), Status());
    EXPECT_EQ(Stored("A hotmail").Status, "4");
    EXPECT_EQ(Stored("B imaps").Status, "3");
    EXPECT_EQ(Stored("C pop3").Status, "5");
    EXPECT_EQ(Stored("D imap").Status, "0");
    EXPECT_NE(Stored("B imaps").LastChecked, "N/A");
    EXPECT_NE(Stored("C pop3").LastChecked, "N/A");
    // The host text is kept as typed.
    EXPECT_EQ(Stored("C pop3").Host, Pop3());
    EXPECT_EQ(f.edUserName->text(), "hot");
}

TEST_F(MixedRun, WrongPasswordIsSavedAsLoginFailedAndTheRunGoesOn)
{
    StoreAccount("A", "anna@example.org", "not-her-password", Pop3s());
    StoreAccount("B", "anna@example.org", "anna-secret", Imaps());
    auto& f = Open();
    f.btnCheckAll->click();
    EXPECT_TRUE(ErrorTexts().empty());
    EXPECT_EQ(Stored("A").Status, "Login failed");
    EXPECT_NE(Stored("A").LastChecked, "N/A");
    EXPECT_EQ(Stored("B").Status, "3");
    EXPECT_EQ(Status(), "3 total number of new message(s), all accounts");
}

TEST_F(MixedRun, EachAccountIsCheckedOnItsOwn)
{
    const QLocale locale;
    QLocale::setDefault(QLocale::c());
    const std::uint16_t closed = testing_support::FreeLoopbackPort();
    StoreAccount("A closed", "anna@example.org", "anna-secret", "imaps://127.0.0.1:" + std::to_string(closed));
    StoreAccount("B imaps", "anna@example.org", "anna-secret", Imaps());
    StoreAccount("C wrong", "anna@example.org", "not-her-password", Pop3s());
    StoreAccount("D pop3", "ben", "ben-secret", Pop3());
    auto& f = Open();
    QDateTime now(QDate(2026, 12, 10), QTime(14, 5, 9));
    app::CheckState(f).clock = [&now] { return now; };

    f.timerTimer(f.timer);
    EXPECT_TRUE(ErrorTexts().empty()) << (ErrorTexts().empty() ? "" : ErrorTexts()[0]);
    EXPECT_EQ(Stored("A closed").Status, "Connection Failed");
    EXPECT_EQ(Stored("B imaps").Status, "3");
    EXPECT_EQ(Stored("C wrong").Status, "Login failed");
    EXPECT_EQ(Stored("D pop3").Status, "1");
    for (const char* name : { "A closed", "B imaps", "C wrong", "D pop3" })
        EXPECT_EQ(Stored(name).LastChecked, "10 Dec 2026 || 14:05:09") << name;
    EXPECT_EQ(Status(), "4 total number of new message(s), all accounts");
    EXPECT_EQ(f.FLastTotal, 4);
    // The current account is shown again with its own result.
    EXPECT_EQ(f.lblStatus->text(), Stored("A closed").Status.value_or("").c_str());

    // The timer's next run comes and ends as well: nothing waits for a click.
    now = now.addSecs(60);
    f.timerTimer(f.timer);
    EXPECT_TRUE(ErrorTexts().empty());
    EXPECT_EQ(Stored("A closed").LastChecked, "10 Dec 2026 || 14:06:09");
    EXPECT_EQ(Stored("D pop3").LastChecked, "10 Dec 2026 || 14:06:09");
    EXPECT_EQ(Status(), "4 total number of new message(s), all accounts");
    QLocale::setDefault(locale);
}

TEST_F(MixedRun, UnreadableAddressIsThatAccountsResult)
{
    StoreAccount("A", "anna@example.org", "anna-secret", "imaps://127.0.0.1:99999");
    StoreAccount("B", "anna@example.org", "anna-secret", Imaps());
    auto& f = Open();
    f.btnCheckAll->click();
    EXPECT_TRUE(ErrorTexts().empty());
    EXPECT_EQ(Stored("A").Status, "Bad mail server address: imaps://127.0.0.1:99999");
    EXPECT_NE(Stored("A").LastChecked, "N/A");
    EXPECT_EQ(Stored("B").Status, "3");
    EXPECT_EQ(f.FLastTotal, 3);
}

TEST_F(MixedRun, MissingMailboxIsThatAccountsResultWithTheServersText)
{
    StoreAccount("A", "anna@example.org", "anna-secret", Imaps() + "/Nowhere");
    StoreAccount("B", "ben", "ben-secret", Imap());
    auto& f = Open();
    f.btnCheckAll->click();
    EXPECT_TRUE(ErrorTexts().empty());
    const std::string status = Stored("A").Status.value_or("");
    EXPECT_EQ(status.rfind("Mailbox not available: ", 0), 0U) << status;
    EXPECT_EQ(Stored("B").Status, "0");
    EXPECT_EQ(Status(), "No messages!");
}

TEST_F(MixedRun, QuittingBetweenTwoAccountsReportsNothing)
{
    ProvidePictures();
    testing_support::ScriptServer second;
    StoreAccount("A", "anna@example.org", "anna-secret", Imaps());
    StoreAccount("B", "second-user", "pw", "imaps://127.0.0.1:" + std::to_string(second.port()));
    auto& f = Open();
    f.FLastTotal = 1;
    const QImage before = TrayImage();
    // The run loads B's fields just before B's request: the user quits right then.
    QObject::connect(f.edUserName, &QLineEdit::textChanged, [&](const QString& text) {
        if (text == "second-user")
            f.btnExit->click();
    });
    f.btnCheckAll->click();
    EXPECT_TRUE(platform::Application::instance().Terminated());
    EXPECT_EQ(second.ConnectionCount(), 0U);
    EXPECT_TRUE(notifier->notices.empty());
    EXPECT_EQ(TrayImage(), before);
    EXPECT_EQ(f.FLastTotal, 1);
    EXPECT_NE(Status(), "3 total number of new message(s), all accounts");
    EXPECT_TRUE(ErrorTexts().empty());
    form.reset();
    EXPECT_EQ(Stored("A").Status, "3");
    EXPECT_EQ(Stored("B").Status, "N/A");
}

TEST_F(MixedRun, ThroughTheProxysTunnelAndDirectWithAnEmptyProxyHost)
{
    testing_support::TinyProxy proxy({ dovecot->imapsPort() });
    StoreAccount("A", "anna@example.org", "anna-secret", Imaps());
    auto& f = Open();
    f.cbProxy->setChecked(true);
    f.edProxyHost->setText("127.0.0.1");
    f.edProxyPort->setText(QString::number(proxy.port()));
    f.btnCheckAll->click();
    EXPECT_TRUE(ErrorTexts().empty()) << (ErrorTexts().empty() ? "" : ErrorTexts()[0]);
    EXPECT_EQ(Stored("A").Status, "3");
    EXPECT_NE(proxy.log().find("CONNECT"), std::string::npos) << proxy.log();

    f.edProxyHost->setText("");
    f.edProxyPort->setText("8080");
    f.btnCheckAll->click();
    EXPECT_TRUE(ErrorTexts().empty());
    EXPECT_EQ(Status(), "3 total number of new message(s), all accounts");
}

TEST_F(MixedRun, QuittingWhileAMailServerStallsEndsTheRunAtOnce)
{
    using S = testing_support::ScriptServer;
    S server;
    server.AddConnection({ S::Send("* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n"), S::Stall() });
    StoreAccount("A", "anna@example.org", "anna-secret", "imap://127.0.0.1:" + std::to_string(server.port()));
    StoreAccount("B", "anna@example.org", "anna-secret", Imaps());
    auto& f = Open();
    QElapsedTimer clock;
    After(300, [&] {
        clock.start();
        f.btnExit->click();
    });
    f.btnCheckAll->click();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(platform::Application::instance().Terminated());
    EXPECT_TRUE(ErrorTexts().empty());
    form.reset();
    EXPECT_EQ(Stored("A").Status, "N/A");
    EXPECT_EQ(Stored("B").Status, "N/A");
}

TEST_F(MixedRun, HostFieldHintNamesTheMailServerForm)
{
    auto& f = Open();
    EXPECT_EQ(platform::Application::WidgetHint(f.cbHost->lineEdit()),
        "Gmail, Outlook.com, Yahoo, iCloud, Fastmail, GMX, Zoho, or a mail server as imaps://imap.example.org");
}

} // namespace
