#include "net/NMConst.h"
#include "net/Psock.h"
#include "platform/core/Winsock.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using net::ESockError;
using net::TPowersock;

namespace {

std::vector<std::string> Reported(int reportLevel)
{
    TPowersock s(nullptr);
    std::vector<std::string> got;
    s.ReportLevel = reportLevel;
    s.OnStatus = [&](QObject* sender, const std::string& text) {
        EXPECT_EQ(sender, &s);
        got.push_back(text);
    };
    s.StatusMessage(1, "reply line");
    s.StatusMessage(2, "own level two");
    s.StatusMessage(4, "Sending Buffer");
    s.StatusMessage(8, "Connecting");
    s.StatusMessage(16, "Checking Error In Error Manager");
    s.OnStatus = nullptr;
    return got;
}

} // namespace

TEST(StatusFilter, ReportsTextsUpToTheReportLevel)
{
    EXPECT_TRUE(Reported(0).empty());
    EXPECT_EQ(Reported(2), (std::vector<std::string> { "reply line", "own level two" }));
    EXPECT_EQ(Reported(16).size(), 5U);
    EXPECT_EQ(Reported(7).size(), 3U);
}

TEST(StatusFilter, KeepsTheLastReportedTextEvenWithoutHandler)
{
    TPowersock s(nullptr);
    s.ReportLevel = 8;
    s.StatusMessage(8, "Timer On");
    s.StatusMessage(16, "Checking Error In Error Manager");
    EXPECT_EQ(s.LastStatus, "Timer On");
}

TEST(StatusFilter, DestructionReportsNothingToTheHandler)
{
    std::vector<std::string> got;
    auto s = std::make_unique<TPowersock>(nullptr);
    s->ReportLevel = 16;
    s->OnStatus = [&](QObject*, const std::string& text) { got.push_back(text); };
    s.reset();
    EXPECT_TRUE(got.empty());
}

TEST(ErrorTexts, NumbersBecomeTheirTableText)
{
    TPowersock s(nullptr);
    std::string text = "stale";
    s.LookupErrorMessage(0, text);
    EXPECT_EQ(text, "");
    s.LookupErrorMessage(10061, text);
    EXPECT_EQ(text, "10061:Connection refused");
    s.LookupErrorMessage(10004, text);
    EXPECT_EQ(text, "10004:Interrupted system call");
    s.LookupErrorMessage(11004, text);
    EXPECT_EQ(text, "11004:Valid name, no data record of requested type");
    s.LookupErrorMessage(10072, text);
    EXPECT_EQ(text, "Unknown Error No. 10072");
    s.LookupErrorMessage(65535, text);
    EXPECT_EQ(text, "Unknown Error No. 65535");
}

TEST(ErrorTexts, TheTableHasFiftyRowsInAscendingOrderWithinFiftyOneCharacters)
{
    const auto table = net::SocketErrorTable();
    ASSERT_EQ(table.size(), 50U);
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_LE(table[i].text.size(), 51U);
        if (i > 0) {
            EXPECT_LT(table[i - 1].number, table[i].number);
        }
    }
}

TEST(ErrorManager, ToleratesItsNumberQuietly)
{
    TPowersock s(nullptr);
    bool fired = false;
    s.OnSocketError = [&](QObject*, std::uint16_t, const std::string&) { fired = true; };
    platform::WSASetLastError(10035);
    std::string text = "x";
    EXPECT_NO_THROW(s.ErrorManager(10035, text));
    EXPECT_EQ(text, "");
    EXPECT_EQ(s.LastError, 10035);
    EXPECT_FALSE(fired);
}

TEST(ErrorManager, FiresOnSocketErrorThenRaises)
{
    TPowersock s(nullptr);
    std::vector<std::string> order;
    s.OnSocketError = [&](QObject* sender, std::uint16_t number, const std::string& text) {
        EXPECT_EQ(sender, &s);
        EXPECT_EQ(number, 10061);
        order.push_back("event:" + text);
    };
    platform::WSASetLastError(10061);
    std::string text;
    try {
        s.ErrorManager(10035, text);
        ADD_FAILURE() << "no exception";
    } catch (const ESockError& e) {
        order.push_back(std::string("raised:") + e.what());
    }
    EXPECT_EQ(
        order, (std::vector<std::string> { "event:10061:Connection refused", "raised:10061:Connection refused" }));
}

TEST(ErrorManager, ReportsItsCheckAtLevelSixteenOnly)
{
    TPowersock s(nullptr);
    s.ReportLevel = 16;
    platform::WSASetLastError(10035);
    std::string text;
    s.ErrorManager(10035, text);
    EXPECT_EQ(s.LastStatus, "Checking Error In Error Manager");
}
