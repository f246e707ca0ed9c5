// The window's check-all runs announce new mail through the desktop's notification service: a
// recording service on a private session bus, against the stand-in mail service.
#include "platform/desktop/Application.h"
#include "platform/desktop/BusNotifier.h"
#include "settings/KeyPaths.h"
#include "settings/RegistryAccessor.h"
#include "tests/check/widget/CheckFixture.h"
#include "tests/fixtures/desktop/NotificationServer.h"
#include "tests/fixtures/desktop/SessionBus.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>

using platform::Application;
using testing_support::CheckFixture;
using testing_support::NotificationServer;
using testing_support::SessionBus;
using testing_support::WaitUntil;

namespace {

class NewMailNotice : public CheckFixture {
protected:
    void SetUp() override
    {
        CheckFixture::SetUp();
        ASSERT_TRUE(bus.Ready()) << bus.Error().toStdString();
        client = bus.Connect("quorvel");
        previous_ = platform::SetNotifier(std::make_unique<platform::BusNotifier>(client));
        server = std::make_unique<NotificationServer>(bus.Connect("server"), QStringList { "actions", "body" });
        ASSERT_TRUE(server->Registered());
    }

    void TearDown() override
    {
        CheckFixture::TearDown();
        platform::SetNotifier(std::move(previous_));
    }

    void Run() { form->btnCheckAll->click(); }

    // Everything the window's notifier sent until now has reached the service.
    void Settle() { ASSERT_TRUE(testing_support::Settle(client)); }

    // Runs until the service has `count` notices, then makes sure no more came.
    void ExpectNotices(std::size_t count)
    {
        EXPECT_TRUE(WaitUntil([&] { return server->notices.size() >= count; })) << server->notices.size() << " notices";
        Settle();
        EXPECT_EQ(server->notices.size(), count);
    }

    static void StoreNotify(int value)
    {
        settings::RegistryAccessor reg;
        ASSERT_TRUE(reg.OpenKey(settings::QuorvelKey, true));
        reg.WriteInteger("notify", value);
        reg.CommitKey();
    }

    SessionBus bus;
    QDBusConnection client { QString() };
    std::unique_ptr<NotificationServer> server;

private:
    std::unique_ptr<platform::DesktopNotifier> previous_;
};

} // namespace

TEST_F(NewMailNotice, ARisingRunSendsOneNoticeWithTheAccountsThatHaveMail)
{
    ASSERT_TRUE(StartService({ "--account", "w:pw:3", "--account", "e:pw:0", "--account", "h:pw:2" }));
    ASSERT_TRUE(StoreAccount("Work", "w", "pw"));
    ASSERT_TRUE(StoreAccount("Empty", "e", "pw"));
    ASSERT_TRUE(StoreAccount("Home", "h", "pw"));
    Open();
    Run();
    ExpectNotices(1);
    ASSERT_FALSE(server->notices.empty());
    const auto& n = server->notices[0];
    EXPECT_EQ(n.appName, "quorvel");
    EXPECT_EQ(n.summary, "Quorvel");
    // In the list's order, which is the store's: by name.
    EXPECT_EQ(n.body, "5 total number of new message(s), all accounts\nHome: 2\nWork: 3");
    EXPECT_EQ(n.appIcon, "quorvel");
    EXPECT_TRUE(n.hints.contains("image-data"));
    EXPECT_TRUE(n.actions.contains("default"));
    EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(NewMailNotice, EqualAndFallingRunsStaySilentAndTheNextRiseReplacesTheNotice)
{
    ASSERT_TRUE(StartService({ "--account", "u3:pw:3", "--account", "u2:pw:2", "--account", "u5:pw:5" }));
    ASSERT_TRUE(StoreAccount("A", "u3", "pw"));
    auto& f = Open();
    Run(); // 0 -> 3
    ExpectNotices(1);
    Run(); // 3 -> 3
    ExpectNotices(1);
    f.edUserName->setText("u2");
    Run(); // 3 -> 2
    ExpectNotices(1);
    f.edUserName->setText("u5");
    Run(); // 2 -> 5
    ExpectNotices(2);
    ASSERT_EQ(server->notices.size(), 2U);
    EXPECT_EQ(server->notices[1].body, "5 total number of new message(s), all accounts. Since last checked: 3\nA: 5");
    EXPECT_EQ(server->notices[1].replacesId, server->notices[0].id);
}

TEST_F(NewMailNotice, NoMailAfterNoMailSendsNothing)
{
    ASSERT_TRUE(StartService({ "--account", "u0:pw:0", "--account", "bad:pw:fail" }));
    ASSERT_TRUE(StoreAccount("A", "u0", "pw"));
    ASSERT_TRUE(StoreAccount("B", "bad", "pw"));
    Open();
    Run();
    Run();
    ExpectNotices(0);
}

TEST_F(NewMailNotice, AStoredNotifyOfZeroTurnsNoticesOff)
{
    ASSERT_TRUE(StartService({ "--account", "u3:pw:3" }));
    ASSERT_TRUE(StoreAccount("A", "u3", "pw"));
    StoreNotify(0);
    Open();
    Run();
    EXPECT_EQ(form->StatusBar->SimpleText(), "3 total number of new message(s), all accounts");
    ExpectNotices(0);
}

TEST_F(NewMailNotice, AStoredNotifyOfOneKeepsThemOn)
{
    ASSERT_TRUE(StartService({ "--account", "u3:pw:3" }));
    ASSERT_TRUE(StoreAccount("A", "u3", "pw"));
    StoreNotify(1);
    Open();
    Run();
    ExpectNotices(1);
}

TEST_F(NewMailNotice, TheTrayMenusNoticesItemTakesEffectForTheNextRun)
{
    ASSERT_TRUE(StartService({ "--account", "u3:pw:3" }));
    ASSERT_TRUE(StoreAccount("A", "u3", "pw"));
    StoreNotify(0);
    Open();
    form->pmnuNotices->trigger(); // on again
    Run();
    ExpectNotices(1);
}

TEST_F(NewMailNotice, TurnedOffInTheTrayMenuARisingRunStaysSilent)
{
    ASSERT_TRUE(StartService({ "--account", "u3:pw:3" }));
    ASSERT_TRUE(StoreAccount("A", "u3", "pw"));
    Open();
    form->pmnuNotices->trigger();
    Run();
    EXPECT_EQ(form->StatusBar->SimpleText(), "3 total number of new message(s), all accounts");
    ExpectNotices(0);
}

TEST_F(NewMailNotice, ClickingTheNoticeRestoresTheMinimisedWindow)
{
    ASSERT_TRUE(StartService({ "--account", "u3:pw:3" }));
    ASSERT_TRUE(StoreAccount("A", "u3", "pw"));
    auto& f = Open();
    f.show();
    Run();
    ExpectNotices(1);
    ASSERT_FALSE(server->notices.empty());
    f.showMinimized();
    ASSERT_TRUE(WaitUntil([] { return Application::instance().Minimized(); }));

    server->InvokeAction(server->notices[0].id, "default");
    EXPECT_TRUE(WaitUntil([] { return !Application::instance().Minimized(); }));
    EXPECT_TRUE(f.isVisible());
}

TEST_F(NewMailNotice, WithoutANotificationServiceTheRunEndsWithoutAnErrorBox)
{
    server.reset(); // nobody owns the name now
    ASSERT_TRUE(StartService({ "--account", "u3:pw:3" }));
    ASSERT_TRUE(StoreAccount("A", "u3", "pw"));
    Open();
    Run();
    EXPECT_EQ(form->StatusBar->SimpleText(), "3 total number of new message(s), all accounts");
    testing_support::RunEventsFor(200); // the bus's answer that nobody is there comes back
    EXPECT_TRUE(ErrorTexts().empty());
}
