#include "app/InterpretPage.h"

#include "platform/core/Exceptions.h"

#include <gtest/gtest.h>

using app::InterpretPage;

namespace {

int Hotmail(const std::string& page)
{
    return InterpretPage(page, "Login Failed", "messages,", 10);
}

std::string ConversionError(const std::string& page)
{
    try {
        Hotmail(page);
    } catch (const platform::EConvertError& e) {
        return e.Message;
    }
    return "no error";
}

} // namespace

TEST(InterpretPage, BlankThenCountThenWord)
{
    EXPECT_EQ(Hotmail("<p>Inbox messages, 3 new</p>"), 3);
}

TEST(InterpretPage, TwoBlanksBeforeTwoDigits)
{
    EXPECT_EQ(Hotmail("messages,  45 unread"), 45);
}

TEST(InterpretPage, LineEndBeforeTheCount)
{
    EXPECT_EQ(Hotmail("messages,\r\n7 "), 7);
}

TEST(InterpretPage, FailTextWinsOverSearchText)
{
    EXPECT_EQ(Hotmail("messages, 3 new ... Login Failed"), -1);
    EXPECT_EQ(Hotmail("Login Failed"), -1);
}

TEST(InterpretPage, MissingSearchText)
{
    EXPECT_EQ(Hotmail("<html>welcome</html>"), -2);
    EXPECT_EQ(Hotmail(""), -2);
}

TEST(InterpretPage, CaseMatters)
{
    EXPECT_EQ(Hotmail("Login failed messages, 2 new"), 2);
    EXPECT_EQ(Hotmail("Messages, 2 new"), -2);
}

TEST(InterpretPage, AtMostFiveDigits)
{
    EXPECT_EQ(Hotmail("messages, 1234567"), 12345);
    EXPECT_EQ(Hotmail("messages, 00042"), 42);
    EXPECT_EQ(Hotmail("messages, 99999 new"), 99999);
}

TEST(InterpretPage, CountAtTheVeryEndOfThePage)
{
    EXPECT_EQ(Hotmail("messages, 8"), 8);
    EXPECT_EQ(Hotmail("messages, 12"), 12);
}

TEST(InterpretPage, DigitsStopAtTheFirstOtherCharacter)
{
    EXPECT_EQ(Hotmail("messages, 3new"), 3);
    EXPECT_EQ(Hotmail("messages, 4,5"), 4);
}

TEST(InterpretPage, DigitRightAfterTheCommaIsSkipped)
{
    // The window starts two characters after the comma: "9 new" loses its 9.
    EXPECT_EQ(ConversionError("messages,9 new"), "'' is not a valid integer value");
    EXPECT_EQ(Hotmail("messages,91 new"), 1);
}

TEST(InterpretPage, NoNumberIsAConversionError)
{
    EXPECT_EQ(ConversionError("messages, none"), "'' is not a valid integer value");
    EXPECT_EQ(ConversionError("messages,"), "'' is not a valid integer value");
    EXPECT_EQ(ConversionError("messages, "), "'' is not a valid integer value");
    EXPECT_EQ(ConversionError("messages,      7"), "'' is not a valid integer value");
}

TEST(InterpretPage, ZeroBytesAreCharactersLikeAnyOther)
{
    const std::string page("a\0b messages, 6 new", 19);
    EXPECT_EQ(Hotmail(page), 6);
    const std::string failed("x\0Login Failed", 14);
    EXPECT_EQ(Hotmail(failed), -1);
}

TEST(InterpretPage, FirstOccurrenceCounts)
{
    EXPECT_EQ(Hotmail("messages, 1 new; messages, 2 new"), 1);
}

TEST(InterpretPage, OtherRuleOffsets)
{
    // Offset 12 after an eleven-character search text skips one character, as 10 does after nine.
    EXPECT_EQ(InterpretPage("You have message(s), 5 waiting", "messages in this folder.", "message(s),", 12), 5);
    EXPECT_EQ(
        InterpretPage("There are no messages in this folder.", "messages in this folder.", "message(s),", 12), -1);
}

TEST(InterpretPage, OffsetsOutsideThePage)
{
    EXPECT_THROW(InterpretPage("abc", "zzz", "abc", 50), platform::EConvertError);
    EXPECT_EQ(InterpretPage("12abc", "zzz", "abc", -10), 12);
}
