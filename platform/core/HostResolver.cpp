#include "platform/core/HostResolver.h"

#include "platform/core/Winsock.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <sys/socket.h>
#include <thread>
#include <unordered_map>

namespace platform {
namespace {

constexpr unsigned kAnswerMessage = WM_USER + 1;

struct PendingLookup {
    HWND target;
    unsigned msg;
    char* buf;
    int buflen;
};

// Both touched on the user-interface thread only; the workers only post to the hub.
std::unordered_map<HANDLE, PendingLookup> g_pending;
HANDLE g_nextHandle = 1;

std::mutex g_resolverMutex;
HostResolverFunction g_resolver;

// Answers from the workers waiting for the hub to deliver them. A posted message still queued
// when the program ends is dropped unread, so the answer itself is kept here rather than in the
// message. Never destroyed: a worker may finish after everything else is gone.
struct Answers {
    std::mutex mutex;
    std::unordered_map<HANDLE, std::unique_ptr<HostLookupResult>> byHandle;
};
Answers& answers()
{
    static Answers* kept = new Answers;
    return *kept;
}

std::unique_ptr<HostLookupResult> takeAnswer(HANDLE handle)
{
    Answers& a = answers();
    std::lock_guard lock(a.mutex);
    const auto it = a.byHandle.find(handle);
    if (it == a.byHandle.end())
        return nullptr;
    std::unique_ptr<HostLookupResult> answer = std::move(it->second);
    a.byHandle.erase(it);
    return answer;
}

// Lays out a HOSTENT for a buffer at `base`, in a local copy; empty when it cannot fit.
std::vector<char> layoutHostEntry(char* base, int buflen, const HostLookupResult& r)
{
    const std::size_t size = buflen > 0 ? static_cast<std::size_t>(buflen) : 0;
    for (std::size_t count = r.addresses.size(); count >= 1; --count) {
        const std::size_t ptr = sizeof(char*);
        const std::size_t aliasesAt = sizeof(HOSTENT);
        const std::size_t listAt = aliasesAt + ptr;
        const std::size_t addrAt = listAt + (count + 1) * ptr;
        const std::size_t nameAt = addrAt + count * 4;
        const std::size_t end = nameAt + r.name.size() + 1;
        if (end > size)
            continue;
        std::vector<char> out(end, 0);
        HOSTENT he {};
        he.h_name = base + nameAt;
        he.h_aliases = reinterpret_cast<char**>(base + aliasesAt);
        he.h_addrtype = static_cast<std::int16_t>(WS_AF_INET);
        he.h_length = 4;
        he.h_addr_list = reinterpret_cast<char**>(base + listAt);
        std::memcpy(out.data(), &he, sizeof he);
        for (std::size_t i = 0; i < count; ++i) {
            char* p = base + addrAt + i * 4;
            std::memcpy(out.data() + listAt + i * ptr, &p, ptr);
            std::memcpy(out.data() + addrAt + i * 4, &r.addresses[i], 4);
        }
        std::memcpy(out.data() + nameAt, r.name.c_str(), r.name.size() + 1);
        return out;
    }
    return {};
}

void deliver(HANDLE handle, std::unique_ptr<HostLookupResult> r)
{
    auto it = g_pending.find(handle);
    if (it == g_pending.end())
        return; // cancelled
    const PendingLookup lookup = it->second;
    g_pending.erase(it);
    int error = r->error;
    std::vector<char> entry;
    if (error == 0 && r->addresses.empty())
        error = WSANO_DATA;
    if (error == 0) {
        entry = layoutHostEntry(lookup.buf, lookup.buflen, *r);
        if (entry.empty())
            error = WSAENOBUFS;
    }
    // The message is only dispatched after we return, so filling the buffer after a successful
    // post is in time; a failed post means the target, and with it the buffer's owner, is gone.
    if (PostMessage(lookup.target, lookup.msg, handle, MAKELPARAM(0, static_cast<std::uint16_t>(error)))
        && !entry.empty())
        std::memcpy(lookup.buf, entry.data(), entry.size());
}

HWND hub()
{
    // Lives as long as the process; created on the user-interface thread by the first lookup.
    static MessageTarget* target = new MessageTarget([](unsigned msg, WPARAM w, LPARAM) -> LRESULT {
        if (msg == kAnswerMessage) {
            if (auto answer = takeAnswer(static_cast<HANDLE>(w)))
                deliver(w, std::move(answer));
        }
        return 0;
    });
    return target->handle();
}

int lookupError(int gaiError)
{
    switch (gaiError) {
    case EAI_NONAME:
        return WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
        return WSATRY_AGAIN;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
        return WSANO_DATA;
#endif
    default:
        return WSANO_RECOVERY;
    }
}

} // namespace

HostLookupResult SystemResolveHost(const std::string& name)
{
    HostLookupResult result;
    if (name.empty()) {
        result.error = WSAHOST_NOT_FOUND;
        return result;
    }
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (rc != 0) {
        result.error = lookupError(rc);
        return result;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(list, &::freeaddrinfo);
    result.name = list->ai_canonname ? list->ai_canonname : name;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || !ai->ai_addr)
            continue;
        std::uint32_t a;
        std::memcpy(&a, &reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr, 4);
        if (std::find(result.addresses.begin(), result.addresses.end(), a) == result.addresses.end())
            result.addresses.push_back(a);
    }
    if (result.addresses.empty())
        result.error = WSANO_DATA;
    return result;
}

HostResolverFunction SetHostResolver(HostResolverFunction resolver)
{
    std::lock_guard lock(g_resolverMutex);
    std::swap(g_resolver, resolver);
    return resolver;
}

HANDLE WSAAsyncGetHostByName(HWND hWnd, unsigned wMsg, const char* name, char* buf, int buflen)
{
    if (!name || !buf || buflen <= 0 || hWnd == 0) {
        WSASetLastError(WSAEFAULT);
        return 0;
    }
    HostResolverFunction resolver;
    {
        std::lock_guard lock(g_resolverMutex);
        resolver = g_resolver;
    }
    if (!resolver)
        resolver = SystemResolveHost;
    const HWND answerTo = hub();
    const HANDLE handle = g_nextHandle++;
    try {
        std::thread([resolver = std::move(resolver), query = std::string(name), answerTo, handle] {
            auto result = std::make_unique<HostLookupResult>();
            try {
                *result = resolver(query);
            } catch (...) {
                result->error = WSANO_RECOVERY;
            }
            {
                Answers& a = answers();
                std::lock_guard lock(a.mutex);
                a.byHandle[handle] = std::move(result);
            }
            if (!PostMessage(answerTo, kAnswerMessage, handle, 0))
                takeAnswer(handle);
        }).detach();
    } catch (const std::exception&) {
        WSASetLastError(WSAENOBUFS);
        return 0;
    }
    g_pending[handle] = PendingLookup { hWnd, wMsg, buf, buflen };
    return handle;
}

int WSACancelAsyncRequest(HANDLE asyncTaskHandle)
{
    if (g_pending.erase(asyncTaskHandle) == 0) {
        WSASetLastError(WSAEINVAL);
        return SOCKET_ERROR;
    }
    return 0;
}

int PendingHostLookupsForTesting()
{
    return static_cast<int>(g_pending.size());
}

} // namespace platform
