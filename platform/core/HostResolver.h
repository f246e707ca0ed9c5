// Asynchronous host-name lookup posted as a message, with a resolver that tests can replace.
#pragma once

#include "platform/core/MessageTarget.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

using HANDLE = std::uintptr_t; // 0 means the lookup could not start

struct HostLookupResult {
    int error = 0; // a WSA lookup error number, 0 on success
    std::string name;
    std::vector<std::uint32_t> addresses; // IPv4, network byte order
};

// Runs on a worker thread: it must be thread-safe, and anything it refers to must outlive it.
using HostResolverFunction = std::function<HostLookupResult(const std::string& name)>;

// The system's resolver (IPv4 addresses only).
HostLookupResult SystemResolveHost(const std::string& name);

// Replaces the resolver used by lookups started from now on; an empty function restores the
// system's. Returns the previous one.
HostResolverFunction SetHostResolver(HostResolverFunction resolver);

// Resolves `name` on a worker thread, then posts `wMsg` to `hWnd` with wParam = the returned
// handle and the error in the high word of lParam; on success `buf` holds a HOSTENT followed by
// its data. The buffer is written on the user-interface thread just before the post, never for
// a lookup that was cancelled or whose target is gone. User-interface thread only.
HANDLE WSAAsyncGetHostByName(HWND hWnd, unsigned wMsg, const char* name, char* buf, int buflen);

// Forgets a pending lookup: its answer will neither touch the buffer nor be posted.
int WSACancelAsyncRequest(HANDLE asyncTaskHandle);

// Lookups started and not yet answered or cancelled.
int PendingHostLookupsForTesting();

} // namespace platform
