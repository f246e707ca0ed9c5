// Two running instances on one store: a second instance's write never holds up or fails a load
// of this one, writes wait for each other at most the busy time-out, and a session that began by
// reading can still write after the other instance committed.
#include "platform/store/Registry.h"
#include "settings/AccountStore.h"
#include "settings/SettingsStore.h"
#include "tests/settings/RegistryProbe.h"
#include "tests/support/TempRegistry.h"

#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

using namespace settings;

namespace {

const std::string MineKey = "\\software\\Brask\\Quorvel\\account\\mine";

const TAccount Mine { "mine", "comment", "Hotmail", "me", "secret", "lc", "3" };

class TwoInstances : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SaveAccount(Mine));
        ASSERT_TRUE(SaveSettings({ "15", true, "proxy.example", "8080" }));
    }

    // Starts the other instance in the middle of a save of "other" that lasts `ms`.
    void StartHolder(QProcess& holder, int ms)
    {
        holder.start(QStringLiteral(QUORVEL_STORE_WRITER), { "hold", "other", QString::number(ms) });
        ASSERT_TRUE(holder.waitForStarted(5000));
        ASSERT_TRUE(holder.waitForReadyRead(10000)) << holder.readAllStandardError().data();
        ASSERT_EQ(holder.readLine().trimmed(), "holding");
    }

    static void Stop(QProcess& holder)
    {
        holder.kill();
        holder.waitForFinished(5000);
    }

    testing_support::TempRegistry registry_;
};

} // namespace

TEST_F(TwoInstances, LoadsGoOnWhileTheOtherInstanceHoldsTheWriteLock)
{
    QProcess holder;
    // Longer than the busy time-out: a load that waited for the lock would fail.
    StartHolder(holder, 8000);
    const TAccountFields f = LoadAccount("mine");
    EXPECT_EQ(f.Info, "comment");
    EXPECT_EQ(f.Password, "secret");
    EXPECT_EQ(f.Status, "3");
    const TAccountList list = LoadAccountList();
    EXPECT_TRUE(list.Complete);
    // The other instance's account is not committed yet.
    EXPECT_EQ(list.Names, std::vector<std::string> { "mine" });
    const TLoadedSettings s = LoadSettings();
    EXPECT_EQ(s.Delay, "15");
    EXPECT_EQ(s.ProxyPort, "8080");
    EXPECT_EQ(holder.state(), QProcess::Running) << "the hold ended before the loads were done";
    Stop(holder);
    // Killed in the middle of its save, the other instance left nothing of it.
    EXPECT_FALSE(probe::KeyExists("\\software\\Brask\\Quorvel\\account\\other"));
    EXPECT_EQ(LoadAccount("mine").Status, "3");
}

TEST_F(TwoInstances, ASaveWaitsForTheOtherInstanceOnlyUpToTheBusyTimeOut)
{
    QProcess holder;
    StartHolder(holder, 30000);
    TAccount changed = Mine;
    changed.Status = "7";
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(SaveAccount(changed));
    // The busy time-out is a few seconds; the other instance would have held on for thirty.
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_EQ(holder.state(), QProcess::Running);
    Stop(holder);
    EXPECT_EQ(LoadAccount("mine").Status, "3");
    EXPECT_TRUE(SaveAccount(changed));
    EXPECT_EQ(LoadAccount("mine").Status, "7");
}

TEST_F(TwoInstances, AKeyOpenedForReadingStillTakesWritesAfterTheOtherInstanceCommitted)
{
    using namespace platform;
    HKEY key = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, probe::Relative(MineKey), &key), ERROR_SUCCESS);
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueEx(key, "status", nullptr, nullptr, &size), ERROR_SUCCESS);

    // Meanwhile the other instance saves, and must not have to wait for this open key.
    QProcess writer;
    writer.start(QStringLiteral(QUORVEL_STORE_WRITER), { "shared", "own", "1" });
    ASSERT_TRUE(writer.waitForFinished(20000));
    EXPECT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().data();

    const std::string text = "after";
    EXPECT_EQ(RegSetValueEx(key, "status", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1)), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(LoadAccount("mine").Status, "after");
    EXPECT_EQ(LoadAccount("shared").Status, "st 1");
    EXPECT_EQ(LoadAccount("own").Status, "st 1");
}
