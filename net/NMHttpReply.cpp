// The reply side of TNMHTTP: status and header lines, the body, the outcome, and the watch that
// keeps a silent server, an unending header or a kept-open connection from holding a request.
#include "net/NMConst.h"
#include "net/NMHttp.h"
#include "platform/StrToInt.h"

#include <QPointer>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sys/mman.h>

namespace net {
namespace {

constexpr std::size_t kMaxHeaderValue = 256;
constexpr unsigned kWatchTimer = 1;
constexpr unsigned kWatchTickMs = 20;
constexpr std::size_t kMaxReservedBody = 1024 * 1024 * 1024;

std::string Upper(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string Lower(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// The rest of a header line after the first `skip` characters, without its line end, cut to 256.
std::string ValueAt(const std::string& line, std::size_t skip)
{
    std::string value = skip < line.size() ? line.substr(skip) : std::string();
    if (!value.empty() && value.back() == '\n')
        value.pop_back();
    if (!value.empty() && value.back() == '\r')
        value.pop_back();
    if (value.size() > kMaxHeaderValue)
        value.resize(kMaxHeaderValue);
    return value;
}

std::int16_t StatusNumber(const std::string& line)
{
    try {
        const int number = platform::StrToInt(NthField(line, ' ', 2));
        // A number the 16-bit reply number cannot hold is no usable status either.
        if (number >= std::numeric_limits<std::int16_t>::min() && number <= std::numeric_limits<std::int16_t>::max())
            return static_cast<std::int16_t>(number);
    } catch (const platform::EConvertError&) { }
    return 0;
}

// The digits after "ENGTH:" and one more character; 0 without digits or when they overflow.
std::int32_t ContentLengthOf(const std::string& line)
{
    const std::string upper = Upper(line);
    const auto at = upper.find("ENGTH:");
    if (at == std::string::npos)
        return 0;
    std::size_t i = at + 6 + 1;
    while (i < upper.size() && !std::isdigit(static_cast<unsigned char>(upper[i])))
        ++i;
    std::int64_t value = 0;
    for (; i < upper.size() && std::isdigit(static_cast<unsigned char>(upper[i])); ++i) {
        value = value * 10 + (upper[i] - '0');
        if (value > std::numeric_limits<std::int32_t>::max())
            return 0;
    }
    return static_cast<std::int32_t>(value);
}

// Filling a large fresh buffer costs one page fault per page; large pages make that a few.
void AdviseLargePages(std::string& buffer)
{
    constexpr std::uintptr_t kLargePage = 2 * 1024 * 1024;
    if (buffer.capacity() < 4 * kLargePage)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t last = (begin + buffer.capacity()) & ~(kLargePage - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

bool IsEndOfHeader(const std::string& line)
{
    return line.empty() || line == "\n" || line == "\r\n";
}

} // namespace

void TNMHTTP::ReadResponseHeader()
{
    BytesToSend = 0;
    ReceivedCookie.clear();
    std::unique_ptr<TFileStream> file;
    if (OutputFileMode)
        file = std::make_unique<TFileStream>(Header, TFileStream::Mode::Create);
    else
        Header.clear();

    auto record = [&](const std::string& line) {
        FHeaderBytes += line.size();
        if (FHeaderBytes > kMaxReplyHeader)
            throw ESockError("Reply Header Too Long");
        if (file)
            file->Write(line.data(), static_cast<std::int64_t>(line.size()));
        else
            Header += line;
    };

    std::string line = ReadLn();
    ReplyNumber = StatusNumber(line);
    record(line);
    do {
        line = ReadLn();
        const std::string name = Upper(NthField(line, ' ', 1));
        if (name == "SET-COOKIE:")
            ReceivedCookie = ValueAt(line, 12);
        else if (name == "LOCATION:")
            URL = ValueAt(line, 10);
        else if (name == "CONTENT-LENGTH:")
            BytesToSend = ContentLengthOf(line);
        NoteHeaderLine(line);
        record(line);
    } while (!IsEndOfHeader(line));
}

void TNMHTTP::NoteHeaderLine(const std::string& line)
{
    // Read leniently: these decide only when a reply on a kept-open connection is complete.
    const auto colon = line.find(':');
    if (colon == std::string::npos)
        return;
    const std::string name = Lower(Trim(line.substr(0, colon)));
    const std::string value = Trim(line.substr(colon + 1));
    if (name == "connection" || name == "proxy-connection") {
        std::size_t start = 0;
        while (start <= value.size()) {
            const auto comma = value.find(',', start);
            const std::string token
                = Lower(Trim(value.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
            if (token == "keep-alive")
                FKeepAlive = true;
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    } else if (name == "content-length") {
        std::int64_t length = 0;
        bool valid = !value.empty();
        for (const char c : value) {
            if (!std::isdigit(static_cast<unsigned char>(c)) || length > std::numeric_limits<std::int32_t>::max()) {
                valid = false;
                break;
            }
            length = length * 10 + (c - '0');
        }
        valid = valid && length <= std::numeric_limits<std::int32_t>::max();
        // Two different lengths, or one that is no plain number, cannot be trusted.
        if (!valid || (FContentLength >= 0 && FContentLength != length))
            FContentLengthValid = false;
        else
            FContentLength = length;
    }
}

void TNMHTTP::ReadBody()
{
    FBodyLimit = -1;
    if (FKeepAlive) {
        const bool noBody = FSentCommand == cmdHEAD || (ReplyNumber >= 100 && ReplyNumber <= 199) || ReplyNumber == 204
            || ReplyNumber == 304;
        if (noBody)
            FBodyLimit = 0;
        else if (FContentLengthValid && FContentLength >= 0)
            FBodyLimit = FContentLength;
    }
    FPhase = Phase::Body;

    if (InputFileMode) {
        if (FBodyLimit >= 0 && ReceiveQueue->Size() >= FBodyLimit) {
            FStop = Stop::BodyComplete;
            Cancel();
        }
        try {
            CaptureFile(Body);
        } catch (const EAbortError&) {
            if (FStop != Stop::BodyComplete)
                throw;
            FStop = Stop::None;
        }
        if (FBodyLimit >= 0) {
            std::error_code error;
            const auto size = std::filesystem::file_size(Body, error);
            if (!error && size > static_cast<std::uintmax_t>(FBodyLimit))
                std::filesystem::resize_file(Body, static_cast<std::uintmax_t>(FBodyLimit), error);
        }
    } else if (FBodyLimit >= 0) {
        CaptureString(Body, static_cast<std::int32_t>(FBodyLimit));
        if (Body.size() > static_cast<std::size_t>(FBodyLimit))
            Body.resize(static_cast<std::size_t>(FBodyLimit));
    } else {
        // Growing a large body step by step copies it over and over; the announced length,
        // within reason, lets it grow once.
        Body.clear();
        Body.shrink_to_fit();
        if (BytesToSend > 0) {
            Body.reserve(std::min<std::size_t>(static_cast<std::size_t>(BytesToSend), kMaxReservedBody));
            AdviseLargePages(Body);
        }
        CaptureString(Body, -1);
        // A length that promised far more than came must not keep its memory.
        if (Body.capacity() > 2 * Body.size() + kChunkSize)
            Body.shrink_to_fit();
    }
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
        http.FDataEvents = 0;
        http.FSeenDataEvents = 0;
        http.FSeenBytesSent = http.BytesSent;
        http.FLastProgress = std::chrono::steady_clock::now();
        http.FHeaderBytes = 0;
        http.FKeepAlive = false;
        http.FContentLength = -1;
        http.FContentLengthValid = true;
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
        ReceiveQueue = std::make_unique<TMemoryStream>();
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
        const auto* queue = dynamic_cast<const TMemoryStream*>(ReceiveQueue.get());
        if (queue && FHeaderBytes + queue->Bytes().size() > kMaxReplyHeader
            && queue->Bytes().find('\n') == std::string_view::npos) {
            FStop = Stop::HeaderTooLong;
            Cancel();
        }
    } else if (FPhase == Phase::Body && InputFileMode && FBodyLimit >= 0 && BytesRecvd >= FBodyLimit) {
        FStop = Stop::BodyComplete;
        Cancel();
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
    if (FPhase == Phase::Header && !Connected) {
        // The server has closed: a line end that is not queued now will never come.
        const auto* queue = dynamic_cast<const TMemoryStream*>(ReceiveQueue.get());
        if (!queue || queue->Bytes().find('\n') == std::string_view::npos) {
            FStop = Stop::HeaderIncomplete;
            Cancel();
            return;
        }
    }
    if (ReplyTimeOut > 0 && now - FLastProgress >= std::chrono::milliseconds(ReplyTimeOut)) {
        FStoppedWhileSending = FPhase == Phase::Sending;
        FStop = Stop::Stalled;
        Cancel();
    }
}

} // namespace net
