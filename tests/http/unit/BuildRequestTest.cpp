#include "net/PsockStreams.h"
#include "tests/http/HttpProbe.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

using namespace http_tests;
using net::CmdType;

TEST(BuildRequest, DirectGetAsDocumented)
{
    Probe http(nullptr);
    EXPECT_EQ(http.Request(net::cmdGET, "http://server/dir/page?x=1"), DirectGet("/dir/page?x=1", "server"));
    EXPECT_EQ(http.Host, "server");
    EXPECT_EQ(http.Port, 80);
}

TEST(BuildRequest, ProxyGetAsDocumented)
{
    Probe http(nullptr);
    http.Proxy = "proxy";
    http.ProxyPort = 3128;
    EXPECT_EQ(
        http.Request(net::cmdGET, "http://server/dir/page?x=1"), ProxyGet("http://server/dir/page?x=1", "server"));
}

TEST(BuildRequest, HttpsThroughProxyIsSentAsToTheServer)
{
    // The proxy only opens the tunnel; the request itself travels inside it to the server.
    Probe http(nullptr);
    http.Proxy = "proxy";
    http.ProxyPort = 3128;
    EXPECT_EQ(http.Request(net::cmdGET, "https://server/dir/page?x=1"), DirectGet("/dir/page?x=1", "server"));
    EXPECT_EQ(http.Request(net::cmdGET, "http://server/a"), ProxyGet("http://server/a", "server"));
}

TEST(BuildRequest, MethodWordsAndExtraLines)
{
    struct Case {
        CmdType command;
        const char* firstLine;
        const char* extra;
    };
    const Case cases[] = {
        { net::cmdGET, "GET / HTTP/1.0\r\n", "" },
        { net::cmdOPTIONS, "OPTIONS / HTTP/1.0\r\n", "" },
        { net::cmdHEAD, "HEAD / HTTP/1.0\r\n", "" },
        { net::cmdPOST, "POST / HTTP/1.0\r\n", "Content-Length: 4\r\n" },
        { net::cmdPUT, "PUT / HTTP/1.0\r\n", "Content-Length: 4\r\n" },
        { net::cmdPATCH, "PATCH / HTTP/1.0\r\n", "Content-Length: 4\r\n" },
        { net::cmdCOPY, "COPY / HTTP/1.0\r\n", "URI-header: /dest\r\n" },
        { net::cmdMOVE, "MOVE / HTTP/1.0\r\n", "URI-header: /dest\r\n" },
        { net::cmdDELETE, "DELETE / HTTP/1.0\r\n", "" },
        { net::cmdLINK, "LINK / HTTP/1.0\r\n", "Link: /dest\r\nContent-Length: 4\r\n" },
        { net::cmdUNLINK, "UNLINK / HTTP/1.0\r\n", "Link: /dest\r\nContent-Length: 4\r\n" },
        { net::cmdTRACE, "TRACE / HTTP/1.0\r\n", "Content-Length: 4\r\n" },
        { net::cmdSendRaw, "", "Content-Length: 4\r\n" },
    };
    for (const Case& c : cases) {
        Probe http(nullptr);
        http.RequestData = "data";
        http.DestinationURI = "/dest";
        EXPECT_EQ(http.Request(c.command, "http://h/"),
            std::string(c.firstLine) + "Host: h\r\n" + kAccept1 + kAccept2 + kForm + c.extra + "\r\n")
            << int(c.command);
    }
}

TEST(BuildRequest, SendRawThroughProxyStartsWithTheProxyLines)
{
    Probe http(nullptr);
    http.Proxy = "proxy";
    http.RequestData = "raw";
    EXPECT_EQ(http.Request(net::cmdSendRaw, "http://h/x"),
        "Proxy-Connection: Keep-Alive\r\nHost: h\r\n" + kAccept1 + kAccept2 + kForm + "Content-Length: 3\r\n\r\n");
}

TEST(BuildRequest, OptionalLinesInTheirOrder)
{
    Probe http(nullptr);
    net::THeaderInfo& info = *http.HeaderInfo();
    info.LocalMailAddress = "me@example.org";
    info.LocalProgram = "quorvel";
    info.Cookie = "a=1";
    info.Referer = "http://ref/";
    info.UserId = "user";
    info.Password = "pass";
    EXPECT_EQ(http.Request(net::cmdGET, "http://h/"),
        "GET / HTTP/1.0\r\nHost: h\r\n" + kAccept1 + kAccept2
            + "User-Agent: me@example.org\r\nFrom: quorvel\r\nCookie: a=1\r\nReferer: http://ref/\r\n"
              "Authorization: Basic dXNlcjpwYXNz\r\n"
            + kForm + "\r\n");
}

TEST(BuildRequest, AuthorizationNeedsBothAndIsOneUnbrokenLine)
{
    Probe http(nullptr);
    http.HeaderInfo()->UserId = "user";
    EXPECT_EQ(http.Request(net::cmdGET, "http://h/").find("Authorization"), std::string::npos);
    http.HeaderInfo()->UserId = std::string(60, 'u');
    http.HeaderInfo()->Password = "p";
    const std::string request = http.Request(net::cmdGET, "http://h/");
    // 62 bytes make two encoder lines; the header carries them as one.
    const std::string expected = "Authorization: Basic "
                                 "dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1OnA="
                                 "\r\n";
    EXPECT_NE(request.find(expected), std::string::npos) << request;
}

TEST(BuildRequest, HeaderInfoIsTheObjectItself)
{
    Probe http(nullptr);
    net::THeaderInfo mine;
    mine.Cookie = "c=3";
    http.SetHeaderInfo(&mine);
    EXPECT_EQ(http.HeaderInfo(), &mine);
    EXPECT_NE(http.Request(net::cmdGET, "http://h/").find("Cookie: c=3\r\n"), std::string::npos);
    http.SetHeaderInfo(nullptr);
}

TEST(BuildRequest, NoHostLineWithoutHost)
{
    Probe direct(nullptr);
    EXPECT_EQ(direct.Request(net::cmdGET, "/a"), "GET /a HTTP/1.0\r\n" + kAccept1 + kAccept2 + kForm + "\r\n");

    Probe proxied(nullptr);
    proxied.Proxy = "proxy";
    EXPECT_EQ(proxied.Request(net::cmdGET, "/a"),
        "GET /a HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\n" + kAccept1 + kAccept2 + kForm + "\r\n");
}

TEST(BuildRequest, LongPathCutDirectWholeThroughProxy)
{
    const std::string longPath = "/" + std::string(299, 'p');
    Probe direct(nullptr);
    const std::string d = direct.Request(net::cmdGET, "http://h" + longPath);
    EXPECT_EQ(d.substr(0, d.find("\r\n")), "GET " + longPath.substr(0, 256) + " HTTP/1.0");

    Probe proxied(nullptr);
    proxied.Proxy = "proxy";
    const std::string p = proxied.Request(net::cmdGET, "http://h:8080" + longPath);
    EXPECT_EQ(p.substr(0, p.find("\r\n")), "GET http://h:8080" + longPath + " HTTP/1.0");
    EXPECT_EQ(proxied.Port, 8080);
}

TEST(BuildRequest, OutputFileModeCountsTheFile)
{
    QTemporaryDir dir;
    const std::string name = dir.filePath("data.bin").toStdString();
    std::ofstream(name, std::ios::binary) << std::string(12345, 'x');
    Probe http(nullptr);
    http.OutputFileMode = true;
    http.RequestData = name;
    EXPECT_NE(http.Request(net::cmdPUT, "http://h/").find("Content-Length: 12345\r\n"), std::string::npos);

    http.RequestData = dir.filePath("missing").toStdString();
    EXPECT_THROW(http.Request(net::cmdPUT, "http://h/"), net::EFOpenError);
}

TEST(BuildRequest, LengthCountsEveryCharacter)
{
    Probe http(nullptr);
    http.RequestData = std::string("a\0b", 3) + std::string(20000, 'z');
    EXPECT_NE(http.Request(net::cmdPOST, "http://h/").find("Content-Length: 20003\r\n"), std::string::npos);
}
