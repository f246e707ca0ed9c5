// The switches read at start-up, "notify" and "push": on unless stored as a REG_DWORD 0.
#include "settings/NotifySetting.h"

#include "settings/KeyPaths.h"
#include "settings/PushSetting.h"
#include "settings/RegistryAccessor.h"
#include "tests/support/TempRegistry.h"

#include <gtest/gtest.h>

using settings::RegistryAccessor;

namespace {

struct Switch {
    const char* name;
    bool (*load)();
};

class NotifySetting : public ::testing::TestWithParam<Switch> {
protected:
    static void StoreInteger(int value)
    {
        RegistryAccessor reg;
        ASSERT_TRUE(reg.OpenKey(settings::QuorvelKey, true));
        reg.WriteInteger(GetParam().name, value);
        reg.CommitKey();
    }
    static bool LoadNotify() { return GetParam().load(); }

    testing_support::TempRegistry registry_;
};

} // namespace

TEST_P(NotifySetting, OnWhenNothingIsStored)
{
    EXPECT_TRUE(LoadNotify());
}

TEST_P(NotifySetting, ZeroTurnsItOffAndAnyOtherNumberOn)
{
    StoreInteger(0);
    EXPECT_FALSE(LoadNotify());
    StoreInteger(1);
    EXPECT_TRUE(LoadNotify());
    StoreInteger(-1);
    EXPECT_TRUE(LoadNotify());
}

TEST_P(NotifySetting, AValueOfTheWrongTypeCountsAsOn)
{
    RegistryAccessor reg;
    ASSERT_TRUE(reg.OpenKey(settings::QuorvelKey, true));
    reg.WriteString(GetParam().name, "0");
    reg.CommitKey();
    EXPECT_TRUE(LoadNotify());
}

TEST_P(NotifySetting, ReadingCreatesNothing)
{
    EXPECT_TRUE(LoadNotify());
    RegistryAccessor reg;
    EXPECT_FALSE(reg.OpenKey(settings::QuorvelKey, false));
}

INSTANTIATE_TEST_SUITE_P(Values, NotifySetting,
    testing::Values(Switch { "notify", settings::LoadNotify }, Switch { "push", settings::LoadPush }),
    [](const testing::TestParamInfo<Switch>& info) { return std::string(info.param.name); });
