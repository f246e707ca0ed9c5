// Reading and writing of TPowersock: the queues, their notification handlers and the waits on them.
#include "net/GrowingString.h"
#include "net/LineEnd.h"
#include "net/NMConst.h"
#include "net/Psock.h"
#include "net/ReceiveBuffer.h"

#include <QPointer>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

namespace net {
namespace {

template <typename F> class ScopeExit {
public:
    explicit ScopeExit(F f)
        : f_(std::move(f))
    { }
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F f_;
};

// The counters are 32 bits wide and wrap like the originals instead of overflowing.
std::int32_t addWrapping(std::int32_t counter, std::int64_t n)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + static_cast<std::uint32_t>(n));
}

// The stream's bytes; a memory stream lends them, any other is copied into `scratch`.
std::string_view streamBytes(TStream& stream, std::string& scratch)
{
    if (auto* memory = dynamic_cast<TMemoryStream*>(&stream))
        return memory->Bytes();
    if (auto* buffer = dynamic_cast<TReceiveBuffer*>(&stream))
        return buffer->Bytes();
    const std::int64_t position = stream.Position();
    scratch.resize(static_cast<std::size_t>(stream.Size()));
    stream.Seek(0);
    scratch.resize(static_cast<std::size_t>(stream.Read(scratch.data(), stream.Size())));
    stream.Seek(position);
    return scratch;
}

// A line read while a capture file stands in for the receive queue: rare, so plainly copied.
std::optional<std::string> takeLineFromStream(TStream& stream)
{
    std::string bytes;
    const std::string_view all = streamBytes(stream, bytes);
    const auto end = FindLine(all);
    if (!end)
        return std::nullopt;
    std::string line(all.substr(0, end->whole));
    const std::string rest(all.substr(end->whole));
    stream.Clear();
    stream.Append(rest);
    return line;
}

// For the length of a file transfer a file stream takes the place of one of the queues, with
// PacketEvents and FileMode on; afterwards the queue comes back and both flags are cleared.
// When the file cannot be opened, queue and flags are put back as they were and the open's
// exception goes on. A component destroyed during the transfer is left alone.
class FileInQueue {
public:
    FileInQueue(TPowersock& owner, std::unique_ptr<TStream>& queue)
        : owner_(&owner)
        , queue_(queue)
        , kept_(std::move(queue))
        , keptPacketEvents_(owner.PacketEvents)
        , keptFileMode_(owner.FileMode)
    {
        owner.PacketEvents = true;
        owner.FileMode = true;
    }
    ~FileInQueue()
    {
        if (!owner_)
            return;
        queue_ = std::move(kept_);
        owner_->PacketEvents = opened_ ? false : keptPacketEvents_;
        owner_->FileMode = opened_ ? false : keptFileMode_;
    }
    FileInQueue(const FileInQueue&) = delete;
    FileInQueue& operator=(const FileInQueue&) = delete;

    void Open(const std::string& fileName, TFileStream::Mode mode)
    {
        queue_ = std::make_unique<TFileStream>(fileName, mode);
        opened_ = true;
    }
    // The queue as it was before the transfer.
    TStream& Kept() { return *kept_; }

private:
    QPointer<TPowersock> owner_;
    std::unique_ptr<TStream>& queue_;
    std::unique_ptr<TStream> kept_;
    bool keptPacketEvents_;
    bool keptFileMode_;
    bool opened_ = false;
};

} // namespace

void TPowersock::SendBuffer(const char* Value, std::uint16_t count)
{
    StatusMessage(level::Socket, status::SendingBuffer);
    if (Canceled)
        return;
    const std::size_t length = count != 0 ? count : (Value ? std::strlen(Value) : 0);
    if (length > 0)
        SendQueue->Append(std::string_view(Value, length));
    // Nothing to hand over: waiting for the queue to drain would wait for ever.
    if (SendQueue->Size() == 0)
        return;
    SendDone = false;
    FSendError = 0;
    platform::PostMessage(Handle(), WM_SEND_MORE, FSocket, reinterpret_cast<platform::LPARAM>(this));
    WaitForSend();
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket send aborted");
    }
    if (FSendError != 0) {
        // The bytes were meant for a connection that is gone; they must not open the next one.
        SendQueue->Clear();
        RaiseSendError();
    }
}

void TPowersock::WaitForSend()
{
    const bool outerWait = std::exchange(FSendWaiting, true);
    while (!SendDone && !Canceled && FSendError == 0) {
        if (!WaitPass())
            throw EAbortError("Socket send aborted");
    }
    FSendWaiting = outerWait;
}

void TPowersock::RaiseSendError()
{
    const int error = FSendError;
    FSendError = 0;
    LastError = error;
    std::string text;
    LookupErrorMessage(static_cast<std::uint16_t>(error), text);
    if (OnSocketError)
        OnSocketError(this, static_cast<std::uint16_t>(error), text);
    throw ESockError(text);
}

void TPowersock::Write(const std::string& Str)
{
    StatusMessage(level::Trace, status::Write);
    const std::size_t n = std::min<std::size_t>(Str.size(), kWriteBufferLimit);
    std::memcpy(WriteBuffer.get(), Str.data(), n);
    WriteBuffer[n] = '\0';
    SendBuffer(WriteBuffer.get(), 0);
}

void TPowersock::Writeln(const std::string& Str)
{
    StatusMessage(level::Trace, status::Writeln);
    Write(Str + "\r\n");
}

void TPowersock::WriteFromStream()
{
    if (InHandler)
        return;
    InHandler = true;
    const ScopeExit clear([this] { InHandler = false; });
    StatusMessage(level::Trace, status::WriteFromStream);
    // Records of the secure channel go out before anything new: the socket's next write
    // notification resumes them when it is full.
    if (!FlushChannelOutput())
        return;
    const bool pending = FileMode ? SendQueue->Position() < SendQueue->Size() : SendQueue->Size() > 0;
    if (!pending && FChannel)
        SendDone = true;
    if (!pending || Canceled)
        return;
    SendQueue->Seek(FileMode ? FFileOffset : 0);
    char buffer[kChunkSize];
    const std::int64_t len = SendQueue->Read(buffer, kChunkSize);
    const int n = SendToPeer(buffer, static_cast<int>(len));
    if (n == platform::SOCKET_ERROR) {
        LastError = platform::WSAGetLastError();
        SendQueue->Seek(0);
        // Would-block resumes with the next write notification; anything else never will.
        if (LastError != platform::WSAEWOULDBLOCK)
            FSendError = LastError;
        return;
    }
    const std::int64_t sentUpTo = SendQueue->Position() - len + n;
    if (sentUpTo >= SendQueue->Size()) {
        if (!FileMode)
            SendQueue->Clear();
        SendDone = FChannelOut.empty();
    } else {
        if (FileMode) {
            SendQueue->Seek(sentUpTo);
        } else {
            std::string scratch;
            const std::string_view bytes = streamBytes(*SendQueue, scratch);
            FSpareSend->Clear();
            FSpareSend->Write(bytes.data() + n, static_cast<std::int64_t>(bytes.size()) - n);
            SendQueue->Clear();
            std::swap(SendQueue, FSpareSend);
            SendQueue->Seek(0);
        }
        platform::PostMessage(Handle(), WM_SEND_MORE, FSocket, reinterpret_cast<platform::LPARAM>(this));
    }
    if (FileMode)
        FFileOffset += n;
    BytesSent = addWrapping(BytesSent, n);
    if (PacketEvents && OnPacketSent)
        OnPacketSent(this);
}

bool TPowersock::StoreReceived(const char* bytes, std::int64_t n)
{
    try {
        ReceiveQueue->Append(std::string_view(bytes, static_cast<std::size_t>(n)));
        return true;
    } catch (const platform::Exception& e) {
        // Only a capture file can refuse bytes; CaptureFile reports it when its wait ends.
        if (FCaptureError.empty())
            FCaptureError = e.Message;
        return false;
    }
}

void TPowersock::ReadToStream()
{
    if (Canceled) {
        platform::WSAAsyncSelect(FSocket, Handle(), WM_SOCKET_EVENT, 0);
        if (OnAborted)
            OnAborted(this);
    }
    if (InHandler)
        return;
    bool stored = false;
    {
        InHandler = true;
        const ScopeExit clear([this] { InHandler = false; });
        StatusMessage(level::Trace, status::ReadToStream);
        char buffer[kChunkSize];
        const int n = platform::recv(FSocket, buffer, kChunkSize, 0);
        if (n == platform::SOCKET_ERROR) {
            LastError = platform::WSAGetLastError();
            std::string text;
            LookupErrorMessage(static_cast<std::uint16_t>(LastError), text);
            if (OnSocketError)
                OnSocketError(this, static_cast<std::uint16_t>(LastError), text);
        } else {
            if (!StoreIncoming(buffer, n))
                return;
            if (PacketEvents) {
                BytesRecvd = addWrapping(BytesRecvd, n);
                if (OnPacketRecvd)
                    OnPacketRecvd(this);
            }
            stored = true;
            if (n == kChunkSize)
                platform::PostMessage(Handle(), WM_READ_MORE, FSocket, reinterpret_cast<platform::LPARAM>(this));
        }
    }
    if (stored && OnDataReceived)
        OnDataReceived(this);
}

std::string TPowersock::ReadLn()
{
    StatusMessage(level::Trace, status::ReadLn);
    for (;;) {
        // A cancel leaves a waiting line where it is.
        if (Canceled)
            throw EAbortError("Socket readln aborted");
        if (ReceiveQueue->Position() > 0) {
            auto* queue = dynamic_cast<TReceiveBuffer*>(ReceiveQueue.get());
            if (auto line = queue ? queue->TakeLine() : takeLineFromStream(*ReceiveQueue))
                return std::move(*line);
        }
        if (!Connected)
            RaiseSecureFailure();
        if (!WaitPass())
            throw EAbortError("Socket readln aborted");
    }
}

std::string TPowersock::Transaction(const std::string& Command)
{
    StatusMessage(level::Trace, status::Transaction);
    ReplyNumber = 0;
    Writeln(Command);
    LastResponse = ReadLn();
    if (!LastResponse.empty()) {
        StatusMessage(level::Reply, LastResponse);
        std::int32_t value = 0;
        std::size_t digits = 0;
        const std::size_t limit = std::min<std::size_t>(LastResponse.size(), 10);
        while (digits < limit && LastResponse[digits] >= '0' && LastResponse[digits] <= '9') {
            // At most 10 digits: the value fits in 64 bits; beyond 16 signed bits it is no reply code.
            value = static_cast<std::int32_t>(std::min<std::int64_t>(
                std::int64_t { value } * 10 + (LastResponse[digits] - '0'), std::numeric_limits<std::int32_t>::max()));
            ++digits;
        }
        if (digits > 0)
            ReplyNumber = value <= std::numeric_limits<std::int16_t>::max() ? static_cast<std::int16_t>(value) : 0;
    }
    return LastResponse;
}

void TPowersock::SendFile(const std::string& FileName)
{
    StatusMessage(level::Trace, status::SendFile);
    {
        FileInQueue file(*this, SendQueue);
        file.Open(FileName, TFileStream::Mode::OpenRead);
        const std::int64_t size = SendQueue->Size();
        SendDone = false;
        FSendError = 0;
        BytesSent = 0;
        FFileOffset = 0;
        BytesToSend = static_cast<std::int32_t>(std::min<std::int64_t>(size, std::numeric_limits<std::int32_t>::max()));
        platform::PostMessage(Handle(), WM_SEND_MORE, FSocket, reinterpret_cast<platform::LPARAM>(this));
        if (size > 0)
            WaitForSend();
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket send aborted");
    }
    if (FSendError != 0)
        RaiseSendError();
}

void TPowersock::CaptureFile(const std::string& FileName)
{
    {
        FileInQueue file(*this, ReceiveQueue);
        StatusMessage(level::Trace, status::CaptureFile);
        file.Open(FileName, TFileStream::Mode::Create);
        FCaptureError.clear();
        BytesRecvd = 0;
        TStream& kept = file.Kept();
        if (kept.Size() > 0) {
            std::string scratch;
            const std::string_view bytes = streamBytes(kept, scratch);
            ReceiveQueue->Append(bytes);
            BytesRecvd = addWrapping(0, static_cast<std::int64_t>(bytes.size()));
            kept.Clear();
        }
        while (Connected && !Canceled && FCaptureError.empty()) {
            if (!WaitPass())
                throw EAbortError("Socket send aborted");
        }
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket send aborted");
    }
    if (!FCaptureError.empty()) {
        const std::string message = std::move(FCaptureError);
        FCaptureError.clear();
        throw EWriteError(message);
    }
    RaiseSecureFailure();
}

void TPowersock::CaptureString(std::string& AString, std::int32_t Size)
{
    AString.clear();
    PacketEvents = true;
    // Off however the loop ends, unless a handler inside it deleted the component.
    const QPointer<TPowersock> self(this);
    const ScopeExit packetEventsOff([&] {
        if (self)
            PacketEvents = false;
    });
    StatusMessage(level::Trace, status::CaptureString);
    BytesRecvd = 0;
    const auto limit = static_cast<std::size_t>(std::max<std::int32_t>(Size, 0));
    std::string scratch;
    for (;;) {
        const bool queued = ReceiveQueue->Size() > 0;
        if (Canceled)
            break;
        if (!Connected && !queued)
            RaiseSecureFailure();
        if (Size == -1 && !Connected && !queued)
            break;
        if (Size >= 0 && AString.size() >= limit)
            break;
        // A sized capture also ends when nothing more can arrive; it would wait for ever.
        if (Size >= 0 && !Connected && !queued)
            break;
        if (Size < -1)
            break;
        if (queued) {
            AppendGrowing(AString, streamBytes(*ReceiveQueue, scratch));
            ReceiveQueue->Clear();
        } else if (!WaitPass()) {
            throw EAbortError("Socket capture aborted");
        }
    }
    PacketEvents = false;
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket capture aborted");
    }
}

} // namespace net
