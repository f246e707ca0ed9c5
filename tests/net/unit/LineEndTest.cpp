// The one line finder, over every way a line may end or not yet have ended.
#include "net/LineEnd.h"

#include <gtest/gtest.h>

#include <string>

using net::FindLine;

namespace {

struct LineCase {
    const char* name;
    std::string bytes;
    std::size_t searched;
    // npos: no line yet.
    std::size_t text;
    std::size_t whole;
};

constexpr std::size_t kNone = std::string::npos;

const std::string kLong = std::string(1 << 20, 'x') + "\r\n";

const LineCase kCases[] = {
    { "CarriageReturnAndLineFeed", "* OK ready\r\nnext", 0, 10, 12 },
    { "BareLineFeed", "+OK\nnext", 0, 3, 4 },
    { "EmptyLine", "\r\n", 0, 0, 2 },
    { "EmptyLineBareFeed", "\n", 0, 0, 1 },
    { "NoLineFeedYet", "* OK rea", 0, kNone, kNone },
    { "CarriageReturnAloneIsNoEnd", "* OK\r", 0, kNone, kNone },
    { "CarriageReturnInsideIsText", "a\rb\n", 0, 3, 4 },
    { "OnlyTheFirstLine", "a\r\nb\r\n", 0, 1, 3 },
    // The second receive of a line cut in two: the first receive's bytes are not searched again.
    { "CutAcrossTwoReceives",
        "* OK re"
        "ady\r\n",
        7, 10, 12 },
    { "CutBetweenReturnAndFeed",
        "* OK\r"
        "\n",
        5, 4, 6 },
    // A line feed among bytes said to be searched is not looked for again.
    { "FeedBeforeTheSearchedPartIsNotSeenAgain", "a\nbc", 2, kNone, kNone },
    { "SearchedPastTheEnd", "abc", 10, kNone, kNone },
    // Limits on length are each reader's own: the finder finds a long line whole.
    { "OverlongLine", kLong, 0, kLong.size() - 2, kLong.size() },
};

class LineEnd : public ::testing::TestWithParam<LineCase> { };

TEST_P(LineEnd, FindsTheFirstLine)
{
    const LineCase& c = GetParam();
    const auto line = FindLine(c.bytes, c.searched);
    if (c.text == kNone) {
        EXPECT_FALSE(line);
        return;
    }
    ASSERT_TRUE(line);
    EXPECT_EQ(line->text, c.text);
    EXPECT_EQ(line->whole, c.whole);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineEnd, ::testing::ValuesIn(kCases),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

} // namespace
