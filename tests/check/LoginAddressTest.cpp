#include "app/LoginAddress.h"

#include <gtest/gtest.h>

using app::EncodeForRequestLine;
using app::LoginAddress;

TEST(LoginAddress, PlainAccount)
{
    EXPECT_EQ(LoginAddress("login.mail.example.com", "alice", "secret"),
        "http://login.mail.example.com/cgi-bin/start?login=alice&passwd=secret&frames=no");
}

TEST(LoginAddress, QueryCharactersGoInUnchanged)
{
    EXPECT_EQ(
        LoginAddress("h:81", "a&b=c", "p#w?%41/:"), "http://h:81/cgi-bin/start?login=a&b=c&passwd=p#w?%41/:&frames=no");
}

TEST(LoginAddress, BytesThatWouldBreakTheRequestAreEncoded)
{
    EXPECT_EQ(EncodeForRequestLine("a b"), "a%20b");
    EXPECT_EQ(EncodeForRequestLine("x\r\nHost: evil"), "x%0D%0AHost:%20evil");
    EXPECT_EQ(EncodeForRequestLine(std::string("n\0z", 3)), "n%00z");
    EXPECT_EQ(EncodeForRequestLine("\t\x1f\x7f"), "%09%1F%7F");
}

TEST(LoginAddress, EightBitBytesStayAsTheyAre)
{
    EXPECT_EQ(EncodeForRequestLine("\xc3\xa9t\xe9"), "\xc3\xa9t\xe9");
}

TEST(LoginAddress, EncodedAddressHasNoLineBreakOrBlank)
{
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    const std::string address = LoginAddress("s", all, all);
    for (const char c : address)
        EXPECT_GT(static_cast<unsigned char>(c), 0x20) << "byte " << int(static_cast<unsigned char>(c));
    EXPECT_EQ(address.find('\x7f'), std::string::npos);
}

TEST(LoginAddress, EmptyFields)
{
    EXPECT_EQ(LoginAddress("s", "", ""), "http://s/cgi-bin/start?login=&passwd=&frames=no");
}
