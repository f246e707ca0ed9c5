// TPowersock: one TCP connection driven by socket notifications on the user-interface thread.
#pragma once

#include "net/PsockFields.h"
#include "net/PsockStreams.h"
#include "net/SockErrors.h"
#include "net/ThreadTimer.h"
#include "platform/core/Events.h"
#include "platform/core/HostResolver.h"
#include "platform/core/MessageTarget.h"
#include "platform/core/SecureChannel.h"
#include "platform/core/Winsock.h"

#include <QObject>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace net {

using TOnStatus = std::function<void(QObject* Sender, const std::string& Status)>;
using TOnSocketError = std::function<void(QObject* Sender, std::uint16_t Error, const std::string& Text)>;
using THandlerEvent = std::function<void(bool& Handled)>;
using TOnHostResolved = std::function<void(QObject* Sender)>;

constexpr unsigned WM_SOCKET_EVENT = 1125;
constexpr unsigned WM_LOOKUP_DONE = 1126;
constexpr unsigned WM_SEND_MORE = 1127;
constexpr unsigned WM_READ_MORE = 1128;

// Every receive and every send moves at most this many bytes.
constexpr int kChunkSize = 16383;
constexpr std::uint16_t kNoSocket = 65535;
// Write sends at most this many characters of its text.
constexpr std::size_t kWriteBufferLimit = 16384;

// Blocking-style operations are wait loops that keep the user interface live: any event
// handler may run inside them, including Cancel, which ends every wait at its next test.
// A subclass whose Abort matters (it ends waits of its own) must call it from its own
// destructor too: the base destructor can only run TPowersock::Abort, which does nothing.
// Do not delete the component from inside one of its own event handlers; deleting it from
// another handler while one of its waits runs ends that wait with an exception.
class TPowersock : public QObject {
public:
    // Raises ESockError "Initializaton of windows sockets failed" when no socket can be had.
    explicit TPowersock(QObject* owner);
    ~TPowersock() override;
    TPowersock(const TPowersock&) = delete;
    TPowersock& operator=(const TPowersock&) = delete;

    // Waits until LookupDone (the accept-ready flag), then accepts a connection on the socket.
    virtual platform::SOCKET Accept();
    // Resolves Host (or Proxy) and connects, within TimeOut for each of the two waits.
    virtual void Connect();
    // Connects to Proxy:ProxyPort and asks it for a tunnel to Host:Port (HTTP CONNECT), waiting
    // for its answer within TimeOut; without a Proxy, the same as Connect. A refusal closes the
    // connection and raises ESockError "Proxy refused the tunnel: " with the proxy's status line.
    void ConnectThroughProxy();
    // Runs a TLS handshake on the connected socket, within TimeOut: Host is the name sent to
    // the server and checked against its certificate. Bytes received in the clear and not yet
    // read are discarded first, so that nothing the network injected reads as if it had been
    // secured. Every failure closes the connection and raises ESockError with the reason; a
    // Cancel raises EAbortError. Afterwards every read and write runs over the secure channel,
    // until the connection closes.
    void StartTLS();
    // The handshake completed and the peer's certificate was verified.
    bool Secure() const { return FChannel && FChannel->Established(); }
    virtual void Disconnect();
    // Sends the command as a line and returns the reply line; ReplyNumber gets its leading
    // number, or 0 when it has none or the number does not fit in 16 signed bits.
    virtual std::string Transaction(const std::string& Command);
    // Run when the time-out expires and when destruction starts; a subclass ends its own waits here.
    virtual void Abort() { }

    // Sets Canceled; every wait loop ends at its next test.
    void Cancel();
    // Closes the socket and, unless the component is being destroyed, opens a fresh one.
    void RequestCloseSocket();
    // Fills the address of RemoteAddress from Proxy or Host.
    void ResolveHost();

    // Queues `count` bytes (0: up to the first zero byte) and waits until the socket took them.
    void SendBuffer(const char* Value, std::uint16_t count);
    // Sends the text up to its first zero character and at most 16384 characters.
    void Write(const std::string& Str);
    void Writeln(const std::string& Str);
    // Waits for a line feed and returns the line with it; no time limit.
    std::string ReadLn();
    void SendFile(const std::string& FileName);
    // Everything queued and everything that arrives until the peer closes goes to the file.
    void CaptureFile(const std::string& FileName);
    // Size -1: until the peer closes and the queue is empty; else until at least Size bytes.
    void CaptureString(std::string& AString, std::int32_t Size);

    // Notification handlers: a read fills ReceiveQueue, a write drains SendQueue.
    void ReadToStream();
    void WriteFromStream();
    void HandleSocketMessage(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam) noexcept;

    // The status filter: texts whose level is at most ReportLevel reach LastStatus and OnStatus.
    void StatusMessage(std::uint8_t Level, std::string_view Text);
    // Checks the library's last error: returns quietly when it is `tolerated`, else fires
    // OnSocketError and raises ESockError with the error's text.
    void ErrorManager(std::uint16_t tolerated, std::string& text);
    void LookupErrorMessage(std::uint16_t error, std::string& text);

    void TimerOn();
    void TimerOff();
    void TimerTriggered(QObject* Sender);

    bool Destroying() const { return FDestroying; }
    platform::HWND Handle() const { return FWindow ? FWindow->handle() : 0; }
    std::uint16_t Socket() const { return FSocket; }
    const platform::WSADATA& WinsockData() const { return FWSAData; }
    // Components alive in this process; the library runs while there is at least one.
    static int LiveCount();

    platform::TNotifyEvent OnDataReceived;
    platform::TNotifyEvent OnAccept;
    platform::TNotifyEvent OnConnect;
    platform::TNotifyEvent OnDisconnect;
    TOnSocketError OnSocketError;
    THandlerEvent OnInvalidHost;
    TOnHostResolved OnHostResolved;
    TOnStatus OnStatus;
    platform::TNotifyEvent OnConnectionFailed;
    bool PacketEvents = false;
    bool InHandler = false;
    std::vector<std::string> WinsockInfo;
    std::int32_t BytesSent = 0;
    bool Canceled = false;
    bool NoReopen = false;
    std::int32_t LastError = 0;
    // Milliseconds for the lookup and for the connect; 0 or negative means no limit.
    std::int32_t TimeOut = 0;
    std::int32_t ReportLevel = 0;
    std::string LastStatus;
    std::string Proxy;
    std::int32_t ProxyPort = 0;
    std::unique_ptr<TStream> SendQueue;
    bool NoError = false;
    bool TimedOut = false;
    std::int32_t Port = 0;
    std::int32_t BytesToSend = 0;
    std::int32_t BytesRecvd = 0;
    platform::TNotifyEvent OnPacketRecvd;
    platform::TNotifyEvent OnPacketSent;
    bool LookupDone = false;
    platform::SOCKADDR_IN RemoteAddress;
    std::string Host;
    std::string LastResponse;
    std::int16_t ReplyNumber = 0;
    bool SendDone = false;
    bool FileMode = false;
    platform::TNotifyEvent OnAborted;
    // Bytes received and not yet consumed; its position stands at its end between reads.
    std::unique_ptr<TStream> ReceiveQueue;
    bool Connected = false;
    // The error of the peer's close, 0 when it closed in good order (or has not closed) since
    // the last Connect: 10054 when it reset the connection.
    std::uint16_t CloseError = 0;
    // The error the last Connect failed with (10061 when the peer refused), 0 when it did not fail so.
    std::uint16_t ConnectError = 0;

protected:
    void InitWinsock();
    platform::LRESULT WndProc(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam);
    // One pass of a wait loop, sleeping until an event comes unless Canceled is set; false when
    // the pass destroyed the component. A loop tests its end before the first pass.
    bool WaitPass();
    // The same for a loop that keeps a deadline of its own: also returns once `bound` has
    // passed with nothing dispatched.
    bool WaitPassFor(std::chrono::milliseconds bound);
    // The send wait ended because the socket refused the bytes for good: raise its error.
    [[noreturn]] void RaiseSendError();
    // Waits until the queued bytes are sent, the send fails (a close of the connection fails
    // it too) or the wait is canceled.
    void WaitForSend();
    // Appends to ReceiveQueue; false when a capture file refused the bytes.
    bool StoreReceived(const char* bytes, std::int64_t n);

    // The secure channel between the socket and the queues. Received bytes go through
    // StoreIncoming, sent bytes through SendToPeer; without a channel both are the plain calls.
    // False when the bytes could not be stored, or the connection ended: the channel failed, or
    // the peer sent its closing alert (the plain bytes before it are stored).
    bool StoreIncoming(const char* bytes, std::int64_t n);
    // Like send: the number of bytes taken, or SOCKET_ERROR with the library's last error set.
    int SendToPeer(const char* bytes, int n);
    // Sends the records the channel made; true when none is left waiting.
    bool FlushChannelOutput();
    // The peer closed the connection: without its closing alert the data may have been cut short.
    void NoteSecureEnd();
    // Sends the closing alert if it can, and drops the channel; the next connection is plain.
    void EndSecureChannel();
    // Closes the connection for the channel's failure; waits raise the text.
    void FailSecureConnection(std::string text);
    // Raises the failure of the secure connection, if any: wait loops call it when nothing more can come.
    void RaiseSecureFailure();

    TThreadTimer* timer = nullptr;
    bool FDestroying = false;

private:
    platform::WSADATA FWSAData;
    std::unique_ptr<char[]> HostEntryBuffer;
    std::unique_ptr<char[]> WriteBuffer;
    std::unique_ptr<TStream> FSpareSend;
    std::unique_ptr<platform::MessageTarget> FWindow;
    std::uint16_t FSocket = kNoSocket;
    platform::HANDLE FLookup = 0;
    bool FLookupAnswered = false;
    int FLookupError = 0;
    int FSendError = 0;
    // A send waits for room in the socket: a close of the connection must end that wait.
    bool FSendWaiting = false;
    std::int64_t FFileOffset = 0;
    std::string FCaptureError;
    std::unique_ptr<platform::SecureChannel> FChannel;
    // Records made by the channel and not yet taken by the socket.
    std::string FChannelOut;
    // Plain bytes of the records just received; kept so its room serves every receive.
    std::string FChannelPlain;
    std::string FChannelError;
};

} // namespace net
