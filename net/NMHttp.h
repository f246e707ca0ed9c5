// TNMHTTP: the HTTP/1.0 client. Each request operation runs one whole exchange (and any
// redirections) on its own connection and returns when it is over.
#pragma once

#include "net/NMExtstr.h"
#include "net/NMHttpReplyHead.h"
#include "net/Psock.h"
#include "platform/core/Events.h"
#include "platform/core/MessageTarget.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace net {

enum CmdType : std::uint8_t {
    cmdGET = 0,
    cmdOPTIONS = 1,
    cmdHEAD = 2,
    cmdPOST = 3,
    cmdPUT = 4,
    cmdPATCH = 5,
    cmdCOPY = 6,
    cmdMOVE = 7,
    cmdDELETE = 8,
    cmdLINK = 9,
    cmdUNLINK = 10,
    cmdTRACE = 11,
    cmdSendRaw = 12,
};

// Values of the optional request header lines; an empty value leaves its line out.
class THeaderInfo {
public:
    std::string LocalMailAddress;
    std::string LocalProgram;
    std::string Cookie;
    std::string Referer;
    std::string UserId;
    std::string Password;
};

using TResultEvent = std::function<void(CmdType Cmd)>;

class TNMHTTP : public TPowersock {
public:
    // Redirections followed by one request operation before it gives up.
    static constexpr int kMaxRedirects = 16;
    // A reply header (status and header lines) larger than this ends the request.
    static constexpr std::size_t kMaxReplyHeader = TReplyHeadReader::kMaxHeaderBytes;

    explicit TNMHTTP(QObject* owner);
    ~TNMHTTP() override;

    // Ends the waits of a request: sets LookupDone and cancels.
    void Abort() override;

    virtual void RunRequest();
    virtual void SplitURL();
    virtual void BuildRequest();
    virtual void ReadResponseHeader();
    virtual void SendRequest();

    virtual void Options(const std::string& AURL);
    virtual void Get(const std::string& AURL);
    virtual void Post(const std::string& AURL, const std::string& PostData);
    virtual void Put(const std::string& AURL, const std::string& PutData);
    virtual void Head(const std::string& AURL);
    virtual void Patch(const std::string& AURL, const std::string& PatchData);
    virtual void Delete(const std::string& AURL);
    virtual void Trace(const std::string& AURL, const std::string& TraceData);
    virtual void Copy(const std::string& AURL, const std::string& Destination);
    virtual void Move(const std::string& AURL, const std::string& Destination);
    virtual void Link(const std::string& AURL, const std::string& LinkTo);
    virtual void Unlink(const std::string& AURL, const std::string& LinkTo);
    virtual void SendRaw(const std::string& AURL, const std::string& RawData);

    // The object itself, not a copy; setting it stores the reference (the caller keeps ownership).
    THeaderInfo* HeaderInfo() const { return FHeaderInfo; }
    void SetHeaderInfo(THeaderInfo* info) { FHeaderInfo = info ? info : FOwnHeaderInfo.get(); }

    std::string Body = "Default.htm";
    std::string Header = "Head.txt";
    bool InputFileMode = false;
    bool OutputFileMode = false;
    platform::TNotifyEvent OnAboutToSend;
    TResultEvent OnSuccess;
    TResultEvent OnFailure;
    THandlerEvent OnRedirect;
    platform::TNotifyEvent OnAuthenticationNeeded;

    // Milliseconds without any byte moving, once connected, after which a request ends with
    // an error; 0 or negative means no limit.
    std::int32_t ReplyTimeOut = 60000;
    // Milliseconds that one reply may take as a whole, status line to the end of the body,
    // however steadily its bytes trickle in; 0 or negative means no limit.
    std::int32_t ReplyDeadline = 120000;
    // Bytes a body read into Body may grow to before the request ends with an error; 0 or
    // negative means no limit. A body written to a file is not limited.
    std::int64_t MaxBodySize = std::int64_t { 64 } * 1024 * 1024;

    // The current request goes over TLS: its address is an https:// one (or a path on the
    // server of one). TLS runs from the first byte, the server's certificate verified against
    // Host; through a proxy the connection is a CONNECT tunnel and the request is sent as to the
    // server itself.
    bool SecureRequest() const { return FSecureScheme; }

protected:
    std::string URL;
    std::string Path;
    CmdType Command = cmdGET;
    std::string RequestData;
    std::string DestinationURI;
    std::string ReceivedCookie;
    TExStringList HeaderLines;
    bool DecodePostData = true;

private:
    enum class Phase { Idle, Sending, Header, Body };
    enum class Stop { None, Stalled, Deadline, Reset, HeaderIncomplete, HeaderTooLong, BodyTooLong, BodyComplete };
    class Watch;

    void Exchange();
    void ReadBody();
    void JudgeReply();
    void TakeHeaderValues();
    // After the body capture: a reset or an early close that cut the body is an error.
    void JudgeBodyEnd(std::uint64_t received);
    bool CookieMayGoTo(const std::string& host) const;
    void SendBytes(const std::string& bytes);
    void WatchTick();
    void DataArrived();
    [[noreturn]] void RaiseStop(Stop reason);

    // Opens the connection of one exchange: plain, or tunnelled and secured for https.
    void OpenConnection();

    bool FSecureScheme = false;
    std::unique_ptr<THeaderInfo> FOwnHeaderInfo;
    THeaderInfo* FHeaderInfo = nullptr;
    // The command of the request last sent; the outcome events report it.
    CmdType FSentCommand = cmdGET;
    // The cookie a redirection took over into HeaderInfo, and the host that set it: it goes to
    // that host only.
    std::string FRedirectCookie;
    std::string FCookieHost;

    // Watch over the exchange: stalls, an unending or truncated header, a kept-open connection.
    std::unique_ptr<platform::MessageTarget> FWatchWindow;
    Phase FPhase = Phase::Idle;
    Stop FStop = Stop::None;
    std::uint64_t FDataEvents = 0;
    std::uint64_t FSeenDataEvents = 0;
    std::int32_t FSeenBytesSent = 0;
    std::chrono::steady_clock::time_point FLastProgress;
    std::chrono::steady_clock::time_point FReplyStart;
    TReplyHeadReader FReply;
    std::string FStopMessage;
    // Kept-open connection: the body ends after this many bytes; -1 means at the close.
    std::int64_t FBodyLimit = -1;
    bool FStoppedWhileSending = false;
};

} // namespace net
