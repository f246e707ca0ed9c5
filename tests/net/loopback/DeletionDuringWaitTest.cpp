// Every wait loop lets any handler run inside it, and a handler may delete the component: the
// wait then ends with its exception and touches nothing of the component on the way out.
#include "net/Psock.h"
#include "tests/fixtures/LoopbackPorts.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/net/loopback/SocketSupport.h"

#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

using net::ESockError;
using net::TPowersock;
using testing_support::ScriptServer;
using S = ScriptServer;

namespace {

constexpr int kDeleteAfterMs = 100;

// Connects a new component to `server` and deletes it from a timer handler while `wait` runs.
// Returns the message of the exception that ended the wait ("no exception" when none).
template <typename Wait> std::string DeleteDuring(ScriptServer& server, Wait wait)
{
    auto* s = new TPowersock(nullptr);
    s->Host = "127.0.0.1";
    s->Port = server.port();
    s->TimeOut = 5000;
    s->Connect();
    QTimer::singleShot(kDeleteAfterMs, [s] { delete s; });
    std::string message = "no exception";
    try {
        wait(*s);
    } catch (const ESockError& e) {
        message = e.Message;
    }
    EXPECT_EQ(TPowersock::LiveCount(), 0);
    return message;
}

} // namespace

TEST(DeletionDuringWait, Connect)
{
    // A full backlog: the connect stays pending.
    testing_support::FullBacklog backlog;
    const std::uint16_t port = backlog.port();
    auto* s = new TPowersock(nullptr);
    s->Host = "127.0.0.1";
    s->Port = port;
    QTimer::singleShot(kDeleteAfterMs, [s] { delete s; });
    try {
        s->Connect();
        ADD_FAILURE() << "connected";
    } catch (const ESockError& e) {
        EXPECT_EQ(e.Message, "Connection Canceled");
    }
    EXPECT_EQ(TPowersock::LiveCount(), 0);
}

TEST(DeletionDuringWait, Accept)
{
    auto* s = new TPowersock(nullptr);
    QTimer::singleShot(kDeleteAfterMs, [s] { delete s; });
    EXPECT_THROW(s->Accept(), ESockError);
    EXPECT_EQ(TPowersock::LiveCount(), 0);
}

TEST(DeletionDuringWait, SendBuffer)
{
    ScriptServer server;
    server.AddConnection({ S::Sleep(3000), S::Close() });
    EXPECT_EQ(DeleteDuring(server,
                  [](TPowersock& s) {
                      // Far more than the socket buffers hold, to a peer that reads nothing.
                      s.SendQueue->Append(std::string(64 * 1024 * 1024, 'q'));
                      s.SendBuffer("x", 1);
                  }),
        "Socket send aborted");
}

TEST(DeletionDuringWait, SendFile)
{
    QTemporaryDir dir;
    const std::string name = dir.filePath("big").toStdString();
    {
        std::ofstream file(name, std::ios::binary);
        const std::string block(1024 * 1024, 'f');
        for (int i = 0; i < 64; ++i)
            file << block;
    }
    ScriptServer server;
    server.AddConnection({ S::Sleep(3000), S::Close() });
    EXPECT_EQ(DeleteDuring(server, [&](TPowersock& s) { s.SendFile(name); }), "Socket send aborted");
}

TEST(DeletionDuringWait, ReadLnAndTransaction)
{
    ScriptServer server;
    server.AddConnection({ S::Send("no line end"), S::Stall() });
    server.AddConnection({ S::Stall() });
    EXPECT_EQ(DeleteDuring(server, [](TPowersock& s) { s.ReadLn(); }), "Socket readln aborted");
    EXPECT_EQ(DeleteDuring(server, [](TPowersock& s) { s.Transaction("NOOP"); }), "Socket readln aborted");
}

TEST(DeletionDuringWait, CaptureString)
{
    ScriptServer server;
    server.AddConnection({ S::Send("some"), S::Stall() });
    server.AddConnection({ S::Send("some"), S::Stall() });
    std::string text;
    EXPECT_EQ(DeleteDuring(server, [&](TPowersock& s) { s.CaptureString(text, -1); }), "Socket capture aborted");
    EXPECT_EQ(text, "some");
    EXPECT_EQ(DeleteDuring(server, [&](TPowersock& s) { s.CaptureString(text, 100); }), "Socket capture aborted");
}

TEST(DeletionDuringWait, CaptureFile)
{
    QTemporaryDir dir;
    ScriptServer server;
    server.AddConnection({ S::Send("some"), S::Stall() });
    EXPECT_EQ(DeleteDuring(server, [&](TPowersock& s) { s.CaptureFile(dir.filePath("out").toStdString()); }),
        "Socket send aborted");
}
