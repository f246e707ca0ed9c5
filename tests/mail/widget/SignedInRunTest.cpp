// Check-all runs with signed-in accounts: a provider's mail host without a sign-in is not asked
// at all, a signed-in account is counted with its token, and a withdrawn sign-in shows.
#include "app/PushAccounts.h"
#include "settings/RegistryAccessor.h"
#include "signin/Providers.h"
#include "signin/SignIn.h"
#include "signin/TokenStore.h"
#include "tests/check/widget/CheckFixture.h"
#include "tests/fixtures/AuthServer.h"
#include "tests/fixtures/Dovecot.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <thread>

using testing_support::AuthServer;
using testing_support::CheckFixture;
using testing_support::Dovecot;

namespace {

class SignedInRun : public CheckFixture {
protected:
    void StartPeers()
    {
        auth = std::make_unique<AuthServer>();
        dovecot = std::make_unique<Dovecot>(Dovecot::Options { auth->introspectionUrl() });
        dovecot->AddUser("anna@example.org", "anna-secret", 3, 2);
        // The provider of the loopback mail server, as a user brings a registration of their own.
        settings::RegistryAccessor reg;
        ASSERT_TRUE(reg.OpenKey(std::string(signin::SignInKey) + "\\Local", true));
        reg.WriteString("client id", auth->options().clientId);
        reg.WriteString("authorize", auth->url("/authorize"));
        reg.WriteString("token", auth->url("/token"));
        reg.WriteString("scope", "mail offline_access");
        reg.WriteString("hosts", "127.0.0.1");
        reg.CommitKey();
    }

    signin::SignInResult SignIn(const std::string& account)
    {
        signin::SignInRequest request;
        request.account = account;
        request.address = "anna@example.org";
        request.provider = *signin::ProviderForHost("127.0.0.1");
        std::thread browser;
        request.openBrowser = [&](const std::string& address) {
            const std::string command = "'" + AuthServer::UserAgentScript() + "' '" + address + "'";
            browser = std::thread([command] { std::system(command.c_str()); });
            return true;
        };
        const signin::SignInResult result = signin::RunSignIn(nullptr, request);
        if (browser.joinable())
            browser.join();
        return result;
    }

    std::string Imaps() const { return "imaps://127.0.0.1:" + std::to_string(dovecot->imapsPort()); }

    std::unique_ptr<AuthServer> auth;
    std::unique_ptr<Dovecot> dovecot;
};

} // namespace

TEST_F(SignedInRun, SignInNeededIsNoFailureAndASignedInAccountCounts)
{
    StartPeers();
    ASSERT_TRUE(StoreAccount("A outlook", "someone@outlook.com", "a password", "imaps://outlook.office365.com"));
    ASSERT_TRUE(StoreAccount("B signed in", "anna@example.org", "", Imaps()));
    // Microsoft's host type stands for its server: a password there is never sent either.
    ASSERT_TRUE(StoreAccount("C outlook type", "someone@outlook.com", "a password", "Outlook.com"));
    // Neither signed in nor given a password: nothing to log in with, so nothing is tried.
    ASSERT_TRUE(StoreAccount("D neither", "anna@example.org", "", Imaps()));
    ASSERT_TRUE(SignIn("B signed in").signedIn);
    auto& f = Open();
    f.btnCheckAll->click();

    EXPECT_TRUE(ErrorTexts().empty()) << (ErrorTexts().empty() ? "" : ErrorTexts()[0]);
    EXPECT_EQ(Stored("A outlook").Status, "Sign-in needed");
    EXPECT_NE(Stored("A outlook").LastChecked, "N/A");
    EXPECT_EQ(Stored("C outlook type").Status, "Sign-in needed");
    EXPECT_EQ(Stored("D neither").Status, "Sign-in needed");
    EXPECT_EQ(Stored("B signed in").Status, "3");
    EXPECT_EQ(f.StatusBar->SimpleText(), "3 total number of new message(s), all accounts");
    // The server offers IDLE, but a signed-in account is not kept in push: its session would need
    // a token kept fresh for hours, and must never fall back to the password.
    testing_support::RunEventsFor(500);
    EXPECT_EQ(app::Push(f).Connections(), 0);

    // The provider withdraws the grant: the next run says so instead of failing.
    ASSERT_TRUE(auth->Revoke(*signin::Tokens().Read("B signed in")));
    signin::SharedAccessTokens().Forget("B signed in");
    f.btnCheckAll->click();
    EXPECT_TRUE(ErrorTexts().empty());
    EXPECT_EQ(Stored("B signed in").Status, "Sign-in needed");
    EXPECT_FALSE(signin::Tokens().Read("B signed in"));
}

TEST_F(SignedInRun, TheButtonServesProviderHostsOnly)
{
    ASSERT_TRUE(StoreAccount("A", "someone@outlook.com", "", "Hotmail"));
    auto& f = Open();
    const struct {
        QString host;
        bool enabled;
    } rows[] = {
        { "imaps://outlook.office365.com", true },
        { "pop3s://POP-MAIL.outlook.com:995", true },
        { "imaps://imap.gmail.com/INBOX", true },
        { "pop3://pop.gmail.com", true },
        { "Outlook.com", true },
        { "Gmail", true },
        { "Yahoo", false },
        { "Hotmail", false },
        { "imaps://imap.example.org", false },
        { "imaps://", false },
        { "outlook.office365.com", false },
    };
    for (const auto& row : rows) {
        f.cbHost->setEditText(row.host);
        f.cbHostChange(f.cbHost);
        EXPECT_EQ(f.btnSignIn->isEnabled(), row.enabled) << row.host.toStdString();
    }
    f.ResetAccountFields(false, false);
    EXPECT_FALSE(f.btnSignIn->isEnabled());
}

TEST_F(SignedInRun, WithoutARegistrationNoBrowserOpens)
{
    QTemporaryDir folder;
    const QString marker = folder.filePath("opened");
    SetEnvironment("BROWSER", "touch " + marker.toStdString());
    ASSERT_TRUE(StoreAccount("A", "someone@outlook.com", "", "imaps://outlook.office365.com"));
    auto& f = Open();
    ASSERT_TRUE(f.btnSignIn->isEnabled());
    f.btnSignIn->click();
    EXPECT_EQ(f.StatusBar->SimpleText().toStdString(),
        "This copy of Quorvel has no sign-in registration for Microsoft: see README, Sign-in");
    QTest::qWait(200);
    EXPECT_FALSE(QFile::exists(marker));
    EXPECT_TRUE(f.btnSignIn->isEnabled());
}

TEST_F(SignedInRun, TheButtonSignsInThroughTheBrowserNamedByBROWSER)
{
    StartPeers();
    QTemporaryDir folder;
    const std::string page = folder.filePath("page.html").toStdString();
    SetEnvironment("BROWSER", AuthServer::UserAgentScript());
    SetEnvironment("QUORVEL_TEST_PAGE", page);
    ASSERT_TRUE(StoreAccount("B", "anna@example.org", "", Imaps()));
    auto& f = Open();
    ASSERT_TRUE(f.btnSignIn->isEnabled());
    f.btnSignIn->click();
    EXPECT_EQ(f.StatusBar->SimpleText().toStdString(), "Signed in to anna@example.org");
    EXPECT_TRUE(signin::Tokens().Read("B"));
    EXPECT_TRUE(f.btnSignIn->isEnabled());
    QFile file(QString::fromStdString(page));
    // The user agent writes the page once its request has ended.
    for (int i = 0; i < 100 && !file.exists(); ++i)
        QTest::qWait(50);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Quorvel is signed in to anna@example.org. You can close this tab."));
}
