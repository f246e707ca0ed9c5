// The test servers themselves, driven by a plain blocking client.
#include "tests/fixtures/ScriptServer.h"
#include "tests/fixtures/WebServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using testing_support::ScriptServer;
using testing_support::WebServer;

namespace {

int ConnectTo(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// Reads until the peer closes; `error` gets errno of a failed read.
std::string ReadAll(int fd, int* error = nullptr)
{
    std::string text;
    char buffer[65536];
    while (true) {
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, 10000) <= 0)
            break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && error)
            *error = errno;
        break;
    }
    return text;
}

} // namespace

TEST(ScriptServerFixture, RepliesAfterTheRequestAndRecordsIt)
{
    ScriptServer server;
    server.AddConnection(
        { ScriptServer::ReceiveRequest(), ScriptServer::SendFragments("HTTP/1.0 200 OK\r\n\r\nbody", 3, 1) });
    const int fd = ConnectTo(server.port());
    const std::string request = "GET / HTTP/1.0\r\n\r\n";
    ASSERT_EQ(::send(fd, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
    EXPECT_EQ(ReadAll(fd), "HTTP/1.0 200 OK\r\n\r\nbody");
    ::close(fd);
    ASSERT_TRUE(server.WaitForClosed(0));
    EXPECT_EQ(server.Received(0), request);
    EXPECT_EQ(server.ConnectionCount(), 1U);
}

TEST(ScriptServerFixture, ResetIsSeenAsReset)
{
    ScriptServer server;
    server.AddConnection({ ScriptServer::Send("partial"), ScriptServer::Pause(50), ScriptServer::Reset() });
    const int fd = ConnectTo(server.port());
    ::shutdown(fd, SHUT_WR);
    int error = 0;
    const std::string got = ReadAll(fd, &error);
    EXPECT_TRUE(got == "partial" || got.empty());
    EXPECT_EQ(error, ECONNRESET);
    ::close(fd);
}

TEST(ScriptServerFixture, ConnectionsWithoutScriptAreClosed)
{
    ScriptServer server;
    const int fd = ConnectTo(server.port());
    EXPECT_EQ(ReadAll(fd), "");
    ::close(fd);
    EXPECT_TRUE(server.WaitForClosed(0));
}

TEST(WebServerFixture, ServesItsFilesOverHttp10)
{
    WebServer web;
    ASSERT_TRUE(web.running()) << web.errorLog();
    const int fd = ConnectTo(web.port());
    const std::string request = "GET /verInfo HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    ASSERT_EQ(::send(fd, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
    const std::string reply = ReadAll(fd);
    ::close(fd);
    EXPECT_EQ(reply.rfind("HTTP/1.0 200 OK\r\n", 0), 0U) << reply;
    EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), WebServer::VersionContent());
}
