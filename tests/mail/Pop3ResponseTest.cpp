#include "net/Pop3Response.h"

#include <gtest/gtest.h>

using namespace net::pop3;

namespace {

TEST(Pop3Status, OkAndErrWithTheirTexts)
{
    auto s = ParseStatus("+OK Dovecot ready.");
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->ok);
    EXPECT_EQ(s->text, "Dovecot ready.");

    s = ParseStatus("+OK");
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->ok);
    EXPECT_EQ(s->text, "");

    s = ParseStatus("-ERR [AUTH] Authentication failed.");
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->ok);
    EXPECT_EQ(s->code, "AUTH");
    EXPECT_EQ(s->text, "Authentication failed.");

    s = ParseStatus("-ERR [in-use] locked");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->code, "IN-USE");

    s = ParseStatus("-err plain refusal [not a code]");
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->ok);
    EXPECT_EQ(s->code, "");
}

TEST(Pop3Status, OtherLinesAreNone)
{
    for (const char* line : { "", "OK", "+OKAY", "-ERROR x", "+ ", "* OK imap", " +OK" })
        EXPECT_FALSE(ParseStatus(line)) << line;
}

TEST(Pop3Stat, CountAndSize)
{
    auto m = ParseStat("+OK 5 1234");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->messages, 5U);
    EXPECT_EQ(m->octets, 1234U);

    m = ParseStat("+OK 70000 123456789012 extra words");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->messages, 70000U);

    m = ParseStat("+OK 4294967295 0");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->messages, 4294967295U);

    for (const char* line : { "+OK", "+OK 5", "+OK five 10", "-ERR 5 10", "+OK 4294967296 0", "+OK -1 0", "+OK 5x 10" })
        EXPECT_FALSE(ParseStat(line)) << line;
}

TEST(Pop3MultiLine, TerminatorAndDotStuffing)
{
    EXPECT_FALSE(MultiLineItem("."));
    EXPECT_EQ(MultiLineItem(".."), ".");
    EXPECT_EQ(MultiLineItem("..x"), ".x");
    EXPECT_EQ(MultiLineItem("SASL PLAIN"), "SASL PLAIN");
    EXPECT_EQ(MultiLineItem(""), "");
}

TEST(Pop3Capa, CapabilitiesAndMechanisms)
{
    const std::vector<std::string> capa { "TOP", "uidl", "SASL LOGIN plain", "STLS", "USER" };
    EXPECT_TRUE(HasCapability(capa, "UIDL"));
    EXPECT_TRUE(HasCapability(capa, "stls"));
    EXPECT_FALSE(HasCapability(capa, "PIPELINING"));
    EXPECT_TRUE(HasSaslMechanism(capa, "PLAIN"));
    EXPECT_FALSE(HasSaslMechanism(capa, "CRAM-MD5"));
    // A mechanism named outside the SASL line does not count.
    EXPECT_FALSE(HasSaslMechanism({ "PLAIN", "X-SASL PLAIN" }, "PLAIN"));
}

} // namespace
