#include "platform/core/Exceptions.h"
#include "platform/core/StrToInt.h"

#include <gtest/gtest.h>

using platform::EConvertError;
using platform::StrToInt;

TEST(StrToInt, ReadsSignedDecimals)
{
    EXPECT_EQ(StrToInt("10"), 10);
    EXPECT_EQ(StrToInt("-5"), -5);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("  42"), 42);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
}

TEST(StrToInt, RefusesTextsThatAreNotIntegers)
{
    for (const char* bad : {"", " ", "-", "+", "12a", "1 2", "9 ", "abc", "2147483648", "-2147483649",
                            "99999999999999999999", "1.5"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message, std::string("'") + bad + "' is not a valid integer value");
        }
    }
}
