// The reply side of TNMHTTP: status and header lines, the body, the outcome, and the watch that
// keeps a silent or trickling server, an unending or cut reply, a reset or a kept-open
// connection from holding a request or growing the process without bound.
#include "net/NMConst.h"
#include "net/NMHttp.h"
#include "net/ReceiveBuffer.h"

#include <QPointer>

#include <algorithm>
#include <filesystem>

namespace net {
namespace {

constexpr unsigned kWatchTimer = 1;
constexpr unsigned kWatchTickMs = 20;
// Reserved ahead for a body whatever its announced length: the rest grows with what arrives.
constexpr std::size_t kBodyReserve = std::size_t { 64 } * 1024;

} // namespace

void TNMHTTP::ReadResponseHeader()
{
    BytesToSend = 0;
    ReceivedCookie.clear();
    FReply = TReplyHeadReader();
    std::unique_ptr<TFileStream> file;
    if (OutputFileMode)
        file = std::make_unique<TFileStream>(Header, TFileStream::Mode::Create);
    else
        Header.clear();

    bool complete = false;
    do {
        const std::string line = ReadLn();
        complete = FReply.TakeLine(line);
        TakeHeaderValues();
        if (file)
            file->Write(line.data(), static_cast<std::int64_t>(line.size()));
        else
            Header += line;
    } while (!complete);
}

void TNMHTTP::TakeHeaderValues()
{
    const TReplyHead& head = FReply.Head();
    ReplyNumber = head.ReplyNumber;
    if (ReceivedCookie != head.Cookie)
        ReceivedCookie = head.Cookie;
    if (head.HasLocation && URL != head.Location)
        URL = head.Location;
    BytesToSend = head.BytesToSend;
}

void TNMHTTP::ReadBody()
{
    const bool headRequest = FSentCommand == cmdHEAD;
    FBodyLimit = BodyLimitBeforeClose(FReply.Head(), headRequest);
    FPhase = Phase::Body;
    const QPointer<TNMHTTP> self(this);

    if (InputFileMode) {
        if (FBodyLimit >= 0 && ReceiveQueue->Size() >= FBodyLimit) {
            FStop = Stop::BodyComplete;
            Cancel();
        }
        try {
            CaptureFile(Body);
        } catch (const EAbortError&) {
            if (!self || FStop != Stop::BodyComplete)
                throw;
            FStop = Stop::None;
        }
        std::error_code error;
        const auto size = std::filesystem::file_size(Body, error);
        if (FBodyLimit >= 0 && !error && size > static_cast<std::uintmax_t>(FBodyLimit))
            std::filesystem::resize_file(Body, static_cast<std::uintmax_t>(FBodyLimit), error);
        // A device such as /dev/null keeps nothing to measure: the count of the capture holds.
        std::uint64_t received = static_cast<std::uint32_t>(BytesRecvd);
        if (!error)
            received = std::max<std::uint64_t>(received, size);
        if (FBodyLimit >= 0)
            received = std::min(received, static_cast<std::uint64_t>(FBodyLimit));
        JudgeBodyEnd(received);
        return;
    }
    // Memory follows the bytes that arrive, never the length the server announces.
    Body.clear();
    Body.shrink_to_fit();
    if (BytesToSend > 0)
        Body.reserve(std::min<std::size_t>(static_cast<std::size_t>(BytesToSend), kBodyReserve));
    if (FBodyLimit >= 0) {
        CaptureString(Body, static_cast<std::int32_t>(FBodyLimit));
        if (Body.size() > static_cast<std::size_t>(FBodyLimit))
            Body.resize(static_cast<std::size_t>(FBodyLimit));
    } else {
        CaptureString(Body, -1);
    }
    if (MaxBodySize > 0 && Body.size() > static_cast<std::uint64_t>(MaxBodySize))
        throw ESockError("Reply Body Too Long");
    JudgeBodyEnd(Body.size());
}

void TNMHTTP::JudgeBodyEnd(std::uint64_t received)
{
    const TReplyHead& head = FReply.Head();
    const bool headRequest = FSentCommand == cmdHEAD;
    const bool complete = HasNoBody(head, headRequest)
        || (head.ContentLengthValid && head.ContentLength >= 0
            && received >= static_cast<std::uint64_t>(head.ContentLength));
    if (!complete && CloseError != 0) {
        std::string text;
        LookupErrorMessage(CloseError, text);
        throw ESockError(text);
    }
    if (BodyCutShort(head, headRequest, received))
        throw ESockError("Reply Body Incomplete");
}

void TNMHTTP::JudgeReply()
{
    if (ReplyNumber < 300) {
        const QPointer<TNMHTTP> self(this);
        if (OnSuccess) {
            OnSuccess(FSentCommand);
            if (!self)
                return;
        }
        StatusMessage(2, "Transaction Completed");
    } else if (ReplyNumber >= 400) {
        if (OnFailure)
            OnFailure(FSentCommand);
    }
}

class TNMHTTP::Watch {
public:
    explicit Watch(TNMHTTP& http)
        : http_(http)
        , self_(&http)
    {
        http.FStop = Stop::None;
        http.FStopMessage.clear();
        http.FDataEvents = 0;
        http.FSeenDataEvents = 0;
        http.FSeenBytesSent = http.BytesSent;
        http.FLastProgress = std::chrono::steady_clock::now();
        http.FReply = TReplyHeadReader();
        http.FBodyLimit = -1;
        http.FPhase = Phase::Sending;
        http.FWatchWindow->SetTimer(kWatchTimer, kWatchTickMs);
    }
    ~Watch() { Disarm(); }
    void Disarm()
    {
        if (!self_ || disarmed_)
            return;
        disarmed_ = true;
        http_.FPhase = Phase::Idle;
        http_.FWatchWindow->KillTimer(kWatchTimer);
    }
    bool Alive() const { return !self_.isNull(); }

private:
    TNMHTTP& http_;
    QPointer<TNMHTTP> self_;
    bool disarmed_ = false;
};

void TNMHTTP::Exchange()
{
    Watch watch(*this);
    auto disconnectQuietly = [&] {
        watch.Disarm();
        // The exception that ended the exchange is the one to report, not a failing close.
        try {
            Disconnect();
        } catch (...) { }
        // What the exchange left unsent or unread belongs to no later one; let its memory go too.
        SendQueue = std::make_unique<TMemoryStream>();
        ReceiveQueue = std::make_unique<TReceiveBuffer>();
    };
    try {
        try {
            SendRequest();
        } catch (const EAbortError&) {
            throw;
        } catch (const ESockError&) {
            // A server may answer and close before it has taken the whole request (a refused
            // upload): its answer, already queued, is the reply.
            if (!watch.Alive() || Connected || ReceiveQueue->Size() == 0)
                throw;
            Command = cmdGET;
        }
        FReplyStart = std::chrono::steady_clock::now();
        FPhase = Phase::Header;
        ReadResponseHeader();
        ReadBody();
        watch.Disarm();
        JudgeReply();
    } catch (const EAbortError&) {
        if (!watch.Alive())
            throw;
        const Stop reason = FStop;
        FStop = Stop::None;
        disconnectQuietly();
        if (reason != Stop::None && reason != Stop::BodyComplete)
            RaiseStop(reason);
        throw;
    } catch (...) {
        if (!watch.Alive())
            throw;
        disconnectQuietly();
        throw;
    }
    if (!watch.Alive())
        return;
    watch.Disarm();
    Disconnect();
}

void TNMHTTP::RaiseStop(Stop reason)
{
    switch (reason) {
    case Stop::HeaderIncomplete:
        throw ESockError("Reply Header Incomplete");
    case Stop::HeaderTooLong:
        throw ESockError("Reply Header Too Long");
    case Stop::BodyTooLong:
        throw ESockError("Reply Body Too Long");
    case Stop::Deadline:
        throw ESockError("Reply Timed Out");
    case Stop::Reset:
        throw ESockError(FStopMessage);
    default:
        break;
    }
    throw ESockError(FStoppedWhileSending ? "Send Timed Out" : "Reply Timed Out");
}

void TNMHTTP::DataArrived()
{
    ++FDataEvents;
    if (FStop != Stop::None)
        return;
    if (FPhase == Phase::Header) {
        // One line that never ends: ReadLn would gather it for ever.
        auto* queue = dynamic_cast<TReceiveBuffer*>(ReceiveQueue.get());
        if (queue && FReply.LineCannotEnd(queue->Bytes().size()) && queue->FindLineEnd() == std::string_view::npos) {
            FStop = Stop::HeaderTooLong;
            Cancel();
        }
    } else if (FPhase == Phase::Body && InputFileMode) {
        if (FBodyLimit >= 0 && BytesRecvd >= FBodyLimit) {
            FStop = Stop::BodyComplete;
            Cancel();
        }
    } else if (FPhase == Phase::Body && MaxBodySize > 0) {
        const auto held = static_cast<std::uint64_t>(Body.size()) + static_cast<std::uint64_t>(ReceiveQueue->Size());
        const bool wanted = FBodyLimit >= 0 && Body.size() >= static_cast<std::uint64_t>(FBodyLimit);
        if (held > static_cast<std::uint64_t>(MaxBodySize) && !wanted) {
            FStop = Stop::BodyTooLong;
            Cancel();
        }
    }
}

void TNMHTTP::WatchTick()
{
    if (FPhase == Phase::Idle || FStop != Stop::None)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (FDataEvents != FSeenDataEvents || BytesSent != FSeenBytesSent) {
        FSeenDataEvents = FDataEvents;
        FSeenBytesSent = BytesSent;
        FLastProgress = now;
    }
    const bool reading = FPhase == Phase::Header || FPhase == Phase::Body;
    if (FPhase == Phase::Header && !Connected) {
        // A reset cuts the reply; after a plain close, a line end not queued now never comes.
        if (CloseError != 0) {
            FStop = Stop::Reset;
            LookupErrorMessage(CloseError, FStopMessage);
            Cancel();
            return;
        }
        auto* queue = dynamic_cast<TReceiveBuffer*>(ReceiveQueue.get());
        if (!queue || queue->FindLineEnd() == std::string_view::npos) {
            FStop = Stop::HeaderIncomplete;
            Cancel();
            return;
        }
    }
    if (reading && ReplyDeadline > 0 && now - FReplyStart >= std::chrono::milliseconds(ReplyDeadline)) {
        FStop = Stop::Deadline;
        Cancel();
        return;
    }
    if (ReplyTimeOut > 0 && now - FLastProgress >= std::chrono::milliseconds(ReplyTimeOut)) {
        FStoppedWhileSending = FPhase == Phase::Sending;
        FStop = Stop::Stalled;
        Cancel();
    }
}

} // namespace net
