#include "settings/SettingsStore.h"

#include "RegistryProbe.h"
#include "settings/KeyPaths.h"
#include "tests/support/TempRegistry.h"

#include <gtest/gtest.h>

using namespace settings;

namespace {

class SettingsStore : public ::testing::Test {
protected:
    testing_support::TempRegistry registry_;
};

} // namespace

TEST_F(SettingsStore, FirstStartFallsBackToTenMinutesWithoutProxy)
{
    const TLoadedSettings s = LoadSettings();
    EXPECT_EQ(s.Delay, "10");
    EXPECT_FALSE(s.Proxy);
    EXPECT_FALSE(s.ProxyHost);
    EXPECT_FALSE(s.ProxyPort);
    EXPECT_TRUE(probe::IsEmptyKey(QuorvelKey));
}

TEST_F(SettingsStore, SavedSettingsLoadBack)
{
    ASSERT_TRUE(SaveSettings({ "25", true, "proxy.local", "8o8o" }));
    const TLoadedSettings s = LoadSettings();
    EXPECT_EQ(s.Delay, "25");
    EXPECT_TRUE(s.Proxy);
    EXPECT_EQ(s.ProxyHost, "proxy.local");
    EXPECT_EQ(s.ProxyPort, "8o8o");
    EXPECT_EQ(probe::AsInt(probe::Get(QuorvelKey, "delay")->bytes), 25);
    EXPECT_EQ(probe::Get(QuorvelKey, "delay")->type, platform::REG_DWORD);
    EXPECT_EQ(probe::AsInt(probe::Get(QuorvelKey, "proxy")->bytes), 1);
    EXPECT_EQ(probe::Get(QuorvelKey, "proxyport")->bytes, std::string("8o8o", 5));
    EXPECT_EQ(probe::Get(QuorvelKey, "proxyport")->type, platform::REG_SZ);
}

TEST_F(SettingsStore, ProxyOffIsStoredAsZeroAndAnyNonZeroReadsAsOn)
{
    ASSERT_TRUE(SaveSettings({ "5", false, "", "" }));
    EXPECT_EQ(probe::AsInt(probe::Get(QuorvelKey, "proxy")->bytes), 0);
    EXPECT_FALSE(LoadSettings().Proxy);
    probe::SetInt(QuorvelKey, "proxy", -7);
    EXPECT_TRUE(LoadSettings().Proxy);
}

TEST_F(SettingsStore, DelayWithoutProxyStillGivesTen)
{
    probe::SetInt(QuorvelKey, "delay", 30);
    probe::SetString(QuorvelKey, "proxyhost", "h");
    const TLoadedSettings s = LoadSettings();
    EXPECT_EQ(s.Delay, "10");
    EXPECT_FALSE(s.Proxy);
    EXPECT_FALSE(s.ProxyHost);
}

TEST_F(SettingsStore, ErrorAfterTheProxyFlagStillTurnsTheProxyOff)
{
    probe::SetInt(QuorvelKey, "delay", 30);
    probe::SetInt(QuorvelKey, "proxy", 1);
    probe::SetString(QuorvelKey, "proxyhost", "h");
    probe::SetInt(QuorvelKey, "proxyport", 8080);
    const TLoadedSettings s = LoadSettings();
    EXPECT_EQ(s.Delay, "10");
    EXPECT_FALSE(s.Proxy);
    EXPECT_EQ(s.ProxyHost, "h");
    EXPECT_FALSE(s.ProxyPort);
}

TEST_F(SettingsStore, ZeroAndNegativeDelaysShowAsStored)
{
    probe::SetInt(QuorvelKey, "proxy", 0);
    probe::SetInt(QuorvelKey, "delay", 0);
    EXPECT_EQ(LoadSettings().Delay, "0");
    probe::SetInt(QuorvelKey, "delay", -5);
    EXPECT_EQ(LoadSettings().Delay, "-5");
}

TEST_F(SettingsStore, NonNumberIntervalKeepsAllFourOldValues)
{
    ASSERT_TRUE(SaveSettings({ "15", true, "old.host", "3128" }));
    EXPECT_FALSE(SaveSettings({ "15 min", false, "new.host", "80" }));
    EXPECT_FALSE(SaveSettings({ "", false, "new.host", "80" }));
    const TLoadedSettings s = LoadSettings();
    EXPECT_EQ(s.Delay, "15");
    EXPECT_TRUE(s.Proxy);
    EXPECT_EQ(s.ProxyHost, "old.host");
    EXPECT_EQ(s.ProxyPort, "3128");
}

TEST_F(SettingsStore, IntervalTextIsReadAsTheFrameworkReadsIntegers)
{
    ASSERT_TRUE(SaveSettings({ "  7", false, "", "" }));
    EXPECT_EQ(LoadSettings().Delay, "7");
    ASSERT_TRUE(SaveSettings({ "-3", false, "", "" }));
    EXPECT_EQ(LoadSettings().Delay, "-3");
}

TEST_F(SettingsStore, ScreenRoundTripsIncludingPositionsOffTheScreen)
{
    ASSERT_TRUE(SaveScreen({ -3000, 5000, 428, 429 }));
    const TLoadedScreen s = LoadScreen();
    EXPECT_EQ(s.Left, -3000);
    EXPECT_EQ(s.Top, 5000);
    EXPECT_EQ(s.Width, 428);
    EXPECT_EQ(s.Height, 429);
    EXPECT_EQ(probe::Counts(ScreenKey), (std::pair<platform::DWORD, platform::DWORD> { 4, 0 }));
}

TEST_F(SettingsStore, OnlyLeftAndTopStored)
{
    probe::SetInt(ScreenKey, "left", 10);
    probe::SetInt(ScreenKey, "top", 20);
    const TLoadedScreen s = LoadScreen();
    EXPECT_EQ(s.Left, 10);
    EXPECT_EQ(s.Top, 20);
    EXPECT_FALSE(s.Width);
    EXPECT_FALSE(s.Height);
}

TEST_F(SettingsStore, ScreenLoadStopsAtTheFirstBadValue)
{
    probe::SetInt(ScreenKey, "left", 10);
    probe::SetString(ScreenKey, "top", "20");
    probe::SetInt(ScreenKey, "width", 300);
    probe::SetInt(ScreenKey, "height", 200);
    const TLoadedScreen s = LoadScreen();
    EXPECT_EQ(s.Left, 10);
    EXPECT_FALSE(s.Top);
    EXPECT_FALSE(s.Width);
}

TEST_F(SettingsStore, StoreThatCannotBeOpenedGivesTheFallbacks)
{
    setenv("QUORVEL_REGISTRY", "/proc/quorvel-no-such-place/registry.sqlite3", 1);
    const TLoadedSettings s = LoadSettings();
    EXPECT_EQ(s.Delay, "10");
    EXPECT_FALSE(s.ProxyHost);
    EXPECT_FALSE(SaveSettings({ "5", false, "", "" }));
    EXPECT_FALSE(LoadScreen().Left);
    EXPECT_FALSE(SaveScreen({ 1, 2, 3, 4 }));
}
