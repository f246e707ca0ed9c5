// Windows Sockets 1.1 over POSIX sockets: the calls and numbers the socket component relies on.
#pragma once

#include "platform/core/MessageTarget.h"

#include <cstdint>

namespace platform {

// Socket handles are the descriptors themselves; INVALID_SOCKET marks none.
using SOCKET = std::uintptr_t;
constexpr SOCKET INVALID_SOCKET = ~SOCKET { 0 };
constexpr int SOCKET_ERROR = -1;

// Names with a WS_ prefix where the POSIX headers define macros of the plain name.
constexpr int WS_AF_INET = 2;
constexpr int WS_SOCK_STREAM = 1;
constexpr int WS_IPPROTO_TCP = 6;
constexpr int WS_SOL_SOCKET = 0xFFFF;
constexpr int WS_SO_LINGER = 0x0080;
constexpr std::uint32_t WS_INADDR_NONE = 0xFFFFFFFFU;

constexpr long FD_READ = 1;
constexpr long FD_WRITE = 2;
constexpr long FD_OOB = 4;
constexpr long FD_ACCEPT = 8;
constexpr long FD_CONNECT = 16;
constexpr long FD_CLOSE = 32;

constexpr int MAXGETHOSTSTRUCT = 1024;
constexpr int WSADESCRIPTION_LEN = 256;
constexpr int WSASYS_STATUS_LEN = 128;

constexpr int WSABASEERR = 10000;
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

struct WSADATA {
    std::uint16_t wVersion = 0;
    std::uint16_t wHighVersion = 0;
    char szDescription[WSADESCRIPTION_LEN + 1] = {};
    char szSystemStatus[WSASYS_STATUS_LEN + 1] = {};
    std::uint16_t iMaxSockets = 0;
    std::uint16_t iMaxUdpDg = 0;
    char* lpVendorInfo = nullptr;
};

// The 16-byte IPv4 address record; port and address in network byte order.
struct SOCKADDR_IN {
    std::uint16_t sin_family = 0;
    std::uint16_t sin_port = 0;
    std::uint32_t sin_addr = 0;
    char sin_zero[8] = {};
};
static_assert(sizeof(SOCKADDR_IN) == 16);

struct LINGER {
    std::uint16_t l_onoff = 0;
    std::uint16_t l_linger = 0;
};

// The host entry a lookup writes at the start of the caller's buffer; what its pointers point
// to follows it in the same buffer. Addresses are 4 bytes each, in network byte order.
struct HOSTENT {
    char* h_name;
    char** h_aliases;
    std::int16_t h_addrtype;
    std::int16_t h_length;
    char** h_addr_list;
};

int WSAStartup(std::uint16_t versionRequested, WSADATA* data);
int WSACleanup();
// Makes the next `count` calls of socket() fail with `error`, as when the system has no more
// descriptors to give.
void FailNextSocketsForTesting(int count, int error);
// How many WSAStartup calls are not yet matched by WSACleanup.
int WSAStartupCountForTesting();
// The error of the last failed socket call on this thread.
int WSAGetLastError();
void WSASetLastError(int error);
// errno to the library's error number.
int WSAErrorFromErrno(int error);

SOCKET socket(int af, int type, int protocol);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int closesocket(SOCKET s);
int connect(SOCKET s, const SOCKADDR_IN* name, int namelen);
int bind(SOCKET s, const SOCKADDR_IN* name, int namelen);
int listen(SOCKET s, int backlog);
int getsockname(SOCKET s, SOCKADDR_IN* name, int* namelen);
SOCKET accept(SOCKET s, SOCKADDR_IN* addr, int* addrlen);
// Never raises SIGPIPE: a broken connection is an error return.
int send(SOCKET s, const char* buf, int len, int flags);
int recv(SOCKET s, char* buf, int len, int flags);
std::uint32_t inet_addr(const char* cp);
std::uint16_t htons(std::uint16_t hostshort);
std::uint16_t ntohs(std::uint16_t netshort);

// Posts `msg` to `hWnd` for the events in `lEvent` (wParam = socket, lParam = event | error << 16),
// with the library's rules: one FD_READ until the next recv, FD_WRITE once connected and after a
// send that would block, FD_CONNECT once with its error, FD_CLOSE once when the peer has closed
// and its data has been read. Makes the socket non-blocking; a mask of 0 stops the notifications.
// User-interface thread only.
int WSAAsyncSelect(SOCKET s, HWND hWnd, unsigned wMsg, long lEvent);

} // namespace platform
