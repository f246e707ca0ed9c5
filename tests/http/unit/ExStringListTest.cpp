#include "net/NMExtstr.h"

#include <gtest/gtest.h>

using net::TExStringList;

namespace {

TExStringList Lines(std::initializer_list<const char*> lines)
{
    TExStringList list;
    for (const char* line : lines)
        list.Add(line);
    return list;
}

} // namespace

TEST(ExStringList, IndexOfFieldIgnoresLetterCaseAndFindsTheFirst)
{
    const auto list = Lines({ "GET / HTTP/1.0", "Accept: a", "Host: a", "host: b" });
    EXPECT_EQ(list.IndexOfField("host"), 2);
    EXPECT_EQ(list.IndexOfField("HOST"), 2);
    EXPECT_EQ(list.IndexOfField("accept"), 1);
    EXPECT_EQ(list.IndexOfField("Cookie"), -1);
}

TEST(ExStringList, LineWithoutColonNeverMatches)
{
    const auto list = Lines({ "Host", "Hostname: x", "Host: y" });
    EXPECT_EQ(list.IndexOfField("Host"), 2);
    EXPECT_EQ(Lines({ "Host" }).IndexOfField("Host"), -1);
    // The key is the text before the first colon, not a prefix of it.
    EXPECT_EQ(Lines({ "Hostname: x" }).IndexOfField("Host"), -1);
    EXPECT_EQ(Lines({ "A:b:c" }).IndexOfField("A"), 0);
    EXPECT_EQ(Lines({ "A:b:c" }).IndexOfField("A:b"), -1);
}

TEST(ExStringList, SetFieldReplacesInPlaceWithTheCallersLetterCase)
{
    auto list = Lines({ "GET / HTTP/1.0", "host: old", "Accept: x" });
    list.SetField("Host", "new");
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[1], "Host: new");
    EXPECT_EQ(list[2], "Accept: x");
}

TEST(ExStringList, SetFieldAppendsWhenAbsent)
{
    auto list = Lines({ "GET / HTTP/1.0" });
    list.SetField("Cookie", "a=1; b=2");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[1], "Cookie: a=1; b=2");
}

TEST(ExStringList, SetFieldWithEmptyValueDeletesOrDoesNothing)
{
    auto list = Lines({ "GET / HTTP/1.0", "Host: a", "Accept: x" });
    list.SetField("Cookie", "");
    EXPECT_EQ(list.Count(), 3);
    list.SetField("HOST", "");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[0], "GET / HTTP/1.0");
    EXPECT_EQ(list[1], "Accept: x");
}

TEST(ExStringList, SortedListSearchesByHalving)
{
    TExStringList list;
    list.SetSorted(true);
    for (const char* line : { "Zeta: 1", "alpha: 2", "Mid: 3", "Beta: 4", "nocolon", "Omega: 5", "Gamma: 6" })
        list.Add(line);
    // A line without a colon has an empty key and sorts first.
    auto key = [](const std::string& line) {
        const auto colon = line.find(':');
        return colon == std::string::npos ? std::string() : line.substr(0, colon);
    };
    EXPECT_EQ(list[0], "nocolon");
    for (int i = 1; i < list.Count(); ++i)
        EXPECT_LT(net::AnsiCompareText(key(list[i - 1]), key(list[i])), 0);
    EXPECT_EQ(list[list.IndexOfField("ALPHA")], "alpha: 2");
    EXPECT_EQ(list[list.IndexOfField("gamma")], "Gamma: 6");
    EXPECT_EQ(list[list.IndexOfField("zeta")], "Zeta: 1");
    EXPECT_EQ(list.IndexOfField("Delta"), -1);
    list.SetField("Delta", "7");
    EXPECT_EQ(list[list.IndexOfField("delta")], "Delta: 7");
    list.SetField("mid", "");
    EXPECT_EQ(list.IndexOfField("Mid"), -1);
}

TEST(ExStringList, TextEndsEveryLineWithCrLf)
{
    EXPECT_EQ(Lines({ "a", "", "b" }).Text(), "a\r\n\r\nb\r\n");
    EXPECT_EQ(TExStringList().Text(), "");
}
