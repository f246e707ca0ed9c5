#include "net/NMURL.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Reported {
    QObject* sender;
    std::string operation;
    std::string message;
};

} // namespace

TEST(UrlDecode, PlusAndEscapes)
{
    net::TNMURL url;
    EXPECT_EQ(url.DecodeString("a+b%3Dc"), "a b=c");
    EXPECT_EQ(url.DecodeString("%41%62"), "Ab");
    EXPECT_EQ(url.DecodeString("100%25"), "100%");
    EXPECT_EQ(url.DecodeString("%7e%7E"), "~~");
    EXPECT_EQ(url.DecodeString(""), "");
    EXPECT_EQ(url.DecodeString("plain"), "plain");
}

TEST(UrlDecode, EscapesMayProduceZeroAndHighBytes)
{
    net::TNMURL url;
    EXPECT_EQ(url.DecodeString("a%00b%FF"), std::string("a\0b\xff", 4));
}

TEST(UrlDecode, DecodedStringDecodesInputString)
{
    net::TNMURL url;
    url.InputString = "x+%2B+y";
    EXPECT_EQ(url.DecodedString(), "x + y");
}

TEST(UrlDecode, MalformedEscapeReportsAndReturnsTheInput)
{
    for (const std::string input : { "50%zz", "abc%", "abc%4", "%g1+x", "a+b%3" }) {
        net::TNMURL url;
        std::vector<Reported> reports;
        url.OnError = [&](QObject* sender, const std::string& op, const std::string& msg) {
            reports.push_back({ sender, op, msg });
        };
        EXPECT_EQ(url.DecodeString(input), input) << input;
        ASSERT_EQ(reports.size(), 1U) << input;
        EXPECT_EQ(reports[0].sender, &url);
        EXPECT_EQ(reports[0].operation, "Error during decode");
        EXPECT_NE(reports[0].message.find("is not a valid integer value"), std::string::npos);
    }
}

TEST(UrlDecode, MalformedEscapeWithoutHandlerStillReturnsTheInput)
{
    net::TNMURL url;
    EXPECT_EQ(url.DecodeString("50%zz+1"), "50%zz+1");
}

TEST(UrlDecode, ExceptionFromTheHandlerPropagates)
{
    net::TNMURL url;
    url.OnError = [](QObject*, const std::string&, const std::string&) { throw std::runtime_error("stop"); };
    EXPECT_THROW(url.DecodeString("%q"), std::runtime_error);
}
