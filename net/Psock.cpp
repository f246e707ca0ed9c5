#include "net/Psock.h"

#include "net/NMConst.h"
#include "net/ReceiveBuffer.h"
#include "platform/core/MessageLoop.h"

#include <QPointer>

#include <algorithm>
#include <cstring>

namespace net {
namespace {

// Components alive in this process; touched on the user-interface thread only.
int g_liveComponents = 0;

constexpr std::size_t kHostEntrySize = platform::MAXGETHOSTSTRUCT;
constexpr std::size_t kMaxHostName = 127;
constexpr long kAllEvents = platform::FD_READ | platform::FD_WRITE | platform::FD_OOB | platform::FD_ACCEPT
    | platform::FD_CONNECT | platform::FD_CLOSE;

const char* const kLookupTimedOut = "Host Lookup Timed Out";
const char* const kLookupCanceled = "Host Lookup Canceled";
const char* const kLookupFailed = "Host Lookup Failed";
const char* const kHostNameTooLong = "Host name longer than 127 characters";

std::string versionText(std::uint16_t word)
{
    return std::to_string(word >> 8) + "." + std::to_string(word & 0xFF);
}

} // namespace

TPowersock::TPowersock(QObject* owner)
    : QObject(owner)
{
    StatusMessage(level::Trace, status::Create);
    FWindow = std::make_unique<platform::MessageTarget>(
        [this](unsigned m, platform::WPARAM w, platform::LPARAM l) { return WndProc(m, w, l); });
    Proxy.clear();
    HostEntryBuffer = std::make_unique<char[]>(kHostEntrySize);
    // Every use fills it before reading it: 16 KiB are not cleared for each request.
    WriteBuffer = std::make_unique_for_overwrite<char[]>(kWriteBufferLimit + 1);
    timer = new TThreadTimer(this);
    timer->SetEnabled(false);
    timer->SetOnTimer([this](QObject* sender) { TimerTriggered(sender); });
    WinsockInfo.clear();
    Canceled = false;
    PacketEvents = false;
    NoReopen = false;
    Connected = false;
    ReceiveQueue = std::make_unique<TReceiveBuffer>();
    SendQueue = std::make_unique<TMemoryStream>();
    FSpareSend = std::make_unique<TMemoryStream>();
    // When this raises, it has already given back what it took; the destructor does not run.
    InitWinsock();
}

TPowersock::~TPowersock()
{
    FDestroying = true;
    StatusMessage(level::Trace, status::Destroy);
    TPowersock::Abort();
    Cancel();
    WinsockInfo.clear();
    delete timer;
    timer = nullptr;
    if (FLookup != 0) {
        platform::WSACancelAsyncRequest(FLookup);
        FLookup = 0;
    }
    HostEntryBuffer.reset();
    WriteBuffer.reset();
    FWindow.reset();
    ReceiveQueue.reset();
    SendQueue.reset();
    FSpareSend.reset();
    NoReopen = true;
    try {
        RequestCloseSocket();
    } catch (...) {
        // A failed close of a socket nobody will use again changes nothing.
    }
    if (--g_liveComponents == 0)
        platform::WSACleanup();
}

int TPowersock::LiveCount()
{
    return g_liveComponents;
}

void TPowersock::InitWinsock()
{
    StatusMessage(level::Trace, status::InitializingWinsock);
    if (++g_liveComponents == 1) {
        platform::WSAStartup(257, &FWSAData);
        WinsockInfo.push_back("Version= " + versionText(FWSAData.wVersion));
        WinsockInfo.push_back("High Version= " + versionText(FWSAData.wHighVersion));
        WinsockInfo.push_back(std::string("Description= ") + FWSAData.szDescription);
        WinsockInfo.push_back(std::string("System= ") + FWSAData.szSystemStatus);
        WinsockInfo.push_back("Max Sockets= " + std::to_string(FWSAData.iMaxSockets));
        WinsockInfo.push_back("Max Udp pack size= " + std::to_string(FWSAData.iMaxUdpDg));
    }
    const platform::SOCKET s
        = platform::socket(platform::WS_AF_INET, platform::WS_SOCK_STREAM, platform::WS_IPPROTO_TCP);
    bool ok = s != platform::INVALID_SOCKET && s < kNoSocket;
    if (ok) {
        const platform::LINGER linger { 1, 0 };
        ok = platform::setsockopt(s, platform::WS_SOL_SOCKET, platform::WS_SO_LINGER,
                 reinterpret_cast<const char*>(&linger), sizeof linger)
                == 0
            && platform::WSAAsyncSelect(s, Handle(), WM_SOCKET_EVENT, kAllEvents) == 0;
    }
    if (!ok) {
        if (s != platform::INVALID_SOCKET)
            platform::closesocket(s);
        if (--g_liveComponents == 0)
            platform::WSACleanup();
        throw ESockError("Initializaton of windows sockets failed");
    }
    FSocket = static_cast<std::uint16_t>(s);
}

bool TPowersock::WaitPass()
{
    const QPointer<TPowersock> self(this);
    // A pass sleeps until an event comes. Once canceled, every wait ends at its next test and
    // nothing may come to wake it (ReadLn tests after its pass): run only what is pending.
    if (Canceled)
        platform::ProcessMessages();
    else
        platform::WaitPass();
    return !self.isNull();
}

bool TPowersock::WaitPassFor(std::chrono::milliseconds bound)
{
    const QPointer<TPowersock> self(this);
    if (Canceled)
        platform::ProcessMessages();
    else
        platform::WaitPassFor(bound);
    return !self.isNull();
}

void TPowersock::Cancel()
{
    StatusMessage(level::Trace, status::Canceling);
    Canceled = true;
}

void TPowersock::ResolveHost()
{
    StatusMessage(level::Trace, status::ResolveHost);
    const std::string& source = Proxy.empty() ? Host : Proxy;
    // A name with a zero byte in it names no host; cutting it there would name another one.
    if (source.find('\0') != std::string::npos) {
        RemoteAddress.sin_addr = 0;
        throw ESockError(kLookupFailed);
    }
    if (source.size() > kMaxHostName)
        throw ESockError(kHostNameTooLong);
    const std::uint32_t address = platform::inet_addr(source.c_str());
    if (address != platform::WS_INADDR_NONE) {
        RemoteAddress.sin_addr = address;
        return;
    }
    RemoteAddress.sin_addr = 0;
    TimerOn();
    LookupDone = false;
    FLookupAnswered = false;
    FLookupError = 0;
    FLookup = platform::WSAAsyncGetHostByName(
        Handle(), WM_LOOKUP_DONE, source.c_str(), HostEntryBuffer.get(), static_cast<int>(kHostEntrySize));
    if (FLookup == 0) {
        TimerOff();
        throw ESockError(kLookupFailed);
    }
    while (!LookupDone && !TimedOut && !Canceled) {
        if (!WaitPass())
            throw ESockError(kLookupCanceled);
    }
    TimerOff();
    // An answer that comes after the wait ended must not land in the buffer of a later lookup.
    platform::WSACancelAsyncRequest(FLookup);
    FLookup = 0;
    if (TimedOut)
        throw ESockError(kLookupTimedOut);
    if (Canceled)
        throw ESockError(kLookupCanceled);
    if (!FLookupAnswered || FLookupError != 0)
        throw ESockError(kLookupFailed);
    const auto* entry = reinterpret_cast<const platform::HOSTENT*>(HostEntryBuffer.get());
    if (!entry->h_addr_list || !entry->h_addr_list[0] || entry->h_length != 4)
        throw ESockError(kLookupFailed);
    std::memcpy(&RemoteAddress.sin_addr, entry->h_addr_list[0], 4);
    if (OnHostResolved)
        OnHostResolved(this);
}

void TPowersock::Connect()
{
    StatusMessage(level::Trace, status::Connecting);
    Canceled = false;
    FChannelError.clear();
    CloseError = 0;
    ConnectError = 0;
    if (Connected)
        throw ESockError("Already connected");
    for (int attempts = 0;; ++attempts) {
        try {
            ResolveHost();
        } catch (const ESockError& e) {
            if (e.Message == kLookupTimedOut || e.Message == kLookupCanceled || e.Message == kHostNameTooLong)
                throw;
            RemoteAddress.sin_addr = 0;
        }
        if (RemoteAddress.sin_addr != 0)
            break;
        if (attempts > 0 || !OnInvalidHost)
            throw ESockError("Null Remote Address");
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled)
            throw ESockError("Null Remote Address");
    }
    RemoteAddress.sin_family = platform::WS_AF_INET;
    const std::int32_t port = Proxy.empty() ? Port : ProxyPort;
    RemoteAddress.sin_port = platform::htons(static_cast<std::uint16_t>(port & 0xFFFF));
    std::memset(RemoteAddress.sin_zero, 0, sizeof RemoteAddress.sin_zero);
    LookupDone = false;
    NoError = true;
    if (platform::connect(FSocket, &RemoteAddress, sizeof RemoteAddress) == platform::SOCKET_ERROR) {
        std::string text;
        ErrorManager(platform::WSAEWOULDBLOCK, text);
    }
    TimerOn();
    while (!Connected && !TimedOut && !Canceled && NoError) {
        if (!WaitPass())
            throw ESockError("Connection Canceled");
    }
    TimerOff();
    if (!TimedOut && !Canceled && NoError)
        return;
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    throw ESockError(TimedOut ? "Connection Timed out" : Canceled ? "Connection Canceled" : "Connection Failed");
}

void TPowersock::Disconnect()
{
    StatusMessage(level::Trace, status::Disconnecting);
    RequestCloseSocket();
}

void TPowersock::RequestCloseSocket()
{
    StatusMessage(level::Socket, status::RequestCloseSocket);
    EndSecureChannel();
    Connected = false;
    if (FSocket == kNoSocket)
        return;
    const int closed = platform::closesocket(FSocket);
    FSocket = kNoSocket;
    if (closed == platform::SOCKET_ERROR) {
        std::string text;
        ErrorManager(platform::WSAEWOULDBLOCK, text);
        return;
    }
    if (!FDestroying && OnDisconnect)
        OnDisconnect(this);
    if (NoReopen)
        return;
    const platform::SOCKET s = platform::socket(platform::WS_AF_INET, platform::WS_SOCK_STREAM, 0);
    if (s == platform::INVALID_SOCKET)
        return;
    if (s >= kNoSocket || platform::WSAAsyncSelect(s, Handle(), WM_SOCKET_EVENT, kAllEvents) != 0) {
        platform::closesocket(s);
        return;
    }
    FSocket = static_cast<std::uint16_t>(s);
}

platform::SOCKET TPowersock::Accept()
{
    while (!LookupDone && !Canceled) {
        if (!WaitPass())
            throw ESockError("Accepting Canceled");
    }
    if (Canceled)
        throw ESockError("Accepting Canceled");
    if (!NoError)
        throw ESockError("Error creating Data Connection");
    StatusMessage(level::Socket, status::Accepting);
    platform::SOCKADDR_IN peer;
    int length = sizeof peer;
    const platform::SOCKET s = platform::accept(FSocket, &peer, &length);
    if (s == platform::INVALID_SOCKET) {
        std::string text;
        ErrorManager(0, text);
    }
    RemoteAddress = peer;
    if (Canceled) {
        Canceled = false;
        platform::closesocket(s);
        throw EAbortError("Socket send aborted");
    }
    return s;
}

platform::LRESULT TPowersock::WndProc(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam)
{
    if (msg >= WM_SOCKET_EVENT && msg <= WM_READ_MORE)
        HandleSocketMessage(msg, wParam, lParam);
    return 0;
}

void TPowersock::HandleSocketMessage(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam) noexcept
{
    try {
        // Notifications still queued for a socket closed since then say nothing about this one.
        if (msg == WM_SOCKET_EVENT && wParam != FSocket)
            return;
        // The component's own messages carry the socket they were posted for. A read-more of an
        // earlier socket has nothing left to read; a send-more of one still ends a send that
        // waits, by failing on the socket that replaced it. Neither says anything of the error
        // state of the connection now being made.
        const bool stale = (msg == WM_SEND_MORE || msg == WM_READ_MORE) && wParam != FSocket;
        if (stale && msg == WM_READ_MORE)
            return;
        // The component's own messages carry its reference, never a zero high half: each of
        // them counts as an error for a Connect or Accept that is waiting.
        if (!stale)
            NoError = platform::HIWORD(lParam) == 0 && msg != WM_SEND_MORE && msg != WM_READ_MORE;
        switch (msg) {
        case WM_SOCKET_EVENT:
            switch (platform::LOWORD(lParam)) {
            case platform::FD_READ:
                ReadToStream();
                break;
            case platform::FD_WRITE:
                WriteFromStream();
                break;
            case platform::FD_ACCEPT:
                Connected = true;
                if (OnAccept)
                    OnAccept(this);
                break;
            case platform::FD_CONNECT:
                ConnectError = platform::HIWORD(lParam);
                if (NoError) {
                    Connected = true;
                    if (OnConnect)
                        OnConnect(this);
                }
                break;
            case platform::FD_CLOSE: {
                CloseError = platform::HIWORD(lParam);
                char buffer[kChunkSize];
                int n;
                const std::uint16_t socket = FSocket;
                do {
                    n = platform::recv(FSocket, buffer, kChunkSize, 0);
                    if (n > 0)
                        StoreIncoming(buffer, n);
                } while (n > 0 && !Canceled && FSocket == socket);
                // A failing secure channel has closed the connection already.
                if (FSocket != socket)
                    break;
                NoteSecureEnd();
                Connected = false;
                RequestCloseSocket();
                // A send waiting for room would wait for a notice that the closed connection
                // never gives: it ends now, as a send on a connection that is gone.
                if (FSendWaiting && FSendError == 0)
                    FSendError = CloseError != 0 ? CloseError : platform::WSAENOTCONN;
                break;
            }
            default:
                break;
            }
            break;
        case WM_LOOKUP_DONE:
            if (FLookup != 0 && wParam == FLookup) {
                FLookupAnswered = true;
                FLookupError = platform::HIWORD(lParam);
                LookupDone = true;
            }
            break;
        case WM_SEND_MORE:
            WriteFromStream();
            break;
        case WM_READ_MORE:
            ReadToStream();
            break;
        default:
            break;
        }
    } catch (...) {
        // Nothing raised while handling a notification may leave the dispatch.
    }
}

void TPowersock::StatusMessage(std::uint8_t Level, std::string_view Text)
{
    if (static_cast<std::int32_t>(Level) > ReportLevel)
        return;
    LastStatus = std::string(Text);
    if (!FDestroying && OnStatus)
        OnStatus(this, LastStatus);
}

void TPowersock::ErrorManager(std::uint16_t tolerated, std::string& text)
{
    StatusMessage(level::Errors, status::CheckingError);
    LastError = platform::WSAGetLastError();
    text.clear();
    if (LastError == tolerated)
        return;
    const auto number = static_cast<std::uint16_t>(LastError);
    LookupErrorMessage(number, text);
    if (OnSocketError)
        OnSocketError(this, number, text);
    throw ESockError(text);
}

void TPowersock::LookupErrorMessage(std::uint16_t error, std::string& text)
{
    text.clear();
    StatusMessage(level::Trace, status::LookingUpErrorMessage);
    if (error == 0)
        return;
    const auto table = SocketErrorTable();
    const auto row = std::lower_bound(
        table.begin(), table.end(), error, [](const SocketErrorRow& r, std::int32_t n) { return r.number < n; });
    if (row != table.end() && row->number == error)
        text = std::to_string(error) + ":" + std::string(row->text);
    else
        text = "Unknown Error No. " + std::to_string(error);
}

void TPowersock::TimerOn()
{
    StatusMessage(level::Trace, status::TimerOn);
    TimedOut = false;
    // A negative TimeOut means no limit, like 0: the timer's interval cannot be negative.
    timer->SetInterval(TimeOut > 0 ? static_cast<std::uint32_t>(TimeOut) : 0U);
    timer->SetEnabled(true);
}

void TPowersock::TimerOff()
{
    StatusMessage(level::Trace, status::TimerOff);
    timer->SetEnabled(false);
}

void TPowersock::TimerTriggered(QObject*)
{
    StatusMessage(level::Trace, status::TimerTriggered);
    TimerOff();
    TimedOut = true;
    Abort();
}

} // namespace net
