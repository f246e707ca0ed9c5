// A handler may delete the HTTP client in every phase of a request: sending, the header, the
// body into memory or into a file. The request then ends with an exception and nothing of the
// freed component is touched.
#include "net/SockErrors.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/http/HttpProbe.h"

#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace http_tests;
using testing_support::ScriptServer;
using S = ScriptServer;

namespace {

void DeleteDuringGet(ScriptServer& server, bool intoFile, const std::string& data = {})
{
    QTemporaryDir dir;
    auto* http = new Probe(nullptr);
    http->InputFileMode = intoFile;
    http->Body = dir.filePath("body").toStdString();
    // Counted from the connection, so that the wait it ends is the one of the phase under test.
    http->OnConnect = [http](QObject*) { QTimer::singleShot(150, [http] { delete http; }); };
    if (data.empty())
        EXPECT_THROW(http->Get(server.url("/")), net::EAbortError);
    else
        EXPECT_THROW(http->Put(server.url("/"), data), net::EAbortError);
    EXPECT_EQ(net::TPowersock::LiveCount(), 0);
}

} // namespace

TEST(DeletionDuringRequest, WhileSending)
{
    ScriptServer server;
    server.AddConnection({ S::Sleep(3000), S::Close() });
    DeleteDuringGet(server, false, std::string(64 * 1024 * 1024, 'd'));
}

TEST(DeletionDuringRequest, WhileReadingTheHeader)
{
    ScriptServer server;
    server.AddConnection({ S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\nX-Half"), S::Stall() });
    DeleteDuringGet(server, false);
}

TEST(DeletionDuringRequest, WhileReadingTheBody)
{
    for (const bool intoFile : { false, true }) {
        for (const std::string length : { "", "Connection: keep-alive\r\nContent-Length: 100\r\n" }) {
            ScriptServer server;
            server.AddConnection(
                { S::ReceiveRequest(), S::Send("HTTP/1.0 200 OK\r\n" + length + "\r\npart"), S::Stall() });
            DeleteDuringGet(server, intoFile);
        }
    }
}
