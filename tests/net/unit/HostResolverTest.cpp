// The asynchronous lookup: where its answer goes, and where a late one must not go.
#include "platform/core/HostResolver.h"

#include "platform/core/MessageTarget.h"
#include "platform/core/Winsock.h"
#include "tests/fixtures/Wait.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

using namespace platform;

namespace {

constexpr unsigned kMsg = 1126;

struct Answer {
    WPARAM handle;
    int error;
};

struct Recorder {
    std::vector<Answer> answers;
    std::unique_ptr<MessageTarget> target = std::make_unique<MessageTarget>([this](unsigned m, WPARAM w, LPARAM l) {
        if (m == kMsg)
            answers.push_back({ w, HIWORD(l) });
        return LRESULT { 0 };
    });
};

// Holds every lookup until released, then answers with `result`.
struct Gate {
    struct State {
        std::mutex m;
        std::condition_variable cv;
        bool open = false;
        int started = 0;
        HostLookupResult result;
    };
    std::shared_ptr<State> st = std::make_shared<State>();
    HostResolverFunction previous;

    explicit Gate(HostLookupResult result)
    {
        st->result = std::move(result);
        previous = SetHostResolver([s = st](const std::string&) {
            std::unique_lock lock(s->m);
            ++s->started;
            s->cv.wait(lock, [&] { return s->open; });
            return s->result;
        });
    }
    ~Gate()
    {
        open();
        SetHostResolver(previous);
    }
    void open()
    {
        std::lock_guard lock(st->m);
        st->open = true;
        st->cv.notify_all();
    }
    bool startedOne()
    {
        return testing_support::WaitUntil([&] {
            std::lock_guard lock(st->m);
            return st->started > 0;
        });
    }
};

HostLookupResult addresses(std::vector<std::uint32_t> list, std::string name = "host.test")
{
    HostLookupResult r;
    r.name = std::move(name);
    r.addresses = std::move(list);
    return r;
}

std::vector<char> untouched(std::size_t size)
{
    return std::vector<char>(size, '\x5A');
}

} // namespace

TEST(HostLookup, LocalhostFillsTheBufferWithAHostEntry)
{
    Recorder rec;
    std::vector<char> buf(MAXGETHOSTSTRUCT);
    const HANDLE h = WSAAsyncGetHostByName(rec.target->handle(), kMsg, "localhost", buf.data(), MAXGETHOSTSTRUCT);
    ASSERT_NE(h, 0U);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !rec.answers.empty(); }, 10000));
    EXPECT_EQ(rec.answers.front().handle, h);
    EXPECT_EQ(rec.answers.front().error, 0);
    const auto* he = reinterpret_cast<const HOSTENT*>(buf.data());
    EXPECT_EQ(he->h_length, 4);
    EXPECT_EQ(he->h_addrtype, WS_AF_INET);
    ASSERT_NE(he->h_addr_list[0], nullptr);
    std::uint32_t a;
    std::memcpy(&a, he->h_addr_list[0], 4);
    EXPECT_EQ(a, inet_addr("127.0.0.1"));
    EXPECT_EQ(he->h_aliases[0], nullptr);
    // Everything the entry points to lies inside the caller's buffer.
    EXPECT_GE(he->h_name, buf.data());
    EXPECT_LT(he->h_name + std::strlen(he->h_name), buf.data() + buf.size());
}

TEST(HostLookup, FailureCarriesItsErrorAndLeavesTheBuffer)
{
    HostLookupResult failed;
    failed.error = WSAHOST_NOT_FOUND;
    Gate gate(failed);
    gate.open();
    Recorder rec;
    auto buf = untouched(MAXGETHOSTSTRUCT);
    const HANDLE h = WSAAsyncGetHostByName(rec.target->handle(), kMsg, "nowhere.test", buf.data(), MAXGETHOSTSTRUCT);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !rec.answers.empty(); }));
    EXPECT_EQ(rec.answers.front().handle, h);
    EXPECT_EQ(rec.answers.front().error, WSAHOST_NOT_FOUND);
    EXPECT_EQ(buf, untouched(MAXGETHOSTSTRUCT));
}

TEST(HostLookup, SystemResolverRefusesAnEmptyName)
{
    EXPECT_EQ(SystemResolveHost("").error, WSAHOST_NOT_FOUND);
}

TEST(HostLookup, CancelledLookupNeitherWritesNorPosts)
{
    Gate gate(addresses({ 0x0100007F }));
    Recorder rec;
    auto buf = untouched(MAXGETHOSTSTRUCT);
    const HANDLE h = WSAAsyncGetHostByName(rec.target->handle(), kMsg, "late.test", buf.data(), MAXGETHOSTSTRUCT);
    ASSERT_TRUE(gate.startedOne());
    EXPECT_EQ(PendingHostLookupsForTesting(), 1);
    EXPECT_EQ(WSACancelAsyncRequest(h), 0);
    EXPECT_EQ(WSACancelAsyncRequest(h), SOCKET_ERROR);
    gate.open();
    testing_support::RunEventsFor(100);
    EXPECT_TRUE(rec.answers.empty());
    EXPECT_EQ(buf, untouched(MAXGETHOSTSTRUCT));
    EXPECT_EQ(PendingHostLookupsForTesting(), 0);
}

TEST(HostLookup, AnswerForADestroyedTargetTouchesNothing)
{
    Gate gate(addresses({ 0x0100007F }));
    Recorder rec;
    auto buf = untouched(MAXGETHOSTSTRUCT);
    WSAAsyncGetHostByName(rec.target->handle(), kMsg, "late.test", buf.data(), MAXGETHOSTSTRUCT);
    ASSERT_TRUE(gate.startedOne());
    rec.target.reset();
    gate.open();
    testing_support::RunEventsFor(100);
    EXPECT_EQ(buf, untouched(MAXGETHOSTSTRUCT));
    EXPECT_EQ(PendingHostLookupsForTesting(), 0);
}

TEST(HostLookup, BufferTooSmallForAnyAddressIsNoBufferSpace)
{
    Gate gate(addresses({ 0x0100007F }, std::string(100, 'n')));
    gate.open();
    Recorder rec;
    auto buf = untouched(64);
    WSAAsyncGetHostByName(rec.target->handle(), kMsg, "x.test", buf.data(), 64);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !rec.answers.empty(); }));
    EXPECT_EQ(rec.answers.front().error, WSAENOBUFS);
    EXPECT_EQ(buf, untouched(64));
}

TEST(HostLookup, ManyAddressesAreCutToWhatFits)
{
    std::vector<std::uint32_t> many;
    for (std::uint32_t i = 1; i <= 200; ++i)
        many.push_back(i);
    Gate gate(addresses(many));
    gate.open();
    Recorder rec;
    std::vector<char> buf(MAXGETHOSTSTRUCT + 16, '\x5A');
    WSAAsyncGetHostByName(rec.target->handle(), kMsg, "x.test", buf.data(), MAXGETHOSTSTRUCT);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !rec.answers.empty(); }));
    EXPECT_EQ(rec.answers.front().error, 0);
    const auto* he = reinterpret_cast<const HOSTENT*>(buf.data());
    int count = 0;
    while (he->h_addr_list[count]) {
        std::uint32_t a;
        std::memcpy(&a, he->h_addr_list[count], 4);
        EXPECT_EQ(a, many[static_cast<std::size_t>(count)]);
        ++count;
    }
    EXPECT_GT(count, 10);
    EXPECT_LT(count, 200);
    EXPECT_EQ(std::vector<char>(buf.begin() + MAXGETHOSTSTRUCT, buf.end()), std::vector<char>(16, '\x5A'));
}

TEST(HostLookup, ResolverThatThrowsIsANonRecoverableError)
{
    const auto previous
        = SetHostResolver([](const std::string&) -> HostLookupResult { throw std::runtime_error("x"); });
    Recorder rec;
    std::vector<char> buf(MAXGETHOSTSTRUCT);
    WSAAsyncGetHostByName(rec.target->handle(), kMsg, "x.test", buf.data(), MAXGETHOSTSTRUCT);
    const bool answered = testing_support::WaitUntil([&] { return !rec.answers.empty(); });
    SetHostResolver(previous);
    ASSERT_TRUE(answered);
    EXPECT_EQ(rec.answers.front().error, WSANO_RECOVERY);
}
