// A file in the place of a queue during SendFile and CaptureFile: what comes back afterwards,
// and that a component destroyed during the transfer is not touched again.
#include "net/Psock.h"
#include "net/ReceiveBuffer.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/net/loopback/SocketSupport.h"

#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

using loopback::connectTo;
using net::EAbortError;
using net::TPowersock;
using testing_support::ScriptPeer;
using testing_support::ScriptServer;

TEST(FileQueue, AFileThatCannotBeOpenedLeavesTheFlagsAsTheyWereNotCleared)
{
    TPowersock s(nullptr);
    s.PacketEvents = true;
    s.FileMode = true;
    auto* sendQueue = s.SendQueue.get();
    auto* receiveQueue = s.ReceiveQueue.get();
    EXPECT_THROW(s.SendFile("/nonexistent-dir/for/sure/file"), net::EFOpenError);
    EXPECT_TRUE(s.PacketEvents);
    EXPECT_TRUE(s.FileMode);
    EXPECT_EQ(s.SendQueue.get(), sendQueue);
    EXPECT_THROW(s.CaptureFile("/nonexistent-dir/for/sure/file"), net::EFCreateError);
    EXPECT_TRUE(s.PacketEvents);
    EXPECT_TRUE(s.FileMode);
    EXPECT_EQ(s.ReceiveQueue.get(), receiveQueue);
}

TEST(FileQueue, AfterATransferBothQueuesAreTheirOwnAgain)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("out.bin");
    {
        std::ofstream(out.toStdString(), std::ios::binary) << "request body";
    }
    std::string got;
    ScriptServer peer([&](ScriptPeer& c) {
        got = c.Read(12);
        c.Send("reply body");
        c.Close();
    });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    s.SendFile(out.toStdString());
    const QString in = dir.filePath("in.bin");
    s.CaptureFile(in.toStdString());
    peer.WaitForClosed(0);
    EXPECT_EQ(got, "request body");
    std::ifstream captured(in.toStdString(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(captured), {}), "reply body");
    EXPECT_NE(dynamic_cast<net::TMemoryStream*>(s.SendQueue.get()), nullptr);
    EXPECT_NE(dynamic_cast<net::TReceiveBuffer*>(s.ReceiveQueue.get()), nullptr);
    EXPECT_FALSE(s.PacketEvents);
    EXPECT_FALSE(s.FileMode);
    // The memory queues work as before the transfer.
    EXPECT_EQ(s.ReceiveQueue->Size(), 0);
}

TEST(FileQueue, DeletingTheComponentDuringCaptureFileEndsItWithoutTouchingIt)
{
    QTemporaryDir dir;
    ScriptServer peer([](ScriptPeer& c) {
        c.Send("some");
        c.WaitForClose();
    });
    auto* s = new TPowersock(nullptr);
    connectTo(*s, peer.port());
    QTimer::singleShot(100, [&] { delete s; });
    std::string message = "no exception";
    try {
        s->CaptureFile(dir.filePath("cut.bin").toStdString());
    } catch (const EAbortError& e) {
        message = e.Message;
    }
    EXPECT_EQ(message, "Socket send aborted");
    EXPECT_EQ(TPowersock::LiveCount(), 0);
}
