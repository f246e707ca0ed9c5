#include "settings/NotifySetting.h"

#include "settings/KeyPaths.h"
#include "settings/RegistryAccessor.h"
#include "tests/support/TempRegistry.h"

#include <gtest/gtest.h>

using settings::LoadNotify;
using settings::RegistryAccessor;

namespace {

class NotifySetting : public ::testing::Test {
protected:
    static void StoreInteger(int value)
    {
        RegistryAccessor reg;
        ASSERT_TRUE(reg.OpenKey(settings::QuorvelKey, true));
        reg.WriteInteger("notify", value);
        reg.CommitKey();
    }

    testing_support::TempRegistry registry_;
};

} // namespace

TEST_F(NotifySetting, OnWhenNothingIsStored)
{
    EXPECT_TRUE(LoadNotify());
}

TEST_F(NotifySetting, ZeroTurnsItOffAndAnyOtherNumberOn)
{
    StoreInteger(0);
    EXPECT_FALSE(LoadNotify());
    StoreInteger(1);
    EXPECT_TRUE(LoadNotify());
    StoreInteger(-1);
    EXPECT_TRUE(LoadNotify());
}

TEST_F(NotifySetting, AValueOfTheWrongTypeCountsAsOn)
{
    RegistryAccessor reg;
    ASSERT_TRUE(reg.OpenKey(settings::QuorvelKey, true));
    reg.WriteString("notify", "0");
    reg.CommitKey();
    EXPECT_TRUE(LoadNotify());
}

TEST_F(NotifySetting, ReadingCreatesNothing)
{
    EXPECT_TRUE(LoadNotify());
    RegistryAccessor reg;
    EXPECT_FALSE(reg.OpenKey(settings::QuorvelKey, false));
}
