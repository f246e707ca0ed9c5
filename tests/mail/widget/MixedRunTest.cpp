// Check-all runs over Hotmail accounts on the stand-in service and accounts on a real Dovecot.
#include "platform/Application.h"
#include "tests/check/widget/CheckFixture.h"
#include "tests/support/Dovecot.h"
#include "tests/support/ScriptServer.h"
#include "tests/support/TinyProxy.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
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
    ASSERT_TRUE(StartService({ "--account", "hot:pw:4" }));
    ASSERT_TRUE(StoreAccount("A hotmail", "hot", "pw"));
    ASSERT_TRUE(StoreAccount("B imaps", "anna@example.org", "anna-secret", Imaps()));
    ASSERT_TRUE(StoreAccount("C pop3", "anna@example.org", "anna-secret", Pop3()));
    ASSERT_TRUE(StoreAccount("D imap", "ben", "ben-secret", Imap()));
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
    ASSERT_TRUE(StoreAccount("A", "anna@example.org", "not-her-password", Pop3s()));
    ASSERT_TRUE(StoreAccount("B", "anna@example.org", "anna-secret", Imaps()));
    auto& f = Open();
    f.btnCheckAll->click();
    EXPECT_TRUE(ErrorTexts().empty());
    EXPECT_EQ(Stored("A").Status, "Login failed");
    EXPECT_NE(Stored("A").LastChecked, "N/A");
    EXPECT_EQ(Stored("B").Status, "3");
    EXPECT_EQ(Status(), "3 total number of new message(s), all accounts");
}

TEST_F(MixedRun, UnreadableAddressEndsTheRunThroughTheErrorReport)
{
    ASSERT_TRUE(StoreAccount("A", "anna@example.org", "anna-secret", "imaps://127.0.0.1:99999"));
    ASSERT_TRUE(StoreAccount("B", "anna@example.org", "anna-secret", Imaps()));
    auto& f = Open();
    f.btnCheckAll->click();
    ASSERT_EQ(ErrorTexts().size(), 1U);
    EXPECT_EQ(ErrorTexts()[0], "Bad mail server address: imaps://127.0.0.1:99999.");
    EXPECT_EQ(Stored("A").Status, "N/A");
    EXPECT_EQ(Stored("B").Status, "N/A");
    EXPECT_EQ(f.FLastTotal, 0);
}

TEST_F(MixedRun, MissingMailboxEndsTheRunWithTheServersText)
{
    ASSERT_TRUE(StoreAccount("A", "anna@example.org", "anna-secret", Imaps() + "/Nowhere"));
    auto& f = Open();
    f.btnCheckAll->click();
    ASSERT_EQ(ErrorTexts().size(), 1U);
    EXPECT_EQ(ErrorTexts()[0].rfind("Mailbox not available: ", 0), 0U) << ErrorTexts()[0];
    EXPECT_EQ(Stored("A").Status, "N/A");
}

TEST_F(MixedRun, ThroughTheProxysTunnelAndDirectWithAnEmptyProxyHost)
{
    testing_support::TinyProxy proxy({ dovecot->imapsPort() });
    ASSERT_TRUE(StoreAccount("A", "anna@example.org", "anna-secret", Imaps()));
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
    ASSERT_TRUE(
        StoreAccount("A", "anna@example.org", "anna-secret", "imap://127.0.0.1:" + std::to_string(server.port())));
    ASSERT_TRUE(StoreAccount("B", "anna@example.org", "anna-secret", Imaps()));
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
        "Hotmail, or a mail server such as imaps://imap.example.org");
    EXPECT_EQ(f.cbHost->count(), 1);
}

} // namespace
