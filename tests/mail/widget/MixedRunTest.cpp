// Check-all runs over Hotmail accounts on the stand-in service and accounts on a real Dovecot.
#include "app/AccountMarks.h"
#include "app/CheckState.h"
#include "platform/desktop/Application.h"
#include "tests/check/widget/CheckFixture.h"
#include "tests/fixtures/Dovecot.h"
#include "tests/fixtures/LoopbackPorts.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/fixtures/TinyProxy.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

    // Each listed account's name and the mark beside it.
    std::string Marks()
    {
        const auto* marks = dynamic_cast<const app::TAccountMarks*>(form->clbItems->itemDelegate());
        std::string out;
        for (int i = 0; i < form->clbItems->count(); ++i) {
            const QString name = form->clbItems->item(i)->text();
            const app::AccountMark* mark = marks ? marks->Find(name) : nullptr;
            out += (i ? " " : "") + name.toStdString() + "=";
            if (!mark) {
                out += "none";
                continue;
            }
            switch (mark->kind) {
            case app::AccountMark::Kind::NewMail:
                out += "new " + std::to_string(mark->count);
                break;
            case app::AccountMark::Kind::NoMail:
                out += "no new mail";
                break;
            case app::AccountMark::Kind::LoginFailed:
                out += "login failed";
                break;
            case app::AccountMark::Kind::Failed:
                out += "failed";
                break;
            }
        }
        return out;
    }

    bool SecondAskedWhileFirstWaited(const std::string& secondUser);

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

TEST_F(MixedRun, EachAccountIsCheckedOnItsOwn)
{
    const QLocale locale;
    QLocale::setDefault(QLocale::c());
    const std::uint16_t closed = testing_support::FreeLoopbackPort();
    ASSERT_TRUE(
        StoreAccount("A closed", "anna@example.org", "anna-secret", "imaps://127.0.0.1:" + std::to_string(closed)));
    // Blanks typed around the user name are not sent, and stay in the record.
    ASSERT_TRUE(StoreAccount("B imaps", " anna@example.org\t", "anna-secret", Imaps()));
    ASSERT_TRUE(StoreAccount("C wrong", "anna@example.org", "not-her-password", Pop3s()));
    ASSERT_TRUE(StoreAccount("D pop3", "ben", "ben-secret", Pop3()));
    auto& f = Open();
    QDateTime now(QDate(2026, 12, 10), QTime(14, 5, 9));
    app::CheckState(f).clock = [&now] { return now; };

    f.timerTimer(f.timer);
    EXPECT_TRUE(ErrorTexts().empty()) << (ErrorTexts().empty() ? "" : ErrorTexts()[0]);
    EXPECT_EQ(Stored("A closed").Status, "127.0.0.1:" + std::to_string(closed) + " refused the connection");
    EXPECT_EQ(Stored("B imaps").Status, "3");
    EXPECT_EQ(Stored("B imaps").UserName, " anna@example.org\t");
    EXPECT_EQ(Stored("C wrong").Status, "Login failed");
    EXPECT_EQ(Stored("D pop3").Status, "1");
    for (const char* name : { "A closed", "B imaps", "C wrong", "D pop3" })
        EXPECT_EQ(Stored(name).LastChecked, "10 Dec 2026 || 14:05:09") << name;
    EXPECT_EQ(Status(), "4 total number of new message(s), all accounts");
    EXPECT_EQ(f.FLastTotal, 4);
    EXPECT_EQ(f.trayIcon->Hint(), Status() + "\nNot checked: A closed, C wrong");
    // The current account is shown again with its own result.
    EXPECT_EQ(f.lblStatus->text(), Stored("A closed").Status.value_or("").c_str());
    // The list keeps the names and marks each account with what its check found.
    EXPECT_EQ(Marks(), "A closed=failed B imaps=new 3 C wrong=login failed D pop3=new 1");
    // One notice of the new mail, one of the two accounts that started failing.
    ASSERT_EQ(notifier->notices.size(), 2U);
    EXPECT_EQ(notifier->notices[1].body,
        "A closed: 127.0.0.1:" + QString::number(closed) + " refused the connection\nC wrong: Login failed");
    if (const char* shot = std::getenv("QUORVEL_SCREENSHOT")) {
        f.show();
        QApplication::processEvents();
        f.grab().save(shot);
    }

    // The timer's next run comes and ends as well: nothing waits for a click.
    now = now.addSecs(60);
    f.timerTimer(f.timer);
    EXPECT_TRUE(ErrorTexts().empty());
    EXPECT_EQ(Stored("A closed").LastChecked, "10 Dec 2026 || 14:06:09");
    EXPECT_EQ(Stored("D pop3").LastChecked, "10 Dec 2026 || 14:06:09");
    EXPECT_EQ(Status(), "4 total number of new message(s), all accounts");
    // The same failures again: nothing new to say.
    EXPECT_EQ(notifier->notices.size(), 2U);
    QLocale::setDefault(locale);
}

TEST_F(MixedRun, AnAccountThatRecoversAndFailsAgainIsAnnouncedAgain)
{
    const std::string closed = "imaps://127.0.0.1:" + std::to_string(testing_support::FreeLoopbackPort());
    ASSERT_TRUE(StoreAccount("A", "ben", "ben-secret", closed));
    auto& f = Open();
    const auto run = [&](const std::string& host) {
        f.cbHost->setEditText(QString::fromStdString(host)); // saved under A when the run starts
        f.btnCheckAll->click();
        return notifier->notices.size();
    };
    EXPECT_EQ(run(closed), 1U);
    EXPECT_EQ(f.trayIcon->Hint(), "No messages!\nNot checked: A");
    EXPECT_EQ(run(closed), 1U);
    EXPECT_EQ(run(Imap()), 1U);
    EXPECT_EQ(f.trayIcon->Hint(), "No messages!");
    EXPECT_EQ(Marks(), "A=no new mail");
    EXPECT_EQ(run(closed), 2U);
    f.FNotify = false;
    EXPECT_EQ(run(Imap()), 2U);
    EXPECT_EQ(run(closed), 2U);
    EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(MixedRun, UnreadableAddressIsThatAccountsResult)
{
    ASSERT_TRUE(StoreAccount("A", "anna@example.org", "anna-secret", "imaps://127.0.0.1:99999"));
    ASSERT_TRUE(StoreAccount("B", "anna@example.org", "anna-secret", Imaps()));
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
    ASSERT_TRUE(StoreAccount("A", "anna@example.org", "anna-secret", Imaps() + "/Nowhere"));
    ASSERT_TRUE(StoreAccount("B", "ben", "ben-secret", Imap()));
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
    ASSERT_TRUE(ProvidePictures());
    testing_support::ScriptServer second;
    ASSERT_TRUE(StoreAccount("A", "anna@example.org", "anna-secret", Imaps()));
    ASSERT_TRUE(StoreAccount("B", "second-user", "pw", "imaps://127.0.0.1:" + std::to_string(second.port())));
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
    // B's check started beside A's; quitting closed it before the run returned.
    for (std::size_t i = 0; i < second.ConnectionCount(); ++i)
        EXPECT_TRUE(second.WaitForClosed(i));
    EXPECT_TRUE(notifier->notices.empty());
    EXPECT_EQ(TrayImage(), before);
    EXPECT_EQ(f.FLastTotal, 1);
    EXPECT_NE(Status(), "3 total number of new message(s), all accounts");
    EXPECT_TRUE(ErrorTexts().empty());
    form.reset();
    EXPECT_EQ(Stored("A").Status, "3");
    EXPECT_EQ(Stored("B").Status, "N/A");
}

// A check-all run over A, whose server takes the connection and answers nothing, B with
// `secondUser` at a server that closes the connection at once, and C at Dovecot: whether B's
// server was asked while A's connection was still open. A's connection is dropped once B's
// server has been asked, or else after a while; so A fails either way, without its time-out.
bool MixedRun::SecondAskedWhileFirstWaited(const std::string& secondUser)
{
    using S = testing_support::ScriptServer;
    std::uint16_t silentPort = 0;
    const int listener = testing_support::ListenOnLoopback(silentPort, 4);
    S second;
    second.AddConnection({ S::Close() });
    EXPECT_TRUE(
        StoreAccount("A", "anna@example.org", "anna-secret", "imaps://127.0.0.1:" + std::to_string(silentPort)));
    EXPECT_TRUE(StoreAccount("B", secondUser, "secret", "pop3s://127.0.0.1:" + std::to_string(second.port())));
    EXPECT_TRUE(StoreAccount("C", "anna@example.org", "anna-secret", Imaps()));
    auto& f = Open();
    int held = -1;
    int heldTicks = 0;
    QSocketNotifier incoming(listener, QSocketNotifier::Read);
    QObject::connect(
        &incoming, &QSocketNotifier::activated, [&] { held = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); });
    bool askedWhileAWaited = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (held < 0)
            return;
        // A's check is over once its client has closed the connection (it resets it).
        char bytes[4096];
        ssize_t got = 0;
        while ((got = ::recv(held, bytes, sizeof bytes, MSG_DONTWAIT)) > 0) { }
        if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            watch.stop();
            return;
        }
        askedWhileAWaited = second.ConnectionCount() > 0;
        if (askedWhileAWaited || ++heldTicks == 50) {
            ::close(held);
            held = -1;
            watch.stop();
        }
    });
    watch.start(10);
    f.btnCheckAll->click();
    EXPECT_TRUE(ErrorTexts().empty());
    // Each account still has its own result, and the total is C's.
    EXPECT_NE(Stored("A").Status, "N/A");
    EXPECT_NE(Stored("B").Status, "N/A");
    EXPECT_EQ(second.ConnectionCount(), 1);
    EXPECT_EQ(Stored("C").Status, "3");
    EXPECT_EQ(Status(), "3 total number of new message(s), all accounts");
    EXPECT_EQ(Marks(), "A=failed B=failed C=new 3");
    if (held >= 0)
        ::close(held);
    ::close(listener);
    return askedWhileAWaited;
}

// Checked one after the other, A would wait out its 10 s time-out before B's server is asked.
TEST_F(MixedRun, MailServersAreAskedSideBySide)
{
    EXPECT_TRUE(SecondAskedWhileFirstWaited("ben"));
}

// The same user at the same server by another protocol is one mailbox: a server may show a
// mailbox that another session is opening as empty, so it is asked once at a time.
TEST_F(MixedRun, OneMailboxIsNotAskedTwiceAtOnce)
{
    EXPECT_FALSE(SecondAskedWhileFirstWaited(" anna@example.org"));
}

TEST_F(MixedRun, AnErrorThatEndsTheRunClosesTheMailChecksUnderWay)
{
    using S = testing_support::ScriptServer;
    // A's page comes late, so that B's check is surely under way when A's error ends the run.
    ASSERT_TRUE(StartService({ "--account", "a:pw:page=messages, none here:delay=2000" }));
    S stalled;
    stalled.AddConnection({ S::Stall() });
    ASSERT_TRUE(StoreAccount("A", "a", "pw"));
    ASSERT_TRUE(StoreAccount("B", "ben", "ben-secret", "imaps://127.0.0.1:" + std::to_string(stalled.port())));
    Open();
    QElapsedTimer timer;
    timer.start();
    form->btnCheckAll->click();
    ASSERT_EQ(ErrorTexts().size(), 1u);
    EXPECT_EQ(ErrorTexts()[0], "'' is not a valid integer value.");
    // B's check was under way beside A's: it is closed, not waited out, and nothing of it is kept.
    ASSERT_EQ(stalled.ConnectionCount(), 1u);
    EXPECT_TRUE(stalled.WaitForClosed(0));
    EXPECT_LT(timer.elapsed(), 8000);
    EXPECT_EQ(Stored("B").Status, "N/A");
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
        "Gmail, Outlook.com, Yahoo, iCloud, Fastmail, GMX, Zoho, or a mail server as imaps://imap.example.org");
}

} // namespace
