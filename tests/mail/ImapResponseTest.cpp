#include "net/ImapResponse.h"

#include <gtest/gtest.h>

using namespace net::imap;

namespace {

struct Row {
    const char* text;
    Kind kind;
    Condition condition;
    const char* tag;
    const char* keyword;
    const char* responseText;
};

class ResponseForms : public ::testing::TestWithParam<Row> { };

TEST_P(ResponseForms, AreRead)
{
    const Row& row = GetParam();
    const Response r = ParseResponse(row.text);
    EXPECT_EQ(r.kind, row.kind) << row.text;
    if (row.kind == Kind::Invalid)
        return;
    EXPECT_EQ(r.condition, row.condition) << row.text;
    EXPECT_EQ(r.tag, row.tag) << row.text;
    EXPECT_EQ(r.keyword, row.keyword) << row.text;
    EXPECT_EQ(r.text, row.responseText) << row.text;
}

INSTANTIATE_TEST_SUITE_P(Table, ResponseForms,
    ::testing::Values(Row { "* OK Dovecot ready.", Kind::Untagged, Condition::Ok, "", "", "Dovecot ready." },
        Row { "* ok lower case", Kind::Untagged, Condition::Ok, "", "", "lower case" },
        Row { "* PREAUTH logged in", Kind::Untagged, Condition::Preauth, "", "", "logged in" },
        Row { "* BYE Server shutting down", Kind::Untagged, Condition::Bye, "", "", "Server shutting down" },
        Row { "* OK", Kind::Untagged, Condition::Ok, "", "", "" },
        Row { "Q1 OK [READ-WRITE] done", Kind::Tagged, Condition::Ok, "Q1", "", "done" },
        Row { "Q2 NO [AUTHENTICATIONFAILED] Authentication failed.", Kind::Tagged, Condition::No, "Q2", "",
            "Authentication failed." },
        Row { "Q3 BAD Error in IMAP command", Kind::Tagged, Condition::Bad, "Q3", "", "Error in IMAP command" },
        Row { "+ ", Kind::Continuation, Condition::None, "", "", "" },
        Row { "+", Kind::Continuation, Condition::None, "", "", "" },
        Row { "+ Ready for literal data", Kind::Continuation, Condition::None, "", "", "Ready for literal data" },
        Row { "* 23 EXISTS", Kind::Untagged, Condition::None, "", "EXISTS", "" },
        Row { "* FLAGS (\\Answered \\Seen)", Kind::Untagged, Condition::None, "", "FLAGS", "" },
        // A tag can be no status word other than OK, NO or BAD.
        Row { "Q1 BYE not a tagged form", Kind::Invalid, Condition::None, "", "", "" },
        Row { "Q1 PREAUTH no", Kind::Invalid, Condition::None, "", "", "" },
        Row { "Q1 MAYBE", Kind::Invalid, Condition::None, "", "", "" },
        Row { "", Kind::Invalid, Condition::None, "", "", "" }, Row { "*", Kind::Invalid, Condition::None, "", "", "" },
        Row { "* ", Kind::Invalid, Condition::None, "", "", "" },
        Row { "Q1", Kind::Invalid, Condition::None, "", "", "" },
        Row { "+tag OK", Kind::Invalid, Condition::None, "", "", "" },
        Row { "* 4294967296 EXISTS", Kind::Invalid, Condition::None, "", "", "" }));

TEST(Capabilities, FromDataAndFromResponseCodesInCapitals)
{
    const Response data = ParseResponse("* CAPABILITY IMAP4rev1 starttls AUTH=PLAIN SASL-IR");
    ASSERT_TRUE(data.hasCapabilities);
    EXPECT_EQ(data.capabilities, (std::vector<std::string> { "IMAP4REV1", "STARTTLS", "AUTH=PLAIN", "SASL-IR" }));

    const Response greeting = ParseResponse("* OK [CAPABILITY IMAP4rev1 LOGINDISABLED STARTTLS] Ready.");
    EXPECT_EQ(greeting.condition, Condition::Ok);
    ASSERT_TRUE(greeting.hasCapabilities);
    EXPECT_TRUE(HasCapability(greeting.capabilities, "logindisabled"));
    EXPECT_FALSE(HasCapability(greeting.capabilities, "AUTH=PLAIN"));
    EXPECT_EQ(greeting.text, "Ready.");

    // Other response codes are no capability list.
    EXPECT_FALSE(ParseResponse("* OK [ALERT] AUTH=PLAIN soon").hasCapabilities);
    EXPECT_FALSE(ParseResponse("* OK [CAPABILITY IMAP4rev1 unterminated").hasCapabilities);
}

TEST(StatusData, CountsNamesAndLiterals)
{
    Response r = ParseResponse("* STATUS INBOX (MESSAGES 5 UNSEEN 3)");
    ASSERT_EQ(r.kind, Kind::Untagged);
    EXPECT_EQ(r.keyword, "STATUS");
    EXPECT_EQ(r.mailbox, "INBOX");
    EXPECT_EQ(StatusItem(r, "UNSEEN"), 3U);
    EXPECT_EQ(StatusItem(r, "messages"), 5U);
    EXPECT_FALSE(StatusItem(r, "RECENT"));

    r = ParseResponse("* STATUS \"Sent \\\"old\\\" \\\\ box\" (unseen 70000)");
    EXPECT_EQ(r.mailbox, "Sent \"old\" \\ box");
    EXPECT_EQ(StatusItem(r, "UNSEEN"), 70000U);

    r = ParseResponse("* STATUS {9}\r\nWork (a)] (UNSEEN 4294967295)");
    EXPECT_EQ(r.kind, Kind::Untagged);
    EXPECT_EQ(r.mailbox, "Work (a)]");
    EXPECT_EQ(StatusItem(r, "UNSEEN"), 4294967295U);

    // A 64-bit item beside it is passed over, not misread.
    r = ParseResponse("* STATUS INBOX (HIGHESTMODSEQ 18446744073709551615 UNSEEN 2)");
    EXPECT_EQ(StatusItem(r, "UNSEEN"), 2U);
    EXPECT_FALSE(StatusItem(r, "HIGHESTMODSEQ"));

    EXPECT_TRUE(ParseResponse("* STATUS INBOX ()").statusItems.empty());
}

TEST(StatusData, BrokenFormsAreInvalid)
{
    for (const char* text : { "* STATUS INBOX (UNSEEN)", "* STATUS INBOX (UNSEEN x)", "* STATUS INBOX UNSEEN 3",
             "* STATUS INBOX (UNSEEN 3", "* STATUS {20}\r\nINBOX (UNSEEN 3)", "* STATUS {5}\r\nINBOX",
             "* STATUS \"INBOX (UNSEEN 3)", "* STATUS", "* STATUS {x}\r\nINBOX (UNSEEN 3)" })
        EXPECT_EQ(ParseResponse(text).kind, Kind::Invalid) << text;
}

TEST(LowLevel, ReadersMoveTheOffsetOnlyOnSuccess)
{
    std::size_t at = 0;
    const std::string text = "abc \"q\\\"\" {3}\r\nx y 42 4294967296";
    EXPECT_EQ(ReadAtom(text, at), "abc");
    EXPECT_EQ(at, 3U);
    EXPECT_FALSE(ReadAtom(text, at));
    EXPECT_EQ(at, 3U);
    EXPECT_TRUE(ReadSpace(text, at));
    EXPECT_EQ(ReadString(text, at), "q\"");
    EXPECT_TRUE(ReadSpace(text, at));
    EXPECT_EQ(ReadAstring(text, at), "x y");
    EXPECT_TRUE(ReadSpace(text, at));
    EXPECT_EQ(ReadNumber(text, at), 42U);
    EXPECT_TRUE(ReadSpace(text, at));
    const std::size_t before = at;
    EXPECT_FALSE(ReadNumber(text, at));
    EXPECT_EQ(at, before);

    // A quoted string cannot span lines, nor escape other characters.
    at = 0;
    EXPECT_FALSE(ReadString("\"a\r\nb\"", at));
    EXPECT_FALSE(ReadString("\"a\\nb\"", at));
    EXPECT_EQ(at, 0U);
}

TEST(Literals, TrailingSizeOfALine)
{
    EXPECT_EQ(TrailingLiteral("* STATUS {5}"), 5U);
    EXPECT_EQ(TrailingLiteral("* STATUS {5}\r\n"), 5U);
    EXPECT_EQ(TrailingLiteral("x {0}"), 0U);
    EXPECT_FALSE(TrailingLiteral("* OK {5} later"));
    EXPECT_FALSE(TrailingLiteral("* OK {}"));
    EXPECT_FALSE(TrailingLiteral("* OK {5a}"));
    EXPECT_FALSE(TrailingLiteral("* OK {99999999999}"));
    EXPECT_FALSE(TrailingLiteral("}"));
}

TEST(Arguments, QuotedWhenEveryByteFits)
{
    EXPECT_EQ(QuotedString("anna@example.org"), "\"anna@example.org\"");
    EXPECT_EQ(QuotedString("a \"b\" \\c"), "\"a \\\"b\\\" \\\\c\"");
    EXPECT_EQ(QuotedString(""), "\"\"");
    EXPECT_FALSE(QuotedString("gr\xc3\xbc\xc3\x9f"));
    EXPECT_FALSE(QuotedString("a\rb"));
    EXPECT_FALSE(QuotedString(std::string("a\0b", 3)));
}

} // namespace
