#include "net/NMUUE.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Encode(const std::string& source, net::UUMethods method, std::vector<std::string>* events = nullptr)
{
    std::stringstream in(source);
    std::stringstream out;
    net::TNMUUProcessor uu;
    uu.Method = method;
    uu.SourceStream = &in;
    uu.TargetStream = &out;
    if (events) {
        uu.OnBeginEncode = [&](QObject* s) { events->push_back(s == &uu ? "begin" : "begin?"); };
        uu.OnEndEncode = [&](QObject* s) {
            // The target is rewound before the end is announced.
            events->push_back(s == &uu && out.tellg() == 0 ? "end" : "end?");
        };
    }
    in.seekg(2 > source.size() ? 0 : 2); // Encode must start from the beginning whatever the position
    uu.Encode();
    return out.str();
}

} // namespace

TEST(UUProcessor, MimeVectors)
{
    EXPECT_EQ(Encode("abc", net::uuMime), "YWJj\r\n");
    EXPECT_EQ(Encode("ab", net::uuMime), "YWI=\r\n");
    EXPECT_EQ(Encode("a", net::uuMime), "YQ==\r\n");
    EXPECT_EQ(Encode("", net::uuMime), "");
    EXPECT_EQ(Encode("user:pass", net::uuMime), "dXNlcjpwYXNz\r\n");
    EXPECT_EQ(Encode(std::string("\0\xff\xfe", 3), net::uuMime), "AP/+\r\n");
}

TEST(UUProcessor, MimeBreaksLinesAfter45Bytes)
{
    const std::string source(46, 'a');
    const std::string encoded = Encode(source, net::uuMime);
    const auto first = encoded.find("\r\n");
    ASSERT_EQ(first, 60U);
    EXPECT_EQ(encoded.substr(0, 4), "YWFh");
    EXPECT_EQ(encoded.substr(62), "YQ==\r\n");

    const std::string exact = Encode(std::string(90, 'a'), net::uuMime);
    EXPECT_EQ(exact.size(), 2 * 62U);
}

TEST(UUProcessor, UUCodeVectors)
{
    EXPECT_EQ(Encode("abc", net::uuCode), "#86)C\r\n`\r\n");
    EXPECT_EQ(Encode("", net::uuCode), "`\r\n");
    // Zero bits are written as the grave accent, never as a space; no padding.
    EXPECT_EQ(Encode(std::string("\0", 1), net::uuCode), "!``\r\n`\r\n");
    EXPECT_EQ(Encode("ab", net::uuCode), "\"86(\r\n`\r\n");
    const std::string full = Encode(std::string(45, 'a'), net::uuCode);
    EXPECT_EQ(full.find("\r\n"), 61U);
    EXPECT_EQ(full[0], 'M');
}

TEST(UUProcessor, EventsAroundEncoding)
{
    std::vector<std::string> events;
    Encode("abc", net::uuMime, &events);
    EXPECT_EQ(events, (std::vector<std::string> { "begin", "end" }));
}
