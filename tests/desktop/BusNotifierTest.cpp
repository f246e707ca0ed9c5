// The notifier against a recording notification service on a private session bus.
#include "platform/desktop/BusNotifier.h"

#include "platform/core/MessageLoop.h"
#include "tests/fixtures/Wait.h"
#include "tests/fixtures/desktop/NotificationServer.h"
#include "tests/fixtures/desktop/SessionBus.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <gtest/gtest.h>

#include <memory>

using testing_support::NotificationServer;
using testing_support::SessionBus;
using testing_support::WaitUntil;

namespace {

QIcon redIcon()
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::red);
    return QIcon(pixmap);
}

platform::DesktopNotice notice(const QString& body, std::function<void()> onDefault = {})
{
    platform::DesktopNotice n;
    n.appName = "quorvel";
    n.summary = "Quorvel";
    n.body = body;
    n.iconName = "quorvel";
    n.icon = redIcon();
    n.desktopEntry = "quorvel";
    n.onDefaultAction = std::move(onDefault);
    return n;
}

class BusNotifierTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus.Ready()) << bus.Error().toStdString();
        client = bus.Connect("notifier");
        ASSERT_TRUE(client.isConnected());
        notifier = std::make_unique<platform::BusNotifier>(client);
    }

    void StartServer(QStringList capabilities = { "actions", "body" })
    {
        server = std::make_unique<NotificationServer>(bus.Connect("server"), capabilities);
        ASSERT_TRUE(server->Registered());
    }

    // Everything the notifier has sent so far has reached the server.
    void Settle() { ASSERT_TRUE(testing_support::Settle(client)); }

    SessionBus bus;
    QDBusConnection client { QString() };
    std::unique_ptr<platform::BusNotifier> notifier;
    std::unique_ptr<NotificationServer> server;
};

} // namespace

TEST_F(BusNotifierTest, ANoticeReachesTheServiceWithItsTextIconAndDefaultAction)
{
    StartServer();
    notifier->Show(notice("3 new\nWork: 3", [] {}));
    ASSERT_TRUE(WaitUntil([&] { return !server->notices.empty(); }));
    Settle();
    ASSERT_EQ(server->notices.size(), 1U);
    const auto& n = server->notices.front();
    EXPECT_EQ(n.appName, "quorvel");
    EXPECT_EQ(n.summary, "Quorvel");
    EXPECT_EQ(n.body, "3 new\nWork: 3");
    EXPECT_EQ(n.appIcon, "quorvel");
    EXPECT_EQ(n.replacesId, 0U);
    EXPECT_EQ(n.expireTimeout, -1);
    ASSERT_GE(n.actions.size(), 2);
    EXPECT_EQ(n.actions[0], "default");
    EXPECT_EQ(n.hints.value("desktop-entry").toString(), "quorvel");

    // The picture: 64 by 64 RGBA rows, red as the icon given.
    ASSERT_TRUE(n.hints.contains("image-data"));
    const QDBusArgument image = n.hints.value("image-data").value<QDBusArgument>();
    int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
    bool alpha = false;
    QByteArray data;
    image.beginStructure();
    image >> width >> height >> stride >> alpha >> bits >> channels >> data;
    image.endStructure();
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 64);
    EXPECT_EQ(stride, 64 * 4);
    EXPECT_TRUE(alpha);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(channels, 4);
    ASSERT_EQ(data.size(), 64 * 64 * 4);
    EXPECT_EQ(static_cast<unsigned char>(data[0]), 255); // R
    EXPECT_EQ(static_cast<unsigned char>(data[1]), 0); // G
    EXPECT_EQ(static_cast<unsigned char>(data[3]), 255); // A
}

TEST_F(BusNotifierTest, ALaterNoticeReplacesTheEarlierOne)
{
    StartServer();
    notifier->Show(notice("first"));
    ASSERT_TRUE(WaitUntil([&] { return server->notices.size() == 1; }));
    Settle(); // the first notice's number has come back
    notifier->Show(notice("second"));
    ASSERT_TRUE(WaitUntil([&] { return server->notices.size() == 2; }));
    EXPECT_EQ(server->notices[1].replacesId, server->notices[0].id);
    EXPECT_NE(server->notices[0].id, 0U);
}

TEST_F(BusNotifierTest, ANoticeClosedByTheUserIsNotReplacedButShownAnew)
{
    StartServer();
    notifier->Show(notice("first"));
    ASSERT_TRUE(WaitUntil([&] { return server->notices.size() == 1; }));
    Settle();
    server->CloseNotification(server->notices[0].id);
    Settle();
    notifier->Show(notice("second"));
    ASSERT_TRUE(WaitUntil([&] { return server->notices.size() == 2; }));
    EXPECT_EQ(server->notices[1].replacesId, 0U);
}

TEST_F(BusNotifierTest, TheBodyIsEscapedOnlyForAServiceThatReadsMarkup)
{
    StartServer({ "actions", "body", "body-markup" });
    notifier->Show(notice("Tom & Jerry <3>: 2"));
    ASSERT_TRUE(WaitUntil([&] { return server->notices.size() == 1; }));
    EXPECT_EQ(server->notices[0].body, "Tom &amp; Jerry &lt;3&gt;: 2");
}

TEST_F(BusNotifierTest, APlainTextServiceGetsTheBodyAsItIs)
{
    StartServer({ "body" });
    notifier->Show(notice("Tom & Jerry <3>: 2"));
    ASSERT_TRUE(WaitUntil([&] { return server->notices.size() == 1; }));
    EXPECT_EQ(server->notices[0].body, "Tom & Jerry <3>: 2");
}

TEST_F(BusNotifierTest, OnlyTheDefaultActionOfTheNoticeOnScreenRunsTheHandler)
{
    StartServer();
    int clicks = 0;
    notifier->Show(notice("mail", [&] { ++clicks; }));
    ASSERT_TRUE(WaitUntil([&] { return server->notices.size() == 1; }));
    Settle();
    const uint id = server->notices[0].id;

    server->InvokeAction(id + 1, "default"); // somebody else's notice
    server->InvokeAction(id, "other");
    server->InvokeAction(id, "default");
    ASSERT_TRUE(WaitUntil([&] { return clicks > 0; }));
    Settle();
    EXPECT_EQ(clicks, 1);
}

TEST_F(BusNotifierTest, AHandlerThatThrowsDoesNotEscapeIntoTheEventLoop)
{
    StartServer();
    bool ran = false;
    notifier->Show(notice("mail", [&] {
        ran = true;
        throw std::runtime_error("from the handler");
    }));
    ASSERT_TRUE(WaitUntil([&] { return server->notices.size() == 1; }));
    Settle();
    server->InvokeAction(server->notices[0].id, "default");
    EXPECT_TRUE(WaitUntil([&] { return ran; }));
}

TEST_F(BusNotifierTest, WithoutAServiceNothingIsShownAndAServiceThatComesLaterGetsTheNextNotice)
{
    notifier->Show(notice("nobody listens"));
    // The bus answers at once that nobody owns the name. A round trip to the bus on the same
    // connection comes back after that answer, whose handling is then queued here.
    EXPECT_FALSE(client.interface()->isServiceRegistered("org.freedesktop.Notifications").value());
    platform::ProcessMessages();

    StartServer();
    notifier->Show(notice("now somebody does"));
    ASSERT_TRUE(WaitUntil([&] { return !server->notices.empty(); }));
    Settle();
    ASSERT_EQ(server->notices.size(), 1U);
    EXPECT_EQ(server->notices[0].body, "now somebody does");
}
