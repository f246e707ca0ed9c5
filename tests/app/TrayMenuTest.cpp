// The tray icon's menu: its items, the notices switch in the store, the autostart entry in the
// session's config folder, and bringing the window back.
#include "app/StartAtLogin.h"
#include "platform/core/MessageLoop.h"
#include "settings/NotifySetting.h"
#include "tests/support/WindowFixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QMenu>

#include <gtest/gtest.h>

using platform::Application;
using testing_support::WindowFixture;

namespace {

class TrayMenu : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        ASSERT_TRUE(config_.isValid());
        previous_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    }

    void TearDown() override
    {
        WindowFixture::TearDown();
        if (previous_.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", previous_);
    }

    QString EntryPath() const { return config_.path() + "/autostart/quorvel.desktop"; }

    QString EntryText() const
    {
        QFile file(EntryPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir config_;
    QByteArray previous_;
};

} // namespace

TEST_F(TrayMenu, NoticesShowsTheStoredValueAndWritesItAtOnce)
{
    ASSERT_TRUE(settings::SaveNotify(false));
    auto& f = Open();
    EXPECT_FALSE(f.pmnuNotices->isChecked());
    f.pmnuNotices->trigger();
    EXPECT_TRUE(f.pmnuNotices->isChecked());
    EXPECT_TRUE(settings::LoadNotify());
    f.pmnuNotices->trigger();
    EXPECT_FALSE(settings::LoadNotify());
    // The next start shows what was chosen.
    EXPECT_FALSE(Reopen().pmnuNotices->isChecked());
}

TEST_F(TrayMenu, StartAtLoginWritesTheAutostartEntryAndRemovesItAgain)
{
    auto& f = Open();
    EXPECT_FALSE(f.pmnuStartAtLogin->isChecked());
    f.pmnuStartAtLogin->trigger();
    EXPECT_TRUE(f.pmnuStartAtLogin->isChecked());
    const QStringList lines = EntryText().split('\n');
    EXPECT_EQ(lines.value(0), "[Desktop Entry]");
    EXPECT_TRUE(lines.contains("Exec=" + app::ExecArgument(QCoreApplication::applicationFilePath()) + " --hidden"))
        << EntryText().toStdString();
    EXPECT_TRUE(lines.contains("X-GNOME-Autostart-enabled=true"));
    EXPECT_TRUE(lines.contains("Type=Application"));
    EXPECT_TRUE(dialogs->messages.empty());

    f.pmnuStartAtLogin->trigger();
    EXPECT_FALSE(f.pmnuStartAtLogin->isChecked());
    EXPECT_FALSE(QFile::exists(EntryPath()));
}

TEST_F(TrayMenu, OpeningTheMenuShowsWhetherTheEntryExistsNow)
{
    auto& f = Open();
    app::SetStartAtLogin(true, "/usr/bin/quorvel");
    EXPECT_FALSE(f.pmnuStartAtLogin->isChecked());
    emit f.pumTrayIcon->aboutToShow();
    EXPECT_TRUE(f.pmnuStartAtLogin->isChecked());
    QFile::remove(EntryPath());
    emit f.pumTrayIcon->aboutToShow();
    EXPECT_FALSE(f.pmnuStartAtLogin->isChecked());
}

TEST_F(TrayMenu, AnEntryThatCannotBeWrittenIsReportedAndTheItemStaysUnchecked)
{
    // A file where the autostart folder should be: the folder cannot be made, even by root.
    QFile blocker(config_.path() + "/autostart");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto& f = Open();
    f.pmnuStartAtLogin->trigger();
    EXPECT_FALSE(f.pmnuStartAtLogin->isChecked());
    ASSERT_EQ(dialogs->messages.size(), 1U);
    EXPECT_TRUE(dialogs->messages[0].text.contains("autostart")) << dialogs->messages[0].text.toStdString();
}

TEST_F(TrayMenu, ShowRestoresTheMinimisedWindowAndBringsItToTheFront)
{
    auto& f = Open();
    f.showMinimized();
    platform::ProcessMessages();
    ASSERT_TRUE(Application::instance().Minimized());
    f.pmnuShow->trigger();
    EXPECT_FALSE(Application::instance().Minimized());
    EXPECT_TRUE(f.isVisible());
    f.hide();
}

TEST(ExecArgument, QuotesAndEscapesWhatTheEntryFormatReserves)
{
    const struct {
        const char* path;
        const char* written;
    } rows[] = {
        { "/usr/bin/quorvel", "/usr/bin/quorvel" },
        { "/opt/my apps/quorvel", "\"/opt/my apps/quorvel\"" },
        { "/home/a$b/quorvel", "\"/home/a\\\\$b/quorvel\"" },
        { "/home/a\\b/quorvel", "\"/home/a\\\\\\\\b/quorvel\"" },
        { "/home/100%/quorvel", "/home/100%%/quorvel" },
        { "/home/say \"hi\"/q", "\"/home/say \\\\\"hi\\\\\"/q\"" },
        { "/home/a`b/q", "\"/home/a\\\\`b/q\"" },
    };
    for (const auto& row : rows)
        EXPECT_EQ(app::ExecArgument(QString::fromUtf8(row.path)).toStdString(), row.written) << row.path;
}
