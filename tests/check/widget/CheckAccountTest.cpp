#include "tests/check/widget/CheckFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using testing_support::CheckFixture;
using testing_support::WaitUntil;

class CheckAccount : public CheckFixture { };

TEST_F(CheckAccount, DirectLoginReadsTheCountAndSavesIt)
{
    ASSERT_TRUE(StartService({ "--account", "alice:pw:3" }));
    ASSERT_TRUE(StoreAccount("A", "alice", "pw"));
    auto& f = Open();
    EXPECT_EQ(f.CheckAccount(0), 3);
    EXPECT_EQ(f.lblStatus->text(), "3");
    EXPECT_TRUE(f.lblLastChecked->text().contains(" || ")) << f.lblLastChecked->text().toStdString();
    const auto stored = Stored("A");
    EXPECT_EQ(stored.Status, "3");
    EXPECT_EQ(stored.LastChecked, f.lblLastChecked->text().toStdString());
    ASSERT_EQ(service->Requests().size(), 1u);
    EXPECT_EQ(service->Requests()[0], "GET /cgi-bin/start?login=alice&passwd=pw&frames=no HTTP/1.0");
}

TEST_F(CheckAccount, ThroughTheProxyTheWholeAddressIsSent)
{
    ASSERT_TRUE(StartService({ "--account", "alice:pw:4" }));
    // The login server's name is never looked up: the proxy is asked for it.
    SetEnvironment("QUORVEL_LOGIN_HOST", "login.mail.example.com");
    ASSERT_TRUE(StoreAccount("A", "alice", "pw"));
    auto& f = Open();
    f.cbProxy->setChecked(true);
    f.edProxyHost->setText("127.0.0.1");
    f.edProxyPort->setText(QString::number(service->port()));
    EXPECT_EQ(f.CheckAccount(0), 4);
    ASSERT_EQ(service->Requests().size(), 1u);
    EXPECT_EQ(service->Requests()[0],
        "GET http://login.mail.example.com/cgi-bin/start?login=alice&passwd=pw&frames=no HTTP/1.0");
}

TEST_F(CheckAccount, ProxyPortThatIsNotANumberEndsTheCheckBeforeAnyRequest)
{
    ASSERT_TRUE(StartService({ "--account", "alice:pw:4" }));
    ASSERT_TRUE(StoreAccount("A", "alice", "pw"));
    auto& f = Open();
    f.StatusBar->SetSimpleText("before");
    f.cbProxy->setChecked(true);
    f.edProxyHost->setText("127.0.0.1");
    f.edProxyPort->setText("80x");
    f.btnCheckAll->click();
    ASSERT_EQ(ErrorTexts().size(), 1u);
    EXPECT_EQ(ErrorTexts()[0], "'80x' is not a valid integer value.");
    EXPECT_TRUE(service->Requests().empty());
    EXPECT_EQ(f.lblStatus->text(), "N/A");
}

TEST_F(CheckAccount, QueryCharactersGoUnchangedAndBlanksEncoded)
{
    ASSERT_TRUE(StartService({ "--account", "al&ice=1:p#w\\x20x=y:6" }));
    ASSERT_TRUE(StoreAccount("A", "al&ice=1", "p#w x=y"));
    auto& f = Open();
    EXPECT_EQ(f.CheckAccount(0), 6);
    ASSERT_EQ(service->Requests().size(), 1u);
    EXPECT_EQ(service->Requests()[0], "GET /cgi-bin/start?login=al&ice=1&passwd=p#w%20x=y&frames=no HTTP/1.0");
}

TEST_F(CheckAccount, LineBreakInThePasswordCannotInjectHeaderLines)
{
    ASSERT_TRUE(StartService({ "--account", "bob:a\\r\\nX-Evil\\x3A 1:2" }));
    ASSERT_TRUE(StoreAccount("B", "bob", "a\r\nX-Evil: 1"));
    auto& f = Open();
    EXPECT_EQ(f.CheckAccount(0), 2);
    ASSERT_EQ(service->Requests().size(), 1u);
    EXPECT_EQ(service->Requests()[0], "GET /cgi-bin/start?login=bob&passwd=a%0D%0AX-Evil:%201&frames=no HTTP/1.0");
}

TEST_F(CheckAccount, WrongPasswordIsALoginFailure)
{
    ASSERT_TRUE(StartService({ "--account", "alice:right:3" }));
    ASSERT_TRUE(StoreAccount("A", "alice", "wrong"));
    auto& f = Open();
    EXPECT_EQ(f.CheckAccount(0), -1);
    EXPECT_EQ(f.lblStatus->text(), "Login failed");
    EXPECT_EQ(Stored("A").Status, "Login failed");
}

TEST_F(CheckAccount, PageWithoutTheCountIsAnInterpretationError)
{
    ASSERT_TRUE(StartService({ "--account", "alice:pw:page=<html>Welcome</html>" }));
    ASSERT_TRUE(StoreAccount("A", "alice", "pw"));
    auto& f = Open();
    EXPECT_EQ(f.CheckAccount(0), -2);
    EXPECT_EQ(f.lblStatus->text(), "Interpretion error...");
}

TEST_F(CheckAccount, RedirectWithSessionCookieIsFollowed)
{
    ASSERT_TRUE(StartService({ "--account", "carol:pw:5:redirect" }));
    ASSERT_TRUE(StoreAccount("C", "carol", "pw"));
    auto& f = Open();
    EXPECT_EQ(f.CheckAccount(0), 5);
    const auto requests = service->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].rfind("GET /cgi-bin/inbox HTTP/1.0\tCookie: qsession=", 0), 0u) << requests[1];
}

TEST_F(CheckAccount, StatusLineNamesTheHostAndUserWhileWaiting)
{
    ASSERT_TRUE(StartService({ "--account", "alice:pw:3:delay=400" }));
    ASSERT_TRUE(StoreAccount("A", "alice", "pw"));
    auto& f = Open();
    QString during;
    After(150, [&] { during = f.StatusBar->SimpleText(); });
    EXPECT_EQ(f.CheckAccount(0), 3);
    EXPECT_EQ(during, "Checking host: Hotmail - name: alice");
}

TEST_F(CheckAccount, OtherHostTypesMakeNoRequestAndSayWhy)
{
    ASSERT_TRUE(StartService({ "--account", "alice:pw:3" }));
    ASSERT_TRUE(StoreAccount("A", "alice", "pw", "Hotbot"));
    ASSERT_TRUE(StoreAccount("B", "bob", "pw", "AOL"));
    auto& f = Open();
    EXPECT_EQ(f.CheckAccount(0), -999);
    EXPECT_EQ(f.CheckAccount(1), -999);
    EXPECT_TRUE(service->Requests().empty());
    EXPECT_EQ(Stored("A").Status, "Error with host-name");
    EXPECT_EQ(Stored("B").Status, "Error with host-name");
    EXPECT_TRUE(ErrorTexts().empty());
}
