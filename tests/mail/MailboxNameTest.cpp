#include "net/MailboxName.h"

#include "net/SaslPlain.h"

#include <gtest/gtest.h>

using net::imap::DecodeMailboxName;
using net::imap::EncodeMailboxName;

namespace {

TEST(MailboxName, KnownEncodings)
{
    EXPECT_EQ(EncodeMailboxName("INBOX"), "INBOX");
    EXPECT_EQ(EncodeMailboxName("Tom & Jerry"), "Tom &- Jerry");
    EXPECT_EQ(EncodeMailboxName("Entw\xc3\xbcrfe"), "Entw&APw-rfe");
    EXPECT_EQ(EncodeMailboxName("~peter/mail/\xe5\x8f\xb0\xe5\x8c\x97/\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e"),
        "~peter/mail/&U,BTFw-/&ZeVnLIqe-");
    // Outside the basic plane: a surrogate pair.
    EXPECT_EQ(EncodeMailboxName("\xf0\x9f\x93\xa7"), "&2D3c5w-");
    // Controls are not printable: they are encoded too.
    EXPECT_EQ(EncodeMailboxName("a\tb"), "a&AAk-b");
}

TEST(MailboxName, RoundTrip)
{
    for (const char* name : { "", "Archiv/2024",
             "\xc3\x84rger & \xc3\x9c"
             "bel",
             "\xd0\x92\xd1\x85\xd0\xbe\xd0\xb4\xd1\x8f\xd1\x89\xd0\xb8\xd0\xb5", "&&",
             "\xf0\x9f\x93\xa7x\xf0\x9f\x93\xa7" }) {
        const auto encoded = EncodeMailboxName(name);
        ASSERT_TRUE(encoded) << name;
        EXPECT_EQ(DecodeMailboxName(*encoded), name) << *encoded;
    }
}

TEST(MailboxName, InvalidInputIsRefused)
{
    for (const char* utf8 : { "\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xff", "a\x80" })
        EXPECT_FALSE(EncodeMailboxName(utf8)) << utf8;
    // Unterminated, bad alphabet, leftover bits, printable ASCII encoded, a lone surrogate, 8-bit.
    for (const char* name : { "&APw", "&AP*-", "&APx-", "&AGE-", "&2D0-", "a\xc3\xbc", "&-&" })
        EXPECT_FALSE(DecodeMailboxName(name)) << name;
}

TEST(SaslPlain, MessageAndPadding)
{
    EXPECT_EQ(net::Base64(""), "");
    EXPECT_EQ(net::Base64("f"), "Zg==");
    EXPECT_EQ(net::Base64("fo"), "Zm8=");
    EXPECT_EQ(net::Base64("foo"), "Zm9v");
    EXPECT_EQ(net::Base64("\xff\xfe"), "//4=");
    EXPECT_EQ(net::SaslPlain("tim", "tanstaaftanstaaf"), "AHRpbQB0YW5zdGFhZnRhbnN0YWFm");
}

} // namespace
