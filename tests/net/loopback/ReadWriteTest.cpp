#include "net/Psock.h"
#include "net/ReceiveBuffer.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/fixtures/Wait.h"
#include "tests/net/loopback/SocketSupport.h"

#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using loopback::connectTo;
using loopback::messageOf;
using net::EAbortError;
using net::ESockError;
using net::TPowersock;
using testing_support::ScriptPeer;
using testing_support::ScriptServer;

namespace {

std::string readFile(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const QString& path, const std::string& bytes)
{
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << bytes;
}

} // namespace

TEST(ReadLn, TwoLinesInOnePacketComeOneAtATime)
{
    ScriptServer peer([](ScriptPeer& c) {
        c.Send("first line\r\nsecond\n");
        c.WaitForClose();
    });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    EXPECT_EQ(s.ReadLn(), "first line\r\n");
    // The second line is already queued: no event needs to be processed for it.
    bool pumped = false;
    s.OnDataReceived = [&](QObject*) { pumped = true; };
    EXPECT_EQ(s.ReadLn(), "second\n");
    EXPECT_FALSE(pumped);
    EXPECT_EQ(s.ReceiveQueue->Size(), 0);
    s.Disconnect();
}

TEST(ReadLn, LineSplitOverManyPackets)
{
    const std::string line = loopback::pattern(5000, 3);
    std::string clean;
    for (char c : line)
        clean += c == '\n' ? 'x' : c;
    ScriptServer peer([&](ScriptPeer& c) {
        for (std::size_t i = 0; i < clean.size(); i += 500) {
            c.Send(clean.substr(i, 500));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        c.Send("\nrest");
        c.WaitForClose();
    });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    EXPECT_EQ(s.ReadLn(), clean + "\n");
    ASSERT_TRUE(testing_support::WaitUntil([&] { return s.ReceiveQueue->Size() == 4; }));
    EXPECT_EQ(s.ReceiveQueue->Position(), 4);
    s.Disconnect();
}

TEST(ReadLn, ZeroByteInsideTheLine)
{
    const std::string line("a\0b\0c\r\n", 7);
    ScriptServer peer([&](ScriptPeer& c) {
        c.Send(line);
        c.WaitForClose();
    });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    EXPECT_EQ(s.ReadLn(), line);
    s.Disconnect();
}

TEST(ReadLn, LastLineWithoutLineFeedWaitsUntilCanceled)
{
    ScriptServer peer([](ScriptPeer& c) {
        c.Send("complete\npartial");
        c.Close();
    });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    EXPECT_EQ(s.ReadLn(), "complete\n");
    QTimer::singleShot(150, [&] { s.Cancel(); });
    EXPECT_EQ(messageOf([&] { s.ReadLn(); }), "abort: Socket readln aborted");
    EXPECT_TRUE(s.Canceled);
    EXPECT_FALSE(s.Connected);
    // The bytes stay queued, and a canceled component returns at once from the next ReadLn.
    EXPECT_EQ(s.ReceiveQueue->Size(), 7);
    EXPECT_EQ(messageOf([&] { s.ReadLn(); }), "abort: Socket readln aborted");
}

TEST(Write, StopsAtTheFirstZeroCharacter)
{
    std::string got;
    ScriptServer peer([&](ScriptPeer& c) { got = c.Read(13); });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    s.Write(std::string("visible\0hidden", 14));
    s.Writeln("line");
    // The component closes with a reset, which discards what the peer has not read yet.
    peer.WaitForClosed(0);
    EXPECT_EQ(got, "visibleline\r\n");
}

TEST(Write, CutsTextsAt16384Characters)
{
    std::string got;
    ScriptServer peer([&](ScriptPeer& c) {
        got = c.Read(16384);
        got += c.Read(1); // nothing more comes
    });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    const std::string text(16384, 'a');
    s.Write(text + "bcdef");
    s.Write("");
    s.Disconnect();
    peer.WaitForClosed(0);
    EXPECT_EQ(got.size(), text.size());
    EXPECT_TRUE(got == text);
}

TEST(Write, EmptyTextReturnsAtOnce)
{
    ScriptServer peer([](ScriptPeer& c) { c.WaitForClose(); });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    s.Write("");
    s.Write(std::string("\0abc", 4));
    EXPECT_EQ(s.SendQueue->Size(), 0);
    s.Disconnect();
}

TEST(SendBuffer, LargeBufferToASlowReaderArrivesWholeAndInOrder)
{
    const std::string data = loopback::pattern(65535, 7);
    std::string got;
    ScriptServer peer([&](ScriptPeer& c) { got = c.ReadSlowly(4 * 65535, 2048, 1); }, { 2048 });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    int sent = 0;
    s.PacketEvents = true;
    s.OnPacketSent = [&](QObject*) { ++sent; };
    for (int i = 0; i < 4; ++i)
        s.SendBuffer(data.data(), static_cast<std::uint16_t>(data.size()));
    peer.WaitForClosed(0);
    EXPECT_EQ(got.size(), data.size() * 4);
    EXPECT_TRUE(got == data + data + data + data);
    EXPECT_GT(sent, 16); // chunks of at most 16383 bytes, and partial sends on top
    EXPECT_EQ(s.BytesSent, 65535 * 4);
}

TEST(SendBuffer, ReturnsAtOnceWhenCanceledIsSet)
{
    ScriptServer peer([](ScriptPeer& c) { c.WaitForClose(); });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    s.Cancel();
    s.SendBuffer("abc", 3);
    EXPECT_EQ(s.SendQueue->Size(), 0);
    EXPECT_TRUE(s.Canceled);
    s.Disconnect();
}

TEST(SendBuffer, CancelWhileTheReaderStallsKeepsTheUnsentBytes)
{
    // The peer never reads, so the socket's buffers fill and the queue must hold the rest.
    ScriptServer peer([](ScriptPeer&) { std::this_thread::sleep_for(std::chrono::milliseconds(1500)); }, { 2048 });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    const std::string data(65535, 'z');
    QTimer::singleShot(200, [&] { s.Cancel(); });
    const std::string message = messageOf([&] {
        for (int i = 0; i < 1000; ++i)
            s.SendBuffer(data.data(), static_cast<std::uint16_t>(data.size()));
    });
    EXPECT_EQ(message, "abort: Socket send aborted");
    EXPECT_FALSE(s.Canceled);
    EXPECT_GT(s.SendQueue->Size(), 0);
    s.Disconnect();
}

TEST(SendBuffer, SendingOnAResetConnectionRaisesInsteadOfWaiting)
{
    ScriptServer peer([](ScriptPeer& c) {
        // Late enough for the connect to have completed on the component's side.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        c.Reset();
    });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !s.Connected; }));
    std::vector<std::uint16_t> errors;
    s.OnSocketError = [&](QObject*, std::uint16_t e, const std::string&) { errors.push_back(e); };
    EXPECT_EQ(messageOf([&] { s.Write("hello"); }), "10057:Socket is not connected");
    EXPECT_EQ(errors, std::vector<std::uint16_t> { 10057 });
    EXPECT_EQ(s.SendQueue->Size(), 0);
}

TEST(ReadToStream, FullChunkIsFollowedByAnotherReadThatMayFindNothing)
{
    ScriptServer peer([](ScriptPeer& c) {
        c.Send(std::string(16383, 'q'));
        c.WaitForClose();
    });
    TPowersock s(nullptr);
    std::vector<std::string> errors;
    s.OnSocketError = [&](QObject*, std::uint16_t, const std::string& text) { errors.push_back(text); };
    connectTo(s, peer.port());
    ASSERT_TRUE(testing_support::WaitUntil([&] { return s.ReceiveQueue->Size() == 16383 && !errors.empty(); }));
    EXPECT_EQ(errors.front(), "10035:Operation would block");
    EXPECT_EQ(s.LastError, 10035);
    s.Disconnect();
}

TEST(Capture, PeersCloseDrainsEverythingThatIsLeft)
{
    const std::string data = loopback::pattern(300000, 11);
    ScriptServer peer([&](ScriptPeer& c) {
        c.Send(data);
        c.Close();
    });
    TPowersock s(nullptr);
    int disconnects = 0;
    s.OnDisconnect = [&](QObject*) { ++disconnects; };
    connectTo(s, peer.port());
    const auto before = s.Socket();
    std::string got;
    s.CaptureString(got, -1);
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
    EXPECT_EQ(s.BytesRecvd, static_cast<std::int32_t>(data.size()));
    EXPECT_FALSE(s.Connected);
    EXPECT_FALSE(s.PacketEvents);
    EXPECT_EQ(disconnects, 1);
    EXPECT_NE(s.Socket(), before);
    EXPECT_NE(s.Socket(), net::kNoSocket);
}

TEST(Capture, StringAfterALineKeepsTheBytesAlreadyQueued)
{
    ScriptServer peer([](ScriptPeer& c) {
        c.Send("HTTP/1.0 200 OK\r\n\r\nbody starts here");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        c.Send(" and ends here");
        c.Close();
    });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    EXPECT_EQ(s.ReadLn(), "HTTP/1.0 200 OK\r\n");
    EXPECT_EQ(s.ReadLn(), "\r\n");
    std::string body;
    s.CaptureString(body, -1);
    EXPECT_EQ(body, "body starts here and ends here");
}

TEST(Capture, SizedCaptureStopsOnceItHasEnoughOrTheConnectionEnded)
{
    ScriptServer peer([](ScriptPeer& c) {
        c.Send("0123456789");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        c.Send("abc");
        c.Close();
    });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    std::string got;
    s.CaptureString(got, 5);
    EXPECT_EQ(got, "0123456789");
    s.CaptureString(got, 100);
    EXPECT_EQ(got, "abc");
    s.CaptureString(got, -2);
    EXPECT_EQ(got, "");
}

TEST(Capture, CancelEndsCaptureStringWithItsMessage)
{
    ScriptServer peer([](ScriptPeer& c) {
        c.Send("some");
        c.WaitForClose();
    });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    QTimer::singleShot(100, [&] { s.Cancel(); });
    std::string got;
    EXPECT_EQ(messageOf([&] { s.CaptureString(got, -1); }), "abort: Socket capture aborted");
    EXPECT_FALSE(s.Canceled);
    EXPECT_FALSE(s.PacketEvents);
    EXPECT_EQ(got, "some");
    s.Disconnect();
}

TEST(Capture, FileGetsTheQueuedBytesFirstAndCountsThem)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("body.bin");
    writeFile(path, "old content that must go away");
    const std::string tail = loopback::pattern(100000, 5);
    ScriptServer peer([&](ScriptPeer& c) {
        c.Send("head\nqueued");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        c.Send(tail);
        c.Close();
    });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    EXPECT_EQ(s.ReadLn(), "head\n");
    ASSERT_TRUE(testing_support::WaitUntil([&] { return s.ReceiveQueue->Size() >= 6; }));
    const std::int64_t queued = s.ReceiveQueue->Size();
    std::vector<std::int32_t> counts;
    s.OnPacketRecvd = [&](QObject*) { counts.push_back(s.BytesRecvd); };
    s.CaptureFile(path.toStdString());
    EXPECT_EQ(readFile(path), "queued" + tail);
    ASSERT_FALSE(counts.empty());
    EXPECT_GE(counts.front(), queued);
    EXPECT_EQ(s.ReceiveQueue->Size(), 0);
    EXPECT_FALSE(s.FileMode);
    EXPECT_FALSE(s.PacketEvents);
    EXPECT_NE(dynamic_cast<net::TReceiveBuffer*>(s.ReceiveQueue.get()), nullptr);
}

TEST(Capture, FileThatCannotBeCreatedLeavesEverythingAsItWas)
{
    TPowersock s(nullptr);
    s.ReceiveQueue->Append("kept");
    auto* before = s.ReceiveQueue.get();
    EXPECT_THROW(s.CaptureFile("/nonexistent-dir/for/sure/file"), net::EFCreateError);
    EXPECT_EQ(s.ReceiveQueue.get(), before);
    EXPECT_EQ(s.ReceiveQueue->Size(), 4);
    EXPECT_FALSE(s.FileMode);
    EXPECT_FALSE(s.PacketEvents);
}

TEST(Capture, CancelEndsCaptureFileAndRestoresTheQueue)
{
    QTemporaryDir dir;
    ScriptServer peer([](ScriptPeer& c) {
        c.Send("partial");
        c.WaitForClose();
    });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    QTimer::singleShot(100, [&] { s.Cancel(); });
    const QString path = dir.filePath("cut.bin");
    EXPECT_EQ(messageOf([&] { s.CaptureFile(path.toStdString()); }), "abort: Socket send aborted");
    EXPECT_FALSE(s.Canceled);
    EXPECT_FALSE(s.FileMode);
    EXPECT_EQ(readFile(path), "partial");
    s.Disconnect();
}

TEST(SendFile, EmptyFileReturnsAtOnce)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("empty");
    writeFile(path, "");
    ScriptServer peer([](ScriptPeer& c) { c.WaitForClose(); });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    s.SendFile(path.toStdString());
    EXPECT_EQ(s.BytesToSend, 0);
    EXPECT_EQ(s.BytesSent, 0);
    EXPECT_FALSE(s.FileMode);
    s.Disconnect();
}

TEST(SendFile, LargeFileArrivesWholeToASlowReader)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("large");
    const std::string data = loopback::pattern(3 * 1024 * 1024 + 17, 9);
    writeFile(path, data);
    std::string got;
    ScriptServer peer([&](ScriptPeer& c) { got = c.Read(data.size() + 13); }, { 4096 });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    s.Write("before ");
    s.SendFile(path.toStdString());
    EXPECT_EQ(s.BytesToSend, static_cast<std::int32_t>(data.size()));
    EXPECT_EQ(s.BytesSent, static_cast<std::int32_t>(data.size()));
    s.Write(" after");
    peer.WaitForClosed(0);
    EXPECT_EQ(got.size(), data.size() + 13);
    EXPECT_TRUE(got == "before " + data + " after");
}

TEST(SendFile, MissingFileLeavesEverythingAsItWas)
{
    TPowersock s(nullptr);
    auto* before = s.SendQueue.get();
    EXPECT_THROW(s.SendFile("/nonexistent-dir/for/sure/file"), net::EFOpenError);
    EXPECT_EQ(s.SendQueue.get(), before);
    EXPECT_FALSE(s.FileMode);
    EXPECT_FALSE(s.PacketEvents);
}

TEST(SendFile, CancelEndsItWithItsMessage)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("large");
    writeFile(path, std::string(8 * 1024 * 1024, 'f'));
    // The peer never reads: the file cannot have gone out whole before the cancel.
    ScriptServer peer([](ScriptPeer&) { std::this_thread::sleep_for(std::chrono::milliseconds(1500)); }, { 2048 });
    TPowersock s(nullptr);
    connectTo(s, peer.port());
    QTimer::singleShot(100, [&] { s.Cancel(); });
    EXPECT_EQ(messageOf([&] { s.SendFile(path.toStdString()); }), "abort: Socket send aborted");
    EXPECT_FALSE(s.Canceled);
    EXPECT_FALSE(s.FileMode);
    EXPECT_NE(dynamic_cast<net::TMemoryStream*>(s.SendQueue.get()), nullptr);
    s.Disconnect();
}

TEST(Transaction, ReplyNumberComesFromTheLeadingDigits)
{
    std::vector<std::string> commands;
    ScriptServer peer([&](ScriptPeer& c) {
        for (const char* reply :
            { "250 OK\r\n", "HELLO 12\r\n", "99999 too big\r\n", "00042x\r\n", "12345678901\r\n" }) {
            commands.push_back(c.ReadLine());
            c.Send(reply);
        }
    });
    TPowersock s(nullptr);
    std::vector<std::string> reported;
    s.ReportLevel = 1;
    s.OnStatus = [&](QObject*, const std::string& t) { reported.push_back(t); };
    connectTo(s, peer.port());
    EXPECT_EQ(s.Transaction("CMD one"), "250 OK\r\n");
    EXPECT_EQ(s.ReplyNumber, 250);
    EXPECT_EQ(s.LastResponse, "250 OK\r\n");
    s.Transaction("CMD two");
    EXPECT_EQ(s.ReplyNumber, 0);
    s.Transaction("CMD three");
    EXPECT_EQ(s.ReplyNumber, 0);
    s.Transaction("CMD four");
    EXPECT_EQ(s.ReplyNumber, 42);
    s.Transaction("CMD five");
    EXPECT_EQ(s.ReplyNumber, 0);
    EXPECT_EQ(reported.size(), 5U);
    EXPECT_EQ(reported.front(), "250 OK\r\n");
    peer.WaitForClosed(0);
    EXPECT_EQ(commands.front(), "CMD one\r\n");
}
