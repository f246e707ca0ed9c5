// Requests against a real web server (lighttpd) started on a free loopback port.
#include "tests/fixtures/WebServer.h"

#include "tests/http/HttpProbe.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace http_tests;
using testing_support::WebServer;

namespace {

class RealServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { web = new WebServer; }
    static void TearDownTestSuite()
    {
        delete web;
        web = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(web->running()) << web->errorLog(); }

    static WebServer* web;
};

WebServer* RealServer::web = nullptr;

std::string ReadFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST_F(RealServer, GetsAPage)
{
    net::TNMHTTP http(nullptr);
    std::vector<int> successes;
    http.OnSuccess = [&](net::CmdType cmd) { successes.push_back(cmd); };
    http.Get(web->url("/"));
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.Body, WebServer::PageContent());
    EXPECT_EQ(http.Header.rfind("HTTP/1.0 200 OK\r\n", 0), 0U) << http.Header;
    EXPECT_EQ(http.Header.substr(http.Header.size() - 4), "\r\n\r\n");
    EXPECT_EQ(http.BytesToSend, static_cast<int>(WebServer::PageContent().size()));
    EXPECT_EQ(successes, std::vector<int> { net::cmdGET });
}

TEST_F(RealServer, GetsTheVersionDocument)
{
    net::TNMHTTP http(nullptr);
    http.ReportLevel = 2;
    http.TimeOut = 10000;
    http.Get(web->url("/verInfo"));
    EXPECT_EQ(http.Body, WebServer::VersionContent());
}

TEST_F(RealServer, GetsSeveralMegabytesIntoAStringAndAFile)
{
    const std::string expected = WebServer::BigContent();
    net::TNMHTTP http(nullptr);
    int packets = 0;
    http.OnPacketRecvd = [&](QObject*) { ++packets; };
    http.Get(web->url("/big.bin"));
    ASSERT_EQ(http.Body.size(), expected.size());
    EXPECT_TRUE(http.Body == expected);
    EXPECT_GT(packets, 10);

    QTemporaryDir dir;
    http.InputFileMode = true;
    http.Body = dir.filePath("big.out").toStdString();
    http.Get(web->url("/big.bin"));
    EXPECT_TRUE(ReadFile(http.Body) == expected);
}

TEST_F(RealServer, HeadHasNoBody)
{
    net::TNMHTTP http(nullptr);
    http.Head(web->url("/big.bin"));
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.Body, "");
    EXPECT_EQ(http.BytesToSend, static_cast<int>(WebServer::bigSize));
}

TEST_F(RealServer, MissingFileIsAFailure)
{
    net::TNMHTTP http(nullptr);
    std::vector<int> failures;
    http.OnFailure = [&](net::CmdType cmd) { failures.push_back(cmd); };
    http.Get(web->url("/no-such-file"));
    EXPECT_EQ(http.ReplyNumber, 404);
    EXPECT_EQ(failures, std::vector<int> { net::cmdGET });
}

TEST_F(RealServer, ManyRequestsOnOneComponent)
{
    net::TNMHTTP http(nullptr);
    for (int i = 0; i < 50; ++i) {
        http.Get(web->url("/verInfo"));
        ASSERT_EQ(http.Body, WebServer::VersionContent()) << i;
    }
}

TEST_F(RealServer, PostIsAnsweredByTheServer)
{
    net::TNMHTTP http(nullptr);
    http.Post(web->url("/index.html"), "a=1&b=2");
    // A static file server may refuse the method; either way the reply is read whole.
    EXPECT_GT(http.ReplyNumber, 0);
    EXPECT_EQ(http.Header.substr(http.Header.size() - 4), "\r\n\r\n");
}
