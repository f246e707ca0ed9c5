#include "platform/core/Text.h"

#include <gtest/gtest.h>

using platform::DecodeUtf8;

TEST(DecodeUtf8, GivesTheCodePointsOfEachSequenceLength)
{
    EXPECT_EQ(DecodeUtf8(""), std::u32string());
    EXPECT_EQ(DecodeUtf8("Inbox"), U"Inbox");
    EXPECT_EQ(DecodeUtf8("\xC3\xA9t\xC3\xA9"), U"\u00E9t\u00E9");
    EXPECT_EQ(DecodeUtf8("\xE2\x82\xAC"), U"\u20AC");
    EXPECT_EQ(DecodeUtf8("\xF0\x9D\x84\x9E"), U"\U0001D11E");
    EXPECT_EQ(DecodeUtf8("\xF4\x8F\xBF\xBF"), U"\U0010FFFF");
}

TEST(DecodeUtf8, RefusesWhatNoEncoderWrites)
{
    for (const char* bad : {
             "\xC0\x80", // overlong NUL
             "\xE0\x80\xAF", // overlong '/'
             "\xED\xA0\x80", // a surrogate
             "\xF4\x90\x80\x80", // above U+10FFFF
             "\x80", // a continuation byte alone
             "a\xE2\x82", // cut short at the end
             "\xE2\x28\xA1", // a lead byte followed by ASCII
             "\xF8\x88\x80\x80\x80", // five-byte form
         })
        EXPECT_FALSE(DecodeUtf8(bad)) << bad;
}

TEST(AsciiUpper, RaisesOnlyAsciiLetters)
{
    EXPECT_EQ(platform::AsciiUpper("idle Capability 9z"), "IDLE CAPABILITY 9Z");
    EXPECT_EQ(platform::AsciiUpper("stra\xC3\x9F"
                                   "e \xC3\xA9"),
        "STRA\xC3\x9F"
        "E \xC3\xA9");
}

TEST(HexDigitValue, ReadsBothCasesAndNothingAroundThem)
{
    const std::pair<char, int> digits[]
        = { { '0', 0 }, { '9', 9 }, { 'a', 10 }, { 'f', 15 }, { 'A', 10 }, { 'F', 15 } };
    for (const auto& [c, value] : digits)
        EXPECT_EQ(platform::HexDigitValue(c), value) << c;
    // The neighbours of each range in ASCII, and a byte above it.
    for (const char c : { '/', ':', '@', 'G', '`', 'g', ' ', '\0', '\xC3' })
        EXPECT_FALSE(platform::HexDigitValue(c)) << int(c);
}
