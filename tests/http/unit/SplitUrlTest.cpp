#include "platform/core/Exceptions.h"
#include "tests/http/HttpProbe.h"

#include <gtest/gtest.h>

using http_tests::Probe;

TEST(SplitUrl, ServerAlone)
{
    Probe http(nullptr);
    EXPECT_EQ(http.Split("http://server"), "/");
    EXPECT_EQ(http.Host, "server");
    EXPECT_EQ(http.Port, 80);
    EXPECT_EQ(http.URL, "http://server/");

    EXPECT_EQ(http.Split("http://server/"), "/");
    EXPECT_EQ(http.URL, "http://server/");
}

TEST(SplitUrl, PortsFromSchemeAndHost)
{
    Probe http(nullptr);
    EXPECT_EQ(http.Split("http://server:8080/a"), "/a");
    EXPECT_EQ(http.Host, "server");
    EXPECT_EQ(http.Port, 8080);
    http.Split("ftp://server/a");
    EXPECT_EQ(http.Port, 21);
    http.Split("gopher://server/a");
    EXPECT_EQ(http.Port, 70);
    http.Split("GOPHER://server/a");
    EXPECT_EQ(http.Port, 70);
    http.Port = 1234;
    http.Split("http://server/a");
    EXPECT_EQ(http.Port, 80);
    http.Split("whatever://server/a");
    EXPECT_EQ(http.Port, 80);
}

TEST(SplitUrl, HttpsChoosesPort443AndTls)
{
    const struct {
        std::string url;
        int port;
        bool secure;
    } rows[] = {
        { "https://server/a", 443, true },
        { "HTTPS://server/a", 443, true },
        { "https://server:8443/a", 8443, true },
        { "http://server/a", 80, false },
        { "httpss://server/a", 80, false },
        { "https//server/a", 80, false },
        // A path alone stays on the server, and the scheme, of the request before.
        { "/b", 80, false },
    };
    for (const auto& row : rows) {
        Probe http(nullptr);
        http.Split(row.url);
        EXPECT_EQ(http.Port, row.port) << row.url;
        EXPECT_EQ(http.SecureRequest(), row.secure) << row.url;
    }
    Probe http(nullptr);
    http.Split("https://server:8443/a");
    EXPECT_EQ(http.Split("/b"), "/b");
    EXPECT_TRUE(http.SecureRequest());
    EXPECT_EQ(http.Port, 8443);
    EXPECT_EQ(http.Host, "server");
}

TEST(SplitUrl, NoSchemeKeepsThePort)
{
    Probe http(nullptr);
    http.Port = 1234;
    EXPECT_EQ(http.Split("server/a"), "/a");
    EXPECT_EQ(http.Host, "server");
    EXPECT_EQ(http.Port, 1234);
    EXPECT_EQ(http.Split("server:81/a"), "/a");
    EXPECT_EQ(http.Port, 81);
    EXPECT_EQ(http.Host, "server");
}

TEST(SplitUrl, ZeroPortBecomes80)
{
    Probe http(nullptr);
    EXPECT_EQ(http.Port, 0);
    http.Split("server/a");
    EXPECT_EQ(http.Port, 80);
}

TEST(SplitUrl, LeadingSlashKeepsTheHost)
{
    Probe http(nullptr);
    http.Host = "earlier";
    http.Port = 8000;
    EXPECT_EQ(http.Split("/a"), "/a");
    EXPECT_EQ(http.Host, "earlier");
    EXPECT_EQ(http.Port, 8000);
}

TEST(SplitUrl, HostWithoutPathGetsSlash)
{
    Probe http(nullptr);
    EXPECT_EQ(http.Split("server"), "/");
    EXPECT_EQ(http.Host, "server");
    EXPECT_EQ(http.URL, "server/");
    // A slash inside without one in front: the text before it is the host.
    EXPECT_EQ(http.Split("dir/x"), "/x");
    EXPECT_EQ(http.Host, "dir");
}

TEST(SplitUrl, PathIsCutAt256)
{
    Probe http(nullptr);
    const std::string longPath = "/" + std::string(300, 'p');
    EXPECT_EQ(http.Split("http://server" + longPath), longPath.substr(0, 256));
    EXPECT_EQ(http.URL, "http://server" + longPath);
}

TEST(SplitUrl, Failures)
{
    Probe http(nullptr);
    try {
        http.Split("");
        FAIL() << "no exception";
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.Message, "Empty URL");
    }
    try {
        http.Split("http://server:80a/x");
        FAIL() << "no exception";
    } catch (const platform::EConvertError& e) {
        EXPECT_EQ(e.Message, "'80a' is not a valid integer value");
    }
}
