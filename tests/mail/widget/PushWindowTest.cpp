// Push through the window against a real Dovecot: after a check, news from the server's IDLE
// starts a run that updates the account, the status line and the hint; the connection comes back
// after a server restart; a refused login on the push connection is not tried again; "push" 0
// keeps no connection.
#include "app/CheckState.h"
#include "app/PushAccounts.h"
#include "settings/KeyPaths.h"
#include "settings/RegistryAccessor.h"
#include "tests/check/widget/CheckFixture.h"
#include "tests/fixtures/Dovecot.h"
#include "tests/fixtures/Relay.h"
#include "tests/fixtures/desktop/SessionBus.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

using testing_support::CheckFixture;
using testing_support::Dovecot;
using testing_support::WaitUntil;

namespace {

class PushWindow : public CheckFixture {
protected:
    void SetUp() override
    {
        CheckFixture::SetUp();
        // Keepalive lines every second: a connection that hears none for two seconds is dead.
        dovecot = std::make_unique<Dovecot>("imap_idle_notify_interval = 1 secs");
        dovecot->AddUser("anna", "anna-secret", 3, 1);
        dovecot->AddUser("ben", "ben-secret", 1, 0);
    }
    void TearDown() override
    {
        form.reset();
        dovecot.reset();
        CheckFixture::TearDown();
    }

    std::string Imaps() const { return "imaps://127.0.0.1:" + std::to_string(dovecot->imapsPort()); }
    std::string Imap() const { return "imap://127.0.0.1:" + std::to_string(dovecot->imapPort()); }
    QString Status() { return form->StatusBar->SimpleText(); }
    bool Idling(const char* name) { return app::Push(*form).Idling(name); }

    static void StorePush(int value)
    {
        settings::RegistryAccessor reg;
        ASSERT_TRUE(reg.OpenKey(settings::QuorvelKey, true));
        reg.WriteInteger("push", value);
        reg.CommitKey();
    }

    std::unique_ptr<Dovecot> dovecot;
};

TEST_F(PushWindow, DeliveryAndExpungeReachTheWindowWithoutAClick)
{
    ASSERT_TRUE(StoreAccount("A anna", "anna", "anna-secret", Imaps()));
    ASSERT_TRUE(StoreAccount("B ben", "ben", "ben-secret", Imap()));
    auto& f = Open();
    // A run starts as soon as the connection that told of the change is back in IDLE, not when
    // the time for gathering more changes is over.
    app::Push(f).Gather = std::chrono::seconds(60);
    f.btnCheckAll->click();
    ASSERT_EQ(Status(), "4 total number of new message(s), all accounts");
    ASSERT_TRUE(WaitUntil([&] { return Idling("A anna") && Idling("B ben"); }, 10000));
    const QString current = f.FCurrentAccount;
    const int row = f.clbItems->currentRow();

    dovecot->Deliver("anna");
    ASSERT_TRUE(WaitUntil([&] { return Stored("A anna").Status == "4"; }, 10000));
    // Reported as a run reports: the other account's count from its last check, the difference
    // to the last run, the hint.
    EXPECT_EQ(Status(), "5 total number of new message(s), all accounts. Since last checked: 1");
    EXPECT_EQ(f.trayIcon->Hint(), Status());
    EXPECT_EQ(f.FLastTotal, 5);
    // A is the current account: its label shows the new count. Nothing else moved.
    EXPECT_EQ(f.lblStatus->text(), "4");
    EXPECT_EQ(f.FCurrentAccount, current);
    EXPECT_EQ(f.clbItems->currentRow(), row);
    EXPECT_TRUE(ErrorTexts().empty());

    ASSERT_TRUE(dovecot->Expunge("ben"));
    ASSERT_TRUE(WaitUntil([&] { return Stored("B ben").Status == "0"; }, 10000));
    EXPECT_EQ(Status(), "4 total number of new message(s), all accounts. Since last checked: -1");
    // B is not the current account: the labels keep A's result.
    EXPECT_EQ(f.lblStatus->text(), "4");
}

TEST_F(PushWindow, TheConnectionComesBackAfterTheServerRestarts)
{
    ASSERT_TRUE(StoreAccount("A anna", "anna", "anna-secret", Imaps()));
    auto& f = Open();
    f.btnCheckAll->click();
    ASSERT_TRUE(WaitUntil([&] { return Idling("A anna"); }, 10000));
    const int before = app::Push(f).Connections();
    ASSERT_TRUE(dovecot->Restart());
    // The first retry comes after two seconds at most.
    ASSERT_TRUE(WaitUntil([&] { return app::Push(f).Connections() > before && Idling("A anna"); }, 15000));
    dovecot->Deliver("anna");
    EXPECT_TRUE(WaitUntil([&] { return Stored("A anna").Status == "4"; }, 10000));
}

TEST_F(PushWindow, ASilencedConnectionIsFoundDeadAndMadeAgain)
{
    testing_support::Relay relay(dovecot->imapsPort());
    ASSERT_TRUE(StoreAccount("A anna", "anna", "anna-secret", "imaps://127.0.0.1:" + std::to_string(relay.port())));
    auto& f = Open();
    // Until the keepalive interval is learnt, a little more than that interval counts.
    app::Push(f).Timings.silentServer = std::chrono::milliseconds(1500);
    f.btnCheckAll->click();
    ASSERT_TRUE(WaitUntil([&] { return Idling("A anna"); }, 10000));
    const int connections = app::Push(f).Connections();
    // While the server's keepalive lines come, the connection stands.
    testing_support::RunEventsFor(3500);
    ASSERT_EQ(app::Push(f).Connections(), connections);
    relay.Silence();
    ASSERT_TRUE(WaitUntil([&] { return app::Push(f).Connections() > connections && Idling("A anna"); }, 15000));
    dovecot->Deliver("anna");
    EXPECT_TRUE(WaitUntil([&] { return Stored("A anna").Status == "4"; }, 10000));
}

TEST_F(PushWindow, ARefusedLoginOnThePushConnectionIsNotTriedAgain)
{
    ASSERT_TRUE(StoreAccount("A anna", "anna", "anna-secret", Imaps()));
    auto& f = Open();
    f.btnCheckAll->click();
    ASSERT_TRUE(WaitUntil([&] { return Idling("A anna"); }, 10000));
    // The password changes on the server; the restart drops the connection, and the new one is
    // refused.
    dovecot->SetPassword("anna", "changed");
    ASSERT_TRUE(dovecot->Restart());
    ASSERT_TRUE(WaitUntil([&] { return app::Push(f).Failure("A anna") == "Login failed"; }, 15000));
    // Dovecot's log process writes a moment after the client has its answer.
    ASSERT_TRUE(WaitUntil([&] { return dovecot->CountInLog("auth failed") > 0; }, 5000)) << dovecot->log();
    const int refused = dovecot->CountInLog("auth failed");
    EXPECT_EQ(refused, 1) << dovecot->log();
    // Longer than the next two retries would have waited: no further login.
    testing_support::RunEventsFor(7000);
    EXPECT_EQ(dovecot->CountInLog("auth failed"), refused);
    EXPECT_FALSE(Idling("A anna"));
}

TEST_F(PushWindow, AFailedConnectionIsMarkedInTheListAndTheHint)
{
    ASSERT_TRUE(StoreAccount("A anna", "anna", "anna-secret", Imaps()));
    auto& f = Open();
    f.btnCheckAll->click();
    ASSERT_TRUE(WaitUntil([&] { return Idling("A anna"); }, 10000));
    EXPECT_EQ(f.trayIcon->Hint(), Status());
    dovecot->SetPassword("anna", "changed");
    ASSERT_TRUE(dovecot->Restart());
    ASSERT_TRUE(WaitUntil([&] { return app::Push(f).Failure("A anna") == "Login failed"; }, 15000));
    EXPECT_EQ(f.clbItems->item(0)->toolTip(), "Push off: Login failed");
    EXPECT_FALSE(f.clbItems->item(0)->icon().isNull());
    EXPECT_EQ(f.trayIcon->Hint(), Status() + "\nPush off: A anna");
    // The next successful check lifts the stop, and the mark goes.
    dovecot->SetPassword("anna", "anna-secret");
    // Dovecot may not read the file again at once: a restart makes sure.
    ASSERT_TRUE(dovecot->Restart());
    f.btnCheckAll->click();
    ASSERT_EQ(Stored("A anna").Status, "3");
    ASSERT_TRUE(WaitUntil([&] { return Idling("A anna"); }, 10000));
    EXPECT_EQ(f.clbItems->item(0)->toolTip(), "");
    EXPECT_EQ(f.trayIcon->Hint(), Status());
}

// What the system says when the machine wakes or the network comes back, sent by a stand-in
// service on a private bus that the program takes for the system bus.
struct SystemSignal {
    const char* name;
    const char* service;
    const char* path;
    const char* interface;
    const char* member;
    QList<QVariant> before; // a signal that must not count
    QList<QVariant> after;
};

class PushAfterWake : public PushWindow, public testing::WithParamInterface<SystemSignal> { };

TEST_P(PushAfterWake, ConnectionsAreMadeAgainAndOneRunGoes)
{
    testing_support::SessionBus system;
    ASSERT_TRUE(system.Ready()) << system.Error().toStdString();
    SetEnvironment("DBUS_SYSTEM_BUS_ADDRESS", system.Address().toStdString());
    QDBusConnection service = system.Connect("service");
    ASSERT_TRUE(service.registerService(GetParam().service));

    ASSERT_TRUE(StoreAccount("A anna", "anna", "anna-secret", Imaps()));
    auto& f = Open();
    QDateTime now(QDate(2026, 12, 10), QTime(14, 0, 0));
    app::CheckState(f).clock = [&now] { return now; };
    f.btnCheckAll->click();
    ASSERT_TRUE(WaitUntil([&] { return Idling("A anna"); }, 10000));
    const std::string checked = Stored("A anna").LastChecked.value_or("");
    const int connections = app::Push(f).Connections();
    now = now.addSecs(3600);

    const auto send = [&](const QList<QVariant>& arguments) {
        QDBusMessage signal = QDBusMessage::createSignal(GetParam().path, GetParam().interface, GetParam().member);
        signal.setArguments(arguments);
        ASSERT_TRUE(service.send(signal));
    };
    send(GetParam().before);
    testing_support::RunEventsFor(300);
    EXPECT_EQ(app::Push(f).Connections(), connections);
    send(GetParam().after);
    ASSERT_TRUE(WaitUntil([&] { return app::Push(f).Connections() > connections && Idling("A anna"); }, 10000));
    EXPECT_TRUE(WaitUntil([&] { return Stored("A anna").LastChecked.value_or("") != checked; }, 10000));
    EXPECT_EQ(app::Push(f).Connections(), connections + 1);
}

const QVariantMap kLimited { { "Connectivity", 3U } };
const QVariantMap kFull { { "Connectivity", 4U } };

INSTANTIATE_TEST_SUITE_P(Signals, PushAfterWake,
    testing::Values(SystemSignal { "LogindResume", "org.freedesktop.login1", "/org/freedesktop/login1",
                        "org.freedesktop.login1.Manager", "PrepareForSleep", { true }, { false } },
        SystemSignal { "NetworkState", "org.freedesktop.NetworkManager", "/org/freedesktop/NetworkManager",
            "org.freedesktop.NetworkManager", "StateChanged", { 20U }, { 70U } },
        SystemSignal { "NetworkConnectivity", "org.freedesktop.NetworkManager", "/org/freedesktop/NetworkManager",
            "org.freedesktop.DBus.Properties", "PropertiesChanged",
            { QString("org.freedesktop.NetworkManager"), kLimited, QStringList() },
            { QString("org.freedesktop.NetworkManager"), kFull, QStringList() } }),
    [](const testing::TestParamInfo<SystemSignal>& info) { return std::string(info.param.name); });

TEST_F(PushWindow, PushZeroKeepsNoConnection)
{
    StorePush(0);
    ASSERT_TRUE(StoreAccount("A anna", "anna", "anna-secret", Imaps()));
    auto& f = Open();
    f.btnCheckAll->click();
    ASSERT_EQ(Stored("A anna").Status, "3");
    testing_support::RunEventsFor(500);
    EXPECT_EQ(app::Push(f).Connections(), 0);
    EXPECT_FALSE(Idling("A anna"));
}

} // namespace
