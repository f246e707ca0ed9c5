// Field splitting of the socket unit, its byte streams, and its life cycle without a peer.
#include "net/GrowingString.h"
#include "net/Psock.h"
#include "platform/core/Winsock.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using net::NthDelimiterPos;
using net::NthField;
using net::TPowersock;

TEST(NthField, CountsFromOneAndKeepsEmptyFields)
{
    EXPECT_EQ(NthField("a,b,c", ',', 1), "a");
    EXPECT_EQ(NthField("a,b,c", ',', 3), "c");
    EXPECT_EQ(NthField("a,,c", ',', 2), "");
    EXPECT_EQ(NthField("a,,c", ',', 3), "c");
    EXPECT_EQ(NthField("a,b", ',', 0), "");
    EXPECT_EQ(NthField("a,b", ',', -1), "");
    EXPECT_EQ(NthField("a,b", ',', 3), "");
    EXPECT_EQ(NthField("", ',', 1), "");
    EXPECT_EQ(NthField("abc", ',', 1), "abc");
    EXPECT_EQ(NthField("a,b,", ',', 3), "");
    EXPECT_EQ(NthField("HTTP/1.0 302 Found", ' ', 2), "302");
}

TEST(NthDelimiterPos, OneBasedWithLengthPlusOneWhenMissing)
{
    EXPECT_EQ(NthDelimiterPos("http://host/path", '/', 1), 6);
    EXPECT_EQ(NthDelimiterPos("http://host/path", '/', 3), 12);
    EXPECT_EQ(NthDelimiterPos("http://host/path", '/', 4), 17);
    EXPECT_EQ(NthDelimiterPos("abc/", '/', 1), 4);
    EXPECT_EQ(NthDelimiterPos("", '/', 1), 1);
    EXPECT_EQ(NthDelimiterPos("a/b", '/', 0), 4);
}

TEST(Streams, MemoryStreamReadsAndWritesAtItsPosition)
{
    net::TMemoryStream m;
    m.Append("hello world");
    EXPECT_EQ(m.Position(), 11);
    m.Seek(6);
    char buf[16] = {};
    EXPECT_EQ(m.Read(buf, 16), 5);
    EXPECT_STREQ(buf, "world");
    m.Seek(0);
    m.Write("J", 1);
    EXPECT_EQ(m.Bytes(), "Jello world");
    m.Seek(100);
    EXPECT_EQ(m.Position(), 11);
    m.Clear();
    EXPECT_EQ(m.Size(), 0);
    EXPECT_EQ(m.Position(), 0);
}

TEST(Streams, FileStreamReplacesAnExistingFileAndReadsItBack)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("f").toStdString();
    {
        net::TFileStream out(path, net::TFileStream::Mode::Create);
        out.Append(std::string("long old content", 16));
    }
    {
        net::TFileStream out(path, net::TFileStream::Mode::Create);
        EXPECT_EQ(out.Size(), 0);
        out.Append(std::string("new\0bytes", 9));
    }
    net::TFileStream in(path, net::TFileStream::Mode::OpenRead);
    EXPECT_EQ(in.Size(), 9);
    char buf[9];
    EXPECT_EQ(in.Read(buf, 9), 9);
    EXPECT_EQ(std::string(buf, 9), std::string("new\0bytes", 9));
    EXPECT_THROW(in.Append("x"), net::EWriteError);
    EXPECT_THROW(
        net::TFileStream(dir.filePath("missing").toStdString(), net::TFileStream::Mode::OpenRead), net::EFOpenError);
}

// A created file's size is kept by the stream rather than asked of the file system: after every
// kind of write it must still be what the file holds.
TEST(Streams, CreatedFileStreamSizeFollowsTheFile)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("f").toStdString();
    net::TFileStream out(path, net::TFileStream::Mode::Create);
    const auto fileSize = [&] { return static_cast<std::int64_t>(std::filesystem::file_size(path)); };
    out.Append("0123456789");
    EXPECT_EQ(out.Size(), 10);
    out.Seek(4);
    out.Write("ab", 2);
    EXPECT_EQ(out.Size(), 10);
    out.Seek(8);
    out.Write("wxyz", 4);
    EXPECT_EQ(out.Size(), 12);
    EXPECT_EQ(out.Size(), fileSize());
    out.Clear();
    EXPECT_EQ(out.Size(), 0);
    out.Append("tail");
    EXPECT_EQ(out.Size(), 4);
    EXPECT_EQ(out.Size(), fileSize());
}

// Growth of a large capture: every byte kept in order, room never more than twice what is held.
TEST(Streams, GrowingStringKeepsItsBytesAndBoundsItsRoom)
{
    std::string text;
    text.reserve(64);
    std::string expected;
    std::size_t grew = 0;
    for (std::size_t i = 0; expected.size() < std::size_t { 40 } * 1024 * 1024; ++i) {
        const std::string chunk(1 + (i * 7919) % 16383, static_cast<char>('a' + i % 26));
        const std::size_t before = text.capacity();
        net::AppendGrowing(text, chunk);
        expected += chunk;
        grew += text.capacity() != before ? 1 : 0;
        ASSERT_LE(text.capacity(), std::max<std::size_t>(2 * text.size(), 64));
    }
    EXPECT_EQ(text, expected);
    // Doubling: a handful of steps, not one per chunk.
    EXPECT_LE(grew, 25U);
    std::string empty;
    net::AppendGrowing(empty, "");
    EXPECT_EQ(empty, "");
}

TEST(Lifecycle, StartsWithItsDocumentedValues)
{
    TPowersock s(nullptr);
    EXPECT_EQ(s.Host, "");
    EXPECT_EQ(s.Port, 0);
    EXPECT_EQ(s.TimeOut, 0);
    EXPECT_EQ(s.ReportLevel, 0);
    EXPECT_EQ(s.Proxy, "");
    EXPECT_EQ(s.ProxyPort, 0);
    EXPECT_FALSE(s.Connected);
    EXPECT_FALSE(s.Canceled);
    EXPECT_FALSE(s.PacketEvents);
    EXPECT_FALSE(s.NoReopen);
    EXPECT_NE(s.Socket(), net::kNoSocket);
    EXPECT_NE(s.Handle(), 0U);
    EXPECT_EQ(s.ReceiveQueue->Size(), 0);
    EXPECT_EQ(s.SendQueue->Size(), 0);
}

TEST(Lifecycle, TwoComponentsStartTheLibraryOnceAndTheLastCleansItUp)
{
    ASSERT_EQ(TPowersock::LiveCount(), 0);
    const int startups = platform::WSAStartupCountForTesting();
    auto first = std::make_unique<TPowersock>(nullptr);
    EXPECT_EQ(platform::WSAStartupCountForTesting(), startups + 1);
    const std::vector<std::string> expected { "Version= 1.1", "High Version= 1.1",
        std::string("Description= ") + first->WinsockData().szDescription, "System= Running",
        "Max Sockets= " + std::to_string(first->WinsockData().iMaxSockets), "Max Udp pack size= 65467" };
    EXPECT_EQ(first->WinsockInfo, expected);
    auto second = std::make_unique<TPowersock>(nullptr);
    EXPECT_EQ(TPowersock::LiveCount(), 2);
    EXPECT_EQ(platform::WSAStartupCountForTesting(), startups + 1);
    EXPECT_TRUE(second->WinsockInfo.empty());
    first.reset();
    EXPECT_EQ(platform::WSAStartupCountForTesting(), startups + 1);
    second.reset();
    EXPECT_EQ(platform::WSAStartupCountForTesting(), startups);
    EXPECT_EQ(TPowersock::LiveCount(), 0);
}

TEST(Lifecycle, FailedInitialisationGivesBackWhatItTookOnce)
{
    ASSERT_EQ(TPowersock::LiveCount(), 0);
    const int startups = platform::WSAStartupCountForTesting();
    // A socket the component never opened: it must survive the failed construction.
    auto keep = std::make_unique<TPowersock>(nullptr);
    const auto bystander = keep->Socket();
    const int live = TPowersock::LiveCount();
    platform::FailNextSocketsForTesting(1, platform::WSAEMFILE);
    std::string message;
    try {
        TPowersock s(nullptr);
        message = "constructed";
    } catch (const net::ESockError& e) {
        message = e.Message;
    }
    EXPECT_EQ(message, "Initializaton of windows sockets failed");
    EXPECT_EQ(TPowersock::LiveCount(), live);
    EXPECT_EQ(platform::WSAStartupCountForTesting(), startups + 1);
    const platform::LINGER l { 1, 0 };
    EXPECT_EQ(platform::setsockopt(bystander, platform::WS_SOL_SOCKET, platform::WS_SO_LINGER,
                  reinterpret_cast<const char*>(&l), sizeof l),
        0);
    keep.reset();
    EXPECT_EQ(platform::WSAStartupCountForTesting(), startups);

    // Alone, the failing component also stops the library it started.
    platform::FailNextSocketsForTesting(1, platform::WSAEMFILE);
    EXPECT_THROW(TPowersock(nullptr), net::ESockError);
    EXPECT_EQ(platform::WSAStartupCountForTesting(), startups);
    EXPECT_EQ(TPowersock::LiveCount(), 0);

    // And the next component works.
    TPowersock s(nullptr);
    EXPECT_NE(s.Socket(), net::kNoSocket);
}

TEST(Lifecycle, RunningOutOfDescriptorsIsAnInitialisationFailure)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizers' own checks need free descriptors";
#endif
    rlimit saved {};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    std::vector<int> filler;
    rlimit tight = saved;
    tight.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    // Keeps a few descriptors free for the rest of the process; fills up to those.
    for (;;) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            break;
        filler.push_back(fd);
    }
    ASSERT_GE(filler.size(), 4U);
    for (int i = 0; i < 4; ++i) {
        ::close(filler.back());
        filler.pop_back();
    }
    std::vector<std::unique_ptr<TPowersock>> made;
    std::string message;
    try {
        for (int i = 0; i < 8; ++i)
            made.push_back(std::make_unique<TPowersock>(nullptr));
    } catch (const net::ESockError& e) {
        message = e.Message;
    }
    const auto madeCount = made.size();
    made.clear();
    for (int fd : filler)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(message, "Initializaton of windows sockets failed");
    EXPECT_LT(madeCount, 8U);
    EXPECT_EQ(TPowersock::LiveCount(), 0);
}

TEST(Lifecycle, DestructionReportsDestroyButFiresNoHandlers)
{
    std::string last;
    int disconnects = 0;
    {
        TPowersock s(nullptr);
        s.ReportLevel = 8;
        s.OnDisconnect = [&](QObject*) { ++disconnects; };
        s.OnStatus = [&](QObject*, const std::string& t) { last = t; };
    }
    EXPECT_EQ(disconnects, 0);
    EXPECT_EQ(last, "");
}

TEST(Lifecycle, OwnerFreesTheComponent)
{
    auto owner = std::make_unique<QObject>();
    new TPowersock(owner.get());
    EXPECT_EQ(TPowersock::LiveCount(), 1);
    owner.reset();
    EXPECT_EQ(TPowersock::LiveCount(), 0);
}
