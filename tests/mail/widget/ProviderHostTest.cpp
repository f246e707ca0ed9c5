// Host types named after providers: each account is checked as imaps:// to its provider's server,
// or, where the provider takes sign-ins only, asks for one.
// The server is reached through a scripted proxy on loopback, so no name is ever looked up: the
// proxy sees the tunnel asked for and the start of the TLS handshake with the server's name.
#include "app/ProviderHosts.h"
#include "platform/core/HostResolver.h"
#include "signin/Providers.h"
#include "tests/check/widget/CheckFixture.h"
#include "tests/fixtures/ScriptServer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <mutex>

using testing_support::CheckFixture;
using testing_support::ScriptServer;

namespace {

class ProviderHost : public CheckFixture {
protected:
    void SetUp() override
    {
        CheckFixture::SetUp();
        previousResolver_ = platform::SetHostResolver([this](const std::string& name) {
            const std::lock_guard lock(mutex_);
            lookups_.push_back(name);
            platform::HostLookupResult refused;
            refused.error = 11001;
            return refused;
        });
    }

    void TearDown() override
    {
        CheckFixture::TearDown();
        platform::SetHostResolver(previousResolver_);
    }

    std::vector<std::string> Lookups()
    {
        const std::lock_guard lock(mutex_);
        return lookups_;
    }

private:
    platform::HostResolverFunction previousResolver_;
    std::mutex mutex_;
    std::vector<std::string> lookups_;
};

} // namespace

TEST_F(ProviderHost, EachProviderIsCheckedOverTlsAtItsOwnServer)
{
    ScriptServer proxy;
    ASSERT_TRUE(StoreAccount("Mail", "someone@example.org", "password-never-sent", "Hotmail"));
    auto& f = Open();
    f.cbProxy->setChecked(true);
    f.edProxyHost->setText("127.0.0.1");
    f.edProxyPort->setText(QString::number(proxy.port()));

    std::size_t connection = 0;
    for (const app::Provider& provider : app::Providers()) {
        const std::string server = provider.server;
        if (const auto signIn = signin::ProviderForHost(server); signIn && signIn->signInOnly) {
            // A password there would only be refused: without a sign-in nothing is sent at all,
            // so the next provider's tunnel is the next connection.
            f.cbHost->setEditText(provider.name);
            f.btnCheckAll->click();
            EXPECT_EQ(Stored("Mail").Status, "Sign-in needed") << provider.name;
            continue;
        }
        // The tunnel is granted; the client's first bytes through it are taken, then it closes.
        proxy.AddConnection(
            { ScriptServer::ReceiveRequest(), ScriptServer::Send("HTTP/1.0 200 Connection established\r\n\r\n"),
                ScriptServer::ReceiveUntil(server), ScriptServer::Close() });
        f.cbHost->setEditText(provider.name);
        f.btnCheckAll->click();
        ASSERT_TRUE(proxy.WaitForClosed(connection)) << provider.name;
        const std::string received = proxy.Received(connection++);

        const std::string request = "CONNECT " + server + ":993 HTTP/1.0\r\n";
        ASSERT_EQ(received.substr(0, request.size()), request) << provider.name;
        const std::size_t body = received.find("\r\n\r\n");
        ASSERT_NE(body, std::string::npos);
        const std::string tunnel = received.substr(body + 4);
        // A TLS handshake record, naming the server for its certificate check; nothing in the clear.
        ASSERT_GE(tunnel.size(), 2U) << provider.name;
        EXPECT_EQ(tunnel[0], '\x16') << provider.name;
        EXPECT_EQ(tunnel[1], '\x03') << provider.name;
        EXPECT_NE(tunnel.find(server), std::string::npos) << provider.name;
        EXPECT_EQ(tunnel.find("password-never-sent"), std::string::npos) << provider.name;
        // Stored by its name, as the user picked it.
        EXPECT_EQ(Stored("Mail").Host, provider.name);
    }
    EXPECT_TRUE(Lookups().empty()) << Lookups().front();
}

TEST_F(ProviderHost, TheHostListOffersTheProvidersSortedAndTheHintFollowsTheHostType)
{
    auto& f = Open();
    QStringList items;
    for (int i = 0; i < f.cbHost->count(); ++i)
        items << f.cbHost->itemText(i);
    EXPECT_EQ(items.join(", ").toStdString(), "Fastmail, Gmail, GMX, Hotmail, iCloud, Outlook.com, Yahoo, Zoho");

    f.cbHost->setEditText("Hotmail");
    EXPECT_TRUE(platform::Application::WidgetHint(f.cbHost).contains("\"Outlook.com\""));
    f.cbHost->setEditText("Gmail");
    const QString hint = platform::Application::WidgetHint(f.cbHost);
    EXPECT_TRUE(hint.contains("imaps://")) << hint.toStdString();
    for (const app::Provider& provider : app::Providers())
        EXPECT_TRUE(hint.contains(provider.name)) << provider.name;
}
