#include "net/PsockTunnelReply.h"

#include <gtest/gtest.h>

using net::ParseTunnelReply;
using net::TunnelStatusCode;

TEST(TunnelReply, HeadEndsAtTheFirstEmptyLine)
{
    const std::string head = "HTTP/1.1 200 Connection established\r\nProxy-agent: x\r\n\r\n";
    const auto reply = ParseTunnelReply(head + "server bytes");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Length, head.size());
    EXPECT_EQ(reply->StatusLine, "HTTP/1.1 200 Connection established");
    EXPECT_EQ(reply->StatusCode, 200);
}

TEST(TunnelReply, BareLineFeedsEndLinesToo)
{
    const auto reply = ParseTunnelReply("HTTP/1.0 200 OK\n\n");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Length, 17u);
    EXPECT_EQ(reply->StatusLine, "HTTP/1.0 200 OK");
}

TEST(TunnelReply, IncompleteHeadsWaitForMore)
{
    for (const char* partial :
        { "", "HTTP/1.0 200 OK", "HTTP/1.0 200 OK\r\n", "HTTP/1.0 200 OK\r\nVia: x\r\n", "HTTP/1.0 200 OK\r\n\r" })
        EXPECT_FALSE(ParseTunnelReply(partial)) << partial;
}

TEST(TunnelReply, AnEmptyFirstLineIsAHeadWithoutStatus)
{
    const auto reply = ParseTunnelReply("\r\nrest");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Length, 2u);
    EXPECT_EQ(reply->StatusCode, 0);
}

TEST(TunnelReply, StatusCodes)
{
    const struct {
        const char* line;
        int code;
    } rows[] = {
        { "HTTP/1.0 200 Connection established", 200 },
        { "HTTP/1.1 204", 204 },
        { "HTTP/2 403 Forbidden", 403 },
        { "HTTP/1.0 407 Proxy Authentication Required", 407 },
        { "HTTP/1.0 2000 Too long", 0 },
        { "HTTP/1.0 20 Short", 0 },
        { "HTTP/1.0 200OK", 0 },
        { "HTTP/ 200 OK", 0 },
        { "HTTPS/1.0 200 OK", 0 },
        { "http/1.0 200 OK", 0 },
        { "HTTP/1.0  200 OK", 0 },
        { "SSH-2.0-OpenSSH", 0 },
        { "", 0 },
    };
    for (const auto& row : rows)
        EXPECT_EQ(TunnelStatusCode(row.line), row.code) << row.line;
}
