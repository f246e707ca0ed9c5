#include "settings/unitCrypt.h"

#include <gtest/gtest.h>

using settings::ScrambleString;
using settings::UnscrambleString;

namespace {

std::string Bytes(std::initializer_list<unsigned> values)
{
    std::string s;
    for (unsigned v : values)
        s += static_cast<char>(v);
    return s;
}

std::string Hex(const std::string& s)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (char c : s) {
        out += digits[static_cast<unsigned char>(c) >> 4];
        out += digits[static_cast<unsigned char>(c) & 15];
    }
    return out;
}

} // namespace

TEST(unitCrypt, EmptyTextStaysEmpty)
{
    for (int seed : { 0, 1, 255, 256, 0xBEEF, 65534, 65535, -1 })
        EXPECT_EQ(ScrambleString("", seed), "") << seed;
    EXPECT_EQ(UnscrambleString("", 1234), "");
}

TEST(unitCrypt, KnownVectors)
{
    // Worked out by hand: s = 0x0100, 'A' ^ 0x01 = 0x40, s = (0x140 * 0xA3B5 + 0x3C71) mod 2^16
    // = 0xDEB1, 'B' ^ 0xDE = 0x9C.
    EXPECT_EQ(ScrambleString("AB", 256), Bytes({ 0x40, 0x9C }));
    EXPECT_EQ(Hex(ScrambleString("Hotmail password", 0xBEEF)), "f6d72b957756e434fc5cb89408ff9e84");
}

TEST(unitCrypt, FirstByteIsXoredWithTheSeedsHighByte)
{
    for (int seed : { 0x0000, 0x00FF, 0x0100, 0x7F3A, 0xA500, 0xFFFF }) {
        const std::string out = ScrambleString("Zebra", seed);
        EXPECT_EQ(static_cast<unsigned char>(out[0]), static_cast<unsigned char>('Z' ^ (seed >> 8))) << seed;
    }
    EXPECT_EQ(ScrambleString("Q", 0)[0], 'Q');
    EXPECT_EQ(ScrambleString("Q", 255)[0], 'Q');
    EXPECT_NE(ScrambleString("Q", 256)[0], 'Q');
}

TEST(unitCrypt, OnlyTheLow16BitsOfTheSeedCount)
{
    const std::string text = "p4ssw0rd with some length";
    const std::string reference = ScrambleString(text, 0x1234);
    EXPECT_EQ(ScrambleString(text, 0x51234), reference);
    EXPECT_EQ(ScrambleString(text, 0x7FFF1234), reference);
    EXPECT_EQ(ScrambleString(text, static_cast<std::int32_t>(0xFFFF1234u)), reference);
    EXPECT_EQ(UnscrambleString(reference, static_cast<std::int32_t>(0x80001234u)), text);
    EXPECT_NE(ScrambleString(text, 0x1235), reference);
}

TEST(unitCrypt, RoundTripsEveryByteValueUnderManySeeds)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    for (int seed = 0; seed < 65536; seed += 257) {
        const std::string scrambled = ScrambleString(all, seed);
        ASSERT_EQ(scrambled.size(), all.size());
        ASSERT_EQ(UnscrambleString(scrambled, seed), all) << seed;
    }
}

TEST(unitCrypt, AChangedScrambledByteSpoilsOnlyItselfAndWhatFollows)
{
    const std::string plain = "The quick brown fox jumps over the lazy dog";
    const int seed = 4242;
    std::string scrambled = ScrambleString(plain, seed);
    const std::size_t at = 10;
    scrambled[at] = static_cast<char>(scrambled[at] ^ 0x5A);
    const std::string back = UnscrambleString(scrambled, seed);
    EXPECT_EQ(back.substr(0, at), plain.substr(0, at));
    EXPECT_NE(back[at], plain[at]);
    std::size_t changedAfter = 0;
    for (std::size_t i = at + 1; i < plain.size(); ++i)
        changedAfter += back[i] != plain[i];
    // Through the feedback nearly every later byte differs; a few may match by chance.
    EXPECT_GE(changedAfter, (plain.size() - at - 1) * 8 / 10);
}

TEST(unitCrypt, LongTextIsScrambledThroughout)
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += static_cast<char>((i * 7 + 3) % 256);
    const std::string out = ScrambleString(text, 12345);
    ASSERT_EQ(out.size(), 300u);
    EXPECT_EQ(Hex(out.substr(0, 4)), "3336593c");
    EXPECT_EQ(Hex(out.substr(292)), "0e9b6a6746bed441");
    std::size_t same = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        same += out[i] == text[i];
    EXPECT_LE(same, 6u);
    EXPECT_EQ(UnscrambleString(out, 12345), text);
}

TEST(unitCrypt, ZeroBytesAreOrdinaryBytes)
{
    const std::string plain("a\0b\0", 4);
    const std::string scrambled = ScrambleString(plain, 0x3000);
    EXPECT_EQ(scrambled.size(), 4u);
    EXPECT_EQ(UnscrambleString(scrambled, 0x3000), plain);
    // Some seed scrambles "secret" into a text with a zero byte; it still comes back whole.
    int withZero = -1;
    for (int seed = 0; seed < 65535 && withZero < 0; ++seed)
        if (ScrambleString("secret", seed).find('\0') != std::string::npos)
            withZero = seed;
    ASSERT_GE(withZero, 0);
    EXPECT_FALSE(settings::ScramblesWithoutZeroByte("secret", withZero));
    EXPECT_TRUE(settings::ScramblesWithoutZeroByte("secret", withZero + 1)
        == (ScrambleString("secret", withZero + 1).find('\0') == std::string::npos));
    EXPECT_TRUE(settings::ScramblesWithoutZeroByte("", withZero));
    EXPECT_EQ(UnscrambleString(ScrambleString("secret", withZero), withZero), "secret");
}

TEST(unitCrypt, InputIsLeftAlone)
{
    const std::string plain = "unchanged";
    std::string copy = plain;
    (void)ScrambleString(copy, 999);
    (void)UnscrambleString(copy, 999);
    EXPECT_EQ(copy, plain);
}
