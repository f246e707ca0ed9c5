#include "platform/core/Winsock.h"

#include <QAbstractEventDispatcher>
#include <QPointer>
#include <QSocketNotifier>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

// glibc may define these as macros; ours are functions of the same names.
#undef htons
#undef ntohs

namespace platform {
namespace {

thread_local int t_lastError = 0;
int g_startups = 0;
int g_failSockets = 0;
int g_failSocketsError = 0;

enum class Phase { Idle, Connecting, Connected, Failed, Listening };

// What the library knows about one socket. Handles are not descriptors: they are handed out
// round-robin so that a message still queued for a closed socket never names its successor.
struct SocketState {
    int fd = -1;
    Phase phase = Phase::Idle;
    bool nonBlocking = false;
    HWND hwnd = 0;
    unsigned msg = 0;
    long mask = 0;
    bool readArmed = true;
    // Data waited a whole turn of the loop with its FD_READ unanswered: the read notifier rests
    // until the next recv.
    bool readParked = false;
    bool acceptArmed = true;
    bool writeWanted = false;
    bool closePosted = false;
    // What the last read from the system brought beyond what the caller asked for. The system is
    // read in large blocks and the caller's recv calls are served from here, as the library's own
    // receive buffer serves them: a capture read in the component's small chunks then costs one
    // system call per block rather than one per chunk.
    std::unique_ptr<char[]> inbox;
    std::size_t inboxStart = 0;
    std::size_t inboxEnd = 0;
    // An error the system reported while the inbox still held bytes: the system tells it once,
    // and it is the caller's once those bytes are read.
    int inboxError = 0;
    std::size_t inboxBytes() const { return inboxEnd - inboxStart; }
    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;
};

std::unordered_map<SOCKET, std::unique_ptr<SocketState>> g_sockets;
constexpr std::size_t kInboxSize = std::size_t { 256 } * 1024;
SOCKET g_nextHandle = 1;
constexpr SOCKET kHandleLimit = 65535;

int fail(int wsaError)
{
    t_lastError = wsaError;
    return SOCKET_ERROR;
}

int failErrno()
{
    return fail(WSAErrorFromErrno(errno));
}

SocketState* find(SOCKET s)
{
    auto it = g_sockets.find(s);
    return it == g_sockets.end() ? nullptr : it->second.get();
}

SOCKET allocateHandle()
{
    for (SOCKET tries = 0; tries < kHandleLimit; ++tries) {
        const SOCKET h = g_nextHandle;
        g_nextHandle = g_nextHandle + 1 >= kHandleLimit ? 1 : g_nextHandle + 1;
        if (!g_sockets.contains(h))
            return h;
    }
    return INVALID_SOCKET;
}

void post(const SocketState& st, SOCKET s, long event, int error)
{
    if ((st.mask & event) && st.hwnd != 0)
        PostMessage(
            st.hwnd, st.msg, s, MAKELPARAM(static_cast<std::uint16_t>(event), static_cast<std::uint16_t>(error)));
}

// The notifiers are level-triggered. The read notifier stays on while an FD_READ waits for its
// recv: switching it off and on for every read costs two wake-ups of the event loop, twice as many
// as the read itself. Should the socket still be readable a turn later with that FD_READ
// unanswered, it is parked until the next recv, so a socket nobody reads from does not wake the
// loop again and again.
void refresh(SocketState& st)
{
    if (!st.readNotifier)
        return;
    bool wantRead = false;
    if (st.phase == Phase::Listening)
        wantRead = st.acceptArmed && (st.mask & FD_ACCEPT);
    else if (st.phase == Phase::Connected && !st.closePosted)
        wantRead = (st.mask & (FD_READ | FD_CLOSE)) && !st.readParked;
    const bool wantWrite = st.phase == Phase::Connecting || (st.phase == Phase::Connected && st.writeWanted);
    if (st.readNotifier->isEnabled() != wantRead)
        st.readNotifier->setEnabled(wantRead);
    if (st.writeNotifier->isEnabled() != wantWrite)
        st.writeNotifier->setEnabled(wantWrite);
}

void onReadable(SOCKET s)
{
    SocketState* st = find(s);
    if (!st)
        return;
    if (st->phase == Phase::Listening) {
        st->acceptArmed = false;
        post(*st, s, FD_ACCEPT, 0);
    } else if (st->phase == Phase::Connected && !st->closePosted) {
        char c;
        const ssize_t n = st->inboxBytes() > 0 ? 1 : ::recv(st->fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n <= 0 && st->inboxError != 0) {
            st->closePosted = true;
            post(*st, s, FD_CLOSE, WSAErrorFromErrno(st->inboxError));
        } else if (n > 0) {
            if (st->readArmed && (st->mask & FD_READ)) {
                st->readArmed = false;
                post(*st, s, FD_READ, 0);
            } else {
                st->readParked = true;
            }
        } else if (n == 0) {
            st->closePosted = true;
            post(*st, s, FD_CLOSE, 0);
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            st->closePosted = true;
            post(*st, s, FD_CLOSE, WSAErrorFromErrno(errno));
        }
    }
    refresh(*st);
}

void onWritable(SOCKET s)
{
    SocketState* st = find(s);
    if (!st)
        return;
    if (st->phase == Phase::Connecting) {
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(st->fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
            error = errno;
        if (error == 0) {
            st->phase = Phase::Connected;
            st->readArmed = true;
            st->readParked = false;
            st->closePosted = false;
            st->writeWanted = false;
            post(*st, s, FD_CONNECT, 0);
            post(*st, s, FD_WRITE, 0);
        } else {
            st->phase = Phase::Failed;
            post(*st, s, FD_CONNECT, WSAErrorFromErrno(error));
        }
    } else if (st->phase == Phase::Connected && st->writeWanted) {
        st->writeWanted = false;
        post(*st, s, FD_WRITE, 0);
    }
    refresh(*st);
}

// Sockets whose inbox kept bytes after a recv. Their FD_READ is posted when the loop is about to
// sleep, unless a recv has taken the bytes by then: a caller that reads chunk after chunk without
// sleeping (the component's capture does) gets no notification per chunk for bytes it takes at
// once, and a caller that stops reading still gets its FD_READ.
std::vector<SOCKET> g_unannounced;

void announceInboxes()
{
    for (const SOCKET s : std::exchange(g_unannounced, {})) {
        SocketState* st = find(s);
        if (st && st->phase == Phase::Connected && !st->closePosted && st->readArmed && st->inboxBytes() > 0
            && (st->mask & FD_READ)) {
            st->readArmed = false;
            post(*st, s, FD_READ, 0);
        }
    }
}

void announceBeforeSleep(SOCKET s)
{
    static QPointer<QAbstractEventDispatcher> watched;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher && watched != dispatcher) {
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, announceInboxes);
        watched = dispatcher;
    }
    if (std::find(g_unannounced.begin(), g_unannounced.end(), s) == g_unannounced.end())
        g_unannounced.push_back(s);
}

// Serves a recv from the inbox, reading the system into it first when it holds less than asked.
ssize_t readThroughInbox(SocketState& st, char* buf, std::size_t len, bool peek)
{
    if (st.inboxBytes() == 0 && st.inboxError != 0) {
        errno = std::exchange(st.inboxError, 0);
        return -1;
    }
    // Until a recv fills the caller's buffer, the socket is read directly: short exchanges never
    // need the block.
    if (!st.inbox) {
        const ssize_t n = ::recv(st.fd, buf, len, peek ? MSG_PEEK : 0);
        if (n > 0 && static_cast<std::size_t>(n) == len && !peek)
            st.inbox = std::make_unique_for_overwrite<char[]>(kInboxSize);
        return n;
    }
    if (st.inboxBytes() < len) {
        const std::size_t kept = st.inboxBytes();
        if (kept > 0 && st.inboxStart > 0)
            std::memmove(st.inbox.get(), st.inbox.get() + st.inboxStart, kept);
        st.inboxStart = 0;
        st.inboxEnd = kept;
        // With bytes in hand the system is only asked for what it has now; a blocking socket
        // with an empty inbox waits for data, as its recv always did.
        const ssize_t got = ::recv(st.fd, st.inbox.get() + kept, kInboxSize - kept, kept > 0 ? MSG_DONTWAIT : 0);
        if (got > 0)
            st.inboxEnd += static_cast<std::size_t>(got);
        else if (kept == 0)
            return got;
        else if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            st.inboxError = errno;
    }
    const std::size_t n = std::min(len, st.inboxBytes());
    std::memcpy(buf, st.inbox.get() + st.inboxStart, n);
    if (!peek)
        st.inboxStart += n;
    return static_cast<ssize_t>(n);
}

void makeNotifiers(SOCKET s, SocketState& st)
{
    if (st.readNotifier)
        return;
    // Made without a descriptor and given it afterwards, a notifier starts disabled. One made
    // with it would be watched by the event loop at once, only to be dropped and watched again
    // as refresh() decides: a cost paid twice for every socket of every check.
    st.readNotifier = std::make_unique<QSocketNotifier>(QSocketNotifier::Read);
    st.writeNotifier = std::make_unique<QSocketNotifier>(QSocketNotifier::Write);
    st.readNotifier->setSocket(st.fd);
    st.writeNotifier->setSocket(st.fd);
    QObject::connect(st.readNotifier.get(), &QSocketNotifier::activated, [s] { onReadable(s); });
    QObject::connect(st.writeNotifier.get(), &QSocketNotifier::activated, [s] { onWritable(s); });
}

sockaddr_in toPosix(const SOCKADDR_IN& a)
{
    sockaddr_in out {};
    out.sin_family = AF_INET;
    out.sin_port = a.sin_port;
    out.sin_addr.s_addr = a.sin_addr;
    return out;
}

void fromPosix(const sockaddr_in& a, SOCKADDR_IN* out, int* len)
{
    if (!out || !len || *len < static_cast<int>(sizeof(SOCKADDR_IN)))
        return;
    *out = SOCKADDR_IN {};
    out->sin_family = static_cast<std::uint16_t>(WS_AF_INET);
    out->sin_port = a.sin_port;
    out->sin_addr = a.sin_addr.s_addr;
    *len = sizeof(SOCKADDR_IN);
}

} // namespace

int WSAGetLastError()
{
    return t_lastError;
}

void WSASetLastError(int error)
{
    t_lastError = error;
}

int WSAErrorFromErrno(int error)
{
    switch (error) {
    case EINTR:
        return WSAEINTR;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case EWOULDBLOCK:
        return WSAEWOULDBLOCK;
    case EINPROGRESS:
        return WSAEINPROGRESS;
    case EALREADY:
        return WSAEALREADY;
    case EBADF:
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EPROTONOSUPPORT:
        return WSAEPROTONOSUPPORT;
    case EOPNOTSUPP:
        return WSAEOPNOTSUPP;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ENETRESET:
        return WSAENETRESET;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE:
        return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case ESHUTDOWN:
        return WSAESHUTDOWN;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EHOSTDOWN:
        return WSAEHOSTDOWN;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    default:
        return WSABASEERR + error;
    }
}

int WSAStartup(std::uint16_t versionRequested, WSADATA* data)
{
    const int major = versionRequested & 0xFF;
    const int minor = versionRequested >> 8;
    if (major < 1 || (major == 1 && minor < 1))
        return WSAVERNOTSUPPORTED;
    if (!data)
        return WSAEFAULT;
    *data = WSADATA {};
    data->wVersion = 0x0101;
    data->wHighVersion = 0x0101;
    std::strncpy(data->szDescription, "Quorvel sockets 1.1 over POSIX TCP/IP", WSADESCRIPTION_LEN);
    std::strncpy(data->szSystemStatus, "Running", WSASYS_STATUS_LEN);
    rlimit files {};
    rlim_t maxSockets = 32767;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < maxSockets)
        maxSockets = files.rlim_cur;
    data->iMaxSockets = static_cast<std::uint16_t>(maxSockets);
    data->iMaxUdpDg = 65467;
    ++g_startups;
    return 0;
}

int WSACleanup()
{
    if (g_startups == 0)
        return fail(WSANOTINITIALISED);
    --g_startups;
    return 0;
}

void FailNextSocketsForTesting(int count, int error)
{
    g_failSockets = count;
    g_failSocketsError = error;
}

int WSAStartupCountForTesting()
{
    return g_startups;
}

SOCKET socket(int af, int type, int protocol)
{
    if (g_startups == 0)
        return fail(WSANOTINITIALISED), INVALID_SOCKET;
    if (af != WS_AF_INET)
        return fail(WSAEAFNOSUPPORT), INVALID_SOCKET;
    if (type != WS_SOCK_STREAM)
        return fail(WSAEPROTONOSUPPORT), INVALID_SOCKET;
    if (protocol != 0 && protocol != WS_IPPROTO_TCP)
        return fail(WSAEPROTONOSUPPORT), INVALID_SOCKET;
    if (g_failSockets > 0) {
        --g_failSockets;
        return fail(g_failSocketsError), INVALID_SOCKET;
    }
    const SOCKET handle = allocateHandle();
    if (handle == INVALID_SOCKET)
        return fail(WSAEMFILE), INVALID_SOCKET;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        return failErrno(), INVALID_SOCKET;
    auto st = std::make_unique<SocketState>();
    st->fd = fd;
    g_sockets.emplace(handle, std::move(st));
    return handle;
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen)
{
    SocketState* st = find(s);
    if (!st)
        return fail(WSAENOTSOCK);
    if (level != WS_SOL_SOCKET || optname != WS_SO_LINGER)
        return fail(10042); // bad protocol option
    if (!optval || optlen < static_cast<int>(sizeof(LINGER)))
        return fail(WSAEFAULT);
    LINGER in;
    std::memcpy(&in, optval, sizeof in);
    linger out {};
    out.l_onoff = in.l_onoff != 0;
    out.l_linger = in.l_linger;
    if (::setsockopt(st->fd, SOL_SOCKET, SO_LINGER, &out, sizeof out) != 0)
        return failErrno();
    return 0;
}

int closesocket(SOCKET s)
{
    auto it = g_sockets.find(s);
    if (it == g_sockets.end())
        return fail(WSAENOTSOCK);
    std::unique_ptr<SocketState> st = std::move(it->second);
    g_sockets.erase(it);
    // The notifiers go before the descriptor they watch.
    st->readNotifier.reset();
    st->writeNotifier.reset();
    if (::close(st->fd) != 0 && errno != EINTR)
        return failErrno();
    return 0;
}

int connect(SOCKET s, const SOCKADDR_IN* name, int namelen)
{
    SocketState* st = find(s);
    if (!st)
        return fail(WSAENOTSOCK);
    if (!name || namelen < static_cast<int>(sizeof(SOCKADDR_IN)))
        return fail(WSAEFAULT);
    if (name->sin_family != WS_AF_INET)
        return fail(WSAEAFNOSUPPORT);
    const sockaddr_in addr = toPosix(*name);
    if (::connect(st->fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        if (errno == EINPROGRESS) {
            st->phase = Phase::Connecting;
            refresh(*st);
            return fail(WSAEWOULDBLOCK);
        }
        return failErrno();
    }
    if (st->nonBlocking) {
        // Done at once (it happens on loopback): the outcome still arrives as FD_CONNECT, from
        // the writable socket, as for every other non-blocking connect.
        st->phase = Phase::Connecting;
        refresh(*st);
        return fail(WSAEWOULDBLOCK);
    }
    st->phase = Phase::Connected;
    return 0;
}

int bind(SOCKET s, const SOCKADDR_IN* name, int namelen)
{
    SocketState* st = find(s);
    if (!st)
        return fail(WSAENOTSOCK);
    if (!name || namelen < static_cast<int>(sizeof(SOCKADDR_IN)))
        return fail(WSAEFAULT);
    const sockaddr_in addr = toPosix(*name);
    if (::bind(st->fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        return failErrno();
    return 0;
}

int listen(SOCKET s, int backlog)
{
    SocketState* st = find(s);
    if (!st)
        return fail(WSAENOTSOCK);
    if (::listen(st->fd, backlog) != 0)
        return failErrno();
    st->phase = Phase::Listening;
    st->acceptArmed = true;
    refresh(*st);
    return 0;
}

int getsockname(SOCKET s, SOCKADDR_IN* name, int* namelen)
{
    SocketState* st = find(s);
    if (!st)
        return fail(WSAENOTSOCK);
    if (!name || !namelen || *namelen < static_cast<int>(sizeof(SOCKADDR_IN)))
        return fail(WSAEFAULT);
    sockaddr_in addr {};
    socklen_t len = sizeof addr;
    if (::getsockname(st->fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return failErrno();
    fromPosix(addr, name, namelen);
    return 0;
}

SOCKET accept(SOCKET s, SOCKADDR_IN* addr, int* addrlen)
{
    SocketState* st = find(s);
    if (!st)
        return fail(WSAENOTSOCK), INVALID_SOCKET;
    st->acceptArmed = true;
    refresh(*st);
    const SOCKET handle = allocateHandle();
    if (handle == INVALID_SOCKET)
        return fail(WSAEMFILE), INVALID_SOCKET;
    sockaddr_in peer {};
    socklen_t len = sizeof peer;
    const int fd = ::accept4(st->fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
    if (fd < 0)
        return failErrno(), INVALID_SOCKET;
    fromPosix(peer, addr, addrlen);
    // The accepted socket starts blocking and unregistered; its owner registers it if it wants.
    auto accepted = std::make_unique<SocketState>();
    accepted->fd = fd;
    accepted->phase = Phase::Connected;
    g_sockets.emplace(handle, std::move(accepted));
    return handle;
}

int send(SOCKET s, const char* buf, int len, int flags)
{
    SocketState* st = find(s);
    if (!st)
        return fail(WSAENOTSOCK);
    if (len < 0 || (len > 0 && !buf))
        return fail(WSAEFAULT);
    // Linux answers EPIPE for a socket that never connected; the library says "not connected".
    if (st->phase != Phase::Connected)
        return fail(WSAENOTCONN);
    const ssize_t n = ::send(st->fd, buf, static_cast<size_t>(len), (flags & MSG_OOB) | MSG_NOSIGNAL);
    if (n < 0) {
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK) {
            st->writeWanted = true;
            refresh(*st);
        }
        return fail(WSAErrorFromErrno(error));
    }
    return static_cast<int>(n);
}

int recv(SOCKET s, char* buf, int len, int flags)
{
    SocketState* st = find(s);
    if (!st)
        return fail(WSAENOTSOCK);
    if (len < 0 || (len > 0 && !buf))
        return fail(WSAEFAULT);
    const bool direct = len == 0 || (flags & MSG_OOB);
    const ssize_t n = direct ? ::recv(st->fd, buf, static_cast<size_t>(len), flags & (MSG_PEEK | MSG_OOB))
                             : readThroughInbox(*st, buf, static_cast<std::size_t>(len), flags & MSG_PEEK);
    const int error = errno;
    // Any recv re-enables FD_READ, also one that fails.
    st->readArmed = true;
    st->readParked = false;
    if (st->inboxBytes() > 0)
        announceBeforeSleep(s);
    refresh(*st);
    if (n < 0)
        return fail(WSAErrorFromErrno(error));
    return static_cast<int>(n);
}

std::uint32_t inet_addr(const char* cp)
{
    if (!cp || !*cp)
        return WS_INADDR_NONE;
    in_addr a {};
    if (::inet_aton(cp, &a) == 0)
        return WS_INADDR_NONE;
    return a.s_addr;
}

std::uint16_t htons(std::uint16_t hostshort)
{
    const std::uint8_t b[2] = { static_cast<std::uint8_t>(hostshort >> 8), static_cast<std::uint8_t>(hostshort) };
    std::uint16_t out;
    std::memcpy(&out, b, 2);
    return out;
}

std::uint16_t ntohs(std::uint16_t netshort)
{
    std::uint8_t b[2];
    std::memcpy(b, &netshort, 2);
    return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

int WSAAsyncSelect(SOCKET s, HWND hWnd, unsigned wMsg, long lEvent)
{
    SocketState* st = find(s);
    if (!st)
        return fail(WSAENOTSOCK);
    if (lEvent != 0 && hWnd == 0)
        return fail(WSAEINVAL);
    // Our descriptors carry no other status flags (they come from socket() and accept4() with
    // SOCK_CLOEXEC only), so one call sets the one flag; a socket already selected has it.
    if (!st->nonBlocking && ::fcntl(st->fd, F_SETFL, O_NONBLOCK) != 0)
        return failErrno();
    st->nonBlocking = true;
    st->hwnd = hWnd;
    st->msg = wMsg;
    st->mask = lEvent;
    if (lEvent == 0) {
        st->readNotifier.reset();
        st->writeNotifier.reset();
        return 0;
    }
    makeNotifiers(s, *st);
    st->readArmed = true;
    st->readParked = false;
    st->acceptArmed = true;
    if (st->phase == Phase::Connected)
        post(*st, s, FD_WRITE, 0);
    refresh(*st);
    return 0;
}

} // namespace platform
