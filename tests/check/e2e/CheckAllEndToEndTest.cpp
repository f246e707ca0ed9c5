// The real program on a private X display with a tray host, checking three accounts at the
// stand-in mail service after "&Check All" from the tray menu.
#include "settings/Store.h"
#include "tests/check/MailServiceProcess.h"
#include "tests/fixtures/X11Session.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using testing_support::MailServiceProcess;
using testing_support::PollUntil;
using testing_support::X11Session;

namespace {

QString artifact(const QString& name)
{
    QDir().mkpath(QUORVEL_ARTIFACTS);
    return QString(QUORVEL_ARTIFACTS) + "/" + name;
}

[[nodiscard]] bool StoreAccount(const std::string& name, const std::string& user, const std::string& password)
{
    settings::TAccount a { name, "", "Hotmail", user, password, "N/A", "N/A" };
    return settings::SaveAccount(a);
}

} // namespace

class CheckAllEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        store = home.path() + "/registry.sqlite3";
        setenv("QUORVEL_REGISTRY", store.toLocal8Bit().constData(), 1);
        ASSERT_TRUE(StoreAccount("Anna", "anna", "anna-pw"));
        ASSERT_TRUE(StoreAccount("Ben", "ben", "ben-pw"));
        ASSERT_TRUE(StoreAccount("Cleo", "cleo", "not-her-password"));
        unsetenv("QUORVEL_REGISTRY");
        service = std::make_unique<MailServiceProcess>(
            QStringList { "--account", "anna:anna-pw:3", "--account", "ben:ben-pw:0", "--account", "cleo:cleo-pw:5" });
        ASSERT_GT(service->port(), 0);
    }

    [[nodiscard]] bool Xdotool(const QStringList& arguments)
    {
        int code = -1;
        session->Run("xdotool", arguments, &code);
        EXPECT_EQ(code, 0) << arguments.join(' ').toStdString();
        return code == 0;
    }

    QImage Grab(const QRect& rect, const QString& name)
    {
        const QString file = artifact(name);
        if (!session->Screenshot("root", file))
            return {};
        return QImage(file).copy(rect);
    }

    QTemporaryDir home;
    QString store;
    std::unique_ptr<MailServiceProcess> service;
    std::unique_ptr<X11Session> session;
};

TEST_F(CheckAllEndToEnd, CheckAllFromTheTrayMenuChecksEveryAccountAndReports)
{
    session = std::make_unique<X11Session>();
    ASSERT_TRUE(session->Ready()) << session->Error().toStdString();
    const QString address = QString::fromStdString(service->address());
    QProcess* program = session->Start(QUORVEL_BINARY, {},
        { "QUORVEL_REGISTRY=" + store, "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + home.path(),
            "XDG_RUNTIME_DIR=" + home.path(), "QUORVEL_LOGIN_HOST=" + address,
            "QUORVEL_HOMEPAGE=http://" + address + "/quorvel/" },
        home.path());
    QString window;
    ASSERT_TRUE(PollUntil([&] {
        const auto found = session->FindWindows({ "--onlyvisible", "--name", "^Quorvel$" });
        if (!found.empty())
            window = found.front();
        return !found.empty();
    })) << "the main window did not appear";
    std::optional<QRect> icon;
    ASSERT_TRUE(PollUntil([&] { return (icon = session->TrayIconOf("quorvel")).has_value(); })) << "no tray icon";
    QThread::msleep(300);
    const QImage before = Grab(*icon, "check-all-before.png");

    const QPoint centre = icon->center();
    ASSERT_TRUE(Xdotool({ "mousemove", QString::number(centre.x()), QString::number(centre.y()) }));
    ASSERT_TRUE(Xdotool({ "click", "3" }));
    QThread::msleep(400);
    session->Screenshot("root", artifact("check-all-menu.png"));
    ASSERT_TRUE(Xdotool({ "key", "c" })); // "&Check All"

    ASSERT_TRUE(PollUntil([&] { return service->Requests().size() >= 3; })) << "the accounts were not checked";
    QThread::msleep(500);
    EXPECT_EQ(service->Requests().size(), 3u);
    EXPECT_TRUE(session->Screenshot(window, artifact("check-all-window.png")));
    const QImage after = Grab(*icon, "check-all-after.png");
    EXPECT_FALSE(before.isNull());
    // The tray shows the picture of a run with new mail now, not the one it started with.
    EXPECT_NE(before, after);

    // The tooltip, shown by resting the pointer on the icon.
    ASSERT_TRUE(Xdotool({ "mousemove", QString::number(centre.x() + 1), QString::number(centre.y()) }));
    QThread::msleep(1500);
    session->Screenshot("root", artifact("check-all-tooltip.png"));

    // "C&lose" from the tray menu: the program saves and ends.
    ASSERT_TRUE(Xdotool({ "click", "3" }));
    QThread::msleep(400);
    ASSERT_TRUE(Xdotool({ "key", "l" }));
    ASSERT_TRUE(program->waitForFinished(10000)) << "still running after Close";
    EXPECT_EQ(program->exitCode(), 0);

    setenv("QUORVEL_REGISTRY", store.toLocal8Bit().constData(), 1);
    EXPECT_EQ(settings::LoadAccount("Anna").Status, "3");
    EXPECT_EQ(settings::LoadAccount("Ben").Status, "0");
    EXPECT_EQ(settings::LoadAccount("Cleo").Status, "Login failed");
    EXPECT_NE(settings::LoadAccount("Anna").LastChecked.value_or("").find(" || "), std::string::npos);
    EXPECT_EQ(settings::LoadAccount("Anna").Password, "anna-pw");
    unsetenv("QUORVEL_REGISTRY");
}
