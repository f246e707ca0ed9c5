#include "net/NMHttp.h"

#include "net/NMConst.h"
#include "net/NMURL.h"
#include "net/NMUUE.h"
#include "platform/core/StrToInt.h"

#include <QPointer>

#include <algorithm>
#include <cctype>
#include <sstream>

namespace net {
namespace {

constexpr std::size_t kMaxPath = 256;
// SendBuffer takes a 16-bit count; request data of any length goes out in pieces of this size.
constexpr std::size_t kSendPiece = 65535;

const char* MethodWord(CmdType command)
{
    switch (command) {
    case cmdGET:
        return "GET ";
    case cmdOPTIONS:
        return "OPTIONS ";
    case cmdHEAD:
        return "HEAD ";
    case cmdPOST:
        return "POST ";
    case cmdPUT:
        return "PUT ";
    case cmdPATCH:
        return "PATCH ";
    case cmdCOPY:
        return "COPY ";
    case cmdMOVE:
        return "MOVE ";
    case cmdDELETE:
        return "DELETE ";
    case cmdLINK:
        return "LINK ";
    case cmdUNLINK:
        return "UNLINK ";
    case cmdTRACE:
        return "TRACE ";
    case cmdSendRaw:
        break;
    }
    return nullptr;
}

bool CarriesLength(CmdType command)
{
    return command == cmdPOST || command == cmdPUT || command == cmdPATCH || command >= cmdLINK;
}

bool SendsData(CmdType command)
{
    return command == cmdPOST || command == cmdPUT || command == cmdPATCH || command == cmdTRACE
        || command == cmdSendRaw;
}

std::string Lower(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Base64Credentials(QObject* owner, const std::string& userId, const std::string& password)
{
    std::stringstream source(userId + ":" + password);
    std::stringstream target;
    TNMUUProcessor uu(owner);
    uu.Method = uuMime;
    uu.SourceStream = &source;
    uu.TargetStream = &target;
    uu.Encode();
    std::string text = target.str();
    std::erase(text, '\r');
    std::erase(text, '\n');
    return text;
}

} // namespace

TNMHTTP::TNMHTTP(QObject* owner)
    : TPowersock(owner)
    , FOwnHeaderInfo(std::make_unique<THeaderInfo>())
    , FHeaderInfo(FOwnHeaderInfo.get())
{
    FWatchWindow = std::make_unique<platform::MessageTarget>(
        [this](unsigned msg, platform::WPARAM, platform::LPARAM) -> platform::LRESULT {
            if (msg == platform::WM_TIMER)
                WatchTick();
            return 0;
        });
    OnDataReceived = [this](QObject*) { DataArrived(); };
}

TNMHTTP::~TNMHTTP()
{
    // The base destructor cannot reach this class's Abort, so the waits of a request still
    // running are ended here, before anything is torn down.
    FDestroying = true;
    FPhase = Phase::Idle;
    OnDataReceived = nullptr;
    Abort();
}

void TNMHTTP::Abort()
{
    LookupDone = true;
    Cancel();
}

void TNMHTTP::Options(const std::string& AURL)
{
    URL = AURL;
    Command = cmdOPTIONS;
    RunRequest();
}

void TNMHTTP::Get(const std::string& AURL)
{
    URL = AURL;
    Command = cmdGET;
    RunRequest();
}

void TNMHTTP::Post(const std::string& AURL, const std::string& PostData)
{
    URL = AURL;
    if (DecodePostData && !OutputFileMode) {
        TNMURL decoder(this);
        decoder.InputString = PostData;
        RequestData = decoder.DecodedString();
    } else {
        RequestData = PostData;
    }
    Command = cmdPOST;
    RunRequest();
}

void TNMHTTP::Put(const std::string& AURL, const std::string& PutData)
{
    URL = AURL;
    RequestData = PutData;
    Command = cmdPUT;
    RunRequest();
}

void TNMHTTP::Head(const std::string& AURL)
{
    URL = AURL;
    Command = cmdHEAD;
    RunRequest();
}

void TNMHTTP::Patch(const std::string& AURL, const std::string& PatchData)
{
    URL = AURL;
    RequestData = PatchData;
    Command = cmdPATCH;
    RunRequest();
}

void TNMHTTP::Delete(const std::string& AURL)
{
    URL = AURL;
    Command = cmdDELETE;
    RunRequest();
}

void TNMHTTP::Trace(const std::string& AURL, const std::string& TraceData)
{
    URL = AURL;
    RequestData = TraceData;
    Command = cmdTRACE;
    RunRequest();
}

void TNMHTTP::Copy(const std::string& AURL, const std::string& Destination)
{
    URL = AURL;
    DestinationURI = Destination;
    Command = cmdCOPY;
    RunRequest();
}

void TNMHTTP::Move(const std::string& AURL, const std::string& Destination)
{
    URL = AURL;
    DestinationURI = Destination;
    Command = cmdMOVE;
    RunRequest();
}

void TNMHTTP::Link(const std::string& AURL, const std::string& LinkTo)
{
    URL = AURL;
    DestinationURI = LinkTo;
    RequestData = "Send.dat";
    Command = cmdLINK;
    RunRequest();
}

void TNMHTTP::Unlink(const std::string& AURL, const std::string& LinkTo)
{
    URL = AURL;
    DestinationURI = LinkTo;
    RequestData = "Send.dat";
    Command = cmdUNLINK;
    RunRequest();
}

void TNMHTTP::SendRaw(const std::string& AURL, const std::string& RawData)
{
    URL = AURL;
    RequestData = RawData;
    Command = cmdSendRaw;
    RunRequest();
}

void TNMHTTP::SplitURL()
{
    if (URL.empty())
        throw platform::Exception("Empty URL");
    if (Port == 0)
        Port = 80;

    const bool hasDoubleSlash = URL.find("//") != std::string::npos;
    const auto firstSlash = URL.find('/');
    if (hasDoubleSlash) {
        const auto third = static_cast<std::size_t>(NthDelimiterPos(URL, '/', 3));
        Path = third <= URL.size() ? URL.substr(third - 1) : std::string();
    } else if (firstSlash != std::string::npos) {
        Path = URL.substr(firstSlash);
    } else {
        Path.clear();
    }
    if (Path.size() > kMaxPath)
        Path.resize(kMaxPath);

    const auto colon = URL.find(':');
    if (colon != std::string::npos) {
        const std::string scheme = Lower(URL.substr(0, colon));
        FSecureScheme = scheme == "https";
        Port = scheme == "gopher" ? 70 : scheme == "ftp" ? 21 : FSecureScheme ? 443 : 80;
    }

    std::string hostPart;
    if (hasDoubleSlash)
        hostPart = NthField(URL, '/', 3);
    else if (URL.front() != '/')
        hostPart = URL.substr(0, firstSlash);
    const auto portColon = hostPart.find(':');
    if (portColon != std::string::npos) {
        const auto next = hostPart.find(':', portColon + 1);
        Port = platform::StrToInt(
            hostPart.substr(portColon + 1, next == std::string::npos ? std::string::npos : next - portColon - 1));
        hostPart.resize(portColon);
    }
    if (!hostPart.empty())
        Host = hostPart;

    if (Path.empty()) {
        Path = "/";
        URL += "/";
    }
}

void TNMHTTP::BuildRequest()
{
    HeaderLines.Clear();
    // An https request through a proxy goes inside the tunnel, where the server reads it.
    const bool proxyForm = !Proxy.empty() && !FSecureScheme;
    if (const char* method = MethodWord(Command))
        HeaderLines.Add(method + (proxyForm ? URL : Path) + " HTTP/1.0");
    if (proxyForm) {
        HeaderLines.Add("Proxy-Connection: Keep-Alive");
        HeaderLines.Add("Host: " + Host);
    }
    HeaderLines.SetField("Host", Host);
    HeaderLines.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
    HeaderLines.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
    const THeaderInfo& info = *FHeaderInfo;
    if (!info.LocalMailAddress.empty())
        HeaderLines.SetField("User-Agent", info.LocalMailAddress);
    if (!info.LocalProgram.empty())
        HeaderLines.SetField("From", info.LocalProgram);
    if (!info.Cookie.empty() && CookieMayGoTo(Host))
        HeaderLines.SetField("Cookie", info.Cookie);
    if (!info.Referer.empty())
        HeaderLines.SetField("Referer", info.Referer);
    if (!info.UserId.empty() && !info.Password.empty())
        HeaderLines.SetField("Authorization", "Basic " + Base64Credentials(this, info.UserId, info.Password));
    HeaderLines.Add("Content-type: application/x-www-form-urlencoded");
    if (Command == cmdCOPY || Command == cmdMOVE)
        HeaderLines.Add("URI-header: " + DestinationURI);
    if (Command == cmdLINK || Command == cmdUNLINK)
        HeaderLines.Add("Link: " + DestinationURI);
    if (CarriesLength(Command)) {
        std::int64_t length = static_cast<std::int64_t>(RequestData.size());
        if (OutputFileMode)
            length = TFileStream(RequestData, TFileStream::Mode::OpenRead).Size();
        HeaderLines.Add("Content-Length: " + std::to_string(length));
    }
    HeaderLines.Add("");
}

bool TNMHTTP::CookieMayGoTo(const std::string& host) const
{
    // A cookie the caller set goes wherever the caller sends it; one that a redirection took
    // over goes back only to the host that set it.
    if (FCookieHost.empty() || FHeaderInfo->Cookie != FRedirectCookie)
        return true;
    return Lower(FCookieHost) == Lower(host);
}

void TNMHTTP::SendBytes(const std::string& bytes)
{
    // Write would stop at a zero byte and after 16384 characters; the count of SendBuffer does not.
    for (std::size_t at = 0; at < bytes.size(); at += kSendPiece) {
        const std::size_t count = std::min(kSendPiece, bytes.size() - at);
        SendBuffer(bytes.data() + at, static_cast<std::uint16_t>(count));
    }
}

void TNMHTTP::SendRequest()
{
    FSentCommand = Command;
    StatusMessage(level::Trace, status::Write);
    SendBytes(HeaderLines.Text());
    if (SendsData(Command)) {
        if (OutputFileMode)
            SendFile(RequestData);
        else
            SendBytes(RequestData);
    }
    Command = cmdGET;
}

void TNMHTTP::OpenConnection()
{
    if (!FSecureScheme) {
        Connect();
        return;
    }
    // Nothing of the request is queued yet: the first byte the server sees is the TLS hello.
    ConnectThroughProxy();
    StartTLS();
}

void TNMHTTP::RunRequest()
{
    const QPointer<TNMHTTP> self(this);
    int redirects = 0;
    for (;;) {
        SplitURL();
        BuildRequest();
        if (OnAboutToSend) {
            OnAboutToSend(this);
            if (!self)
                return;
        }
        // One connection carries one exchange: nothing an earlier, failed one left queued belongs to it.
        SendQueue->Clear();
        ReceiveQueue->Clear();
        OpenConnection();
        Exchange();
        if (!self)
            return;

        if (ReplyNumber >= 300 && ReplyNumber <= 399) {
            bool Handled = false;
            if (!ReceivedCookie.empty()) {
                FHeaderInfo->Cookie = ReceivedCookie;
                FRedirectCookie = ReceivedCookie;
                FCookieHost = Host;
            }
            if (OnRedirect) {
                OnRedirect(Handled);
                if (!self)
                    return;
            }
            if (Handled)
                return;
            if (++redirects > kMaxRedirects)
                throw platform::Exception("Too Many Redirections");
            // A bare name is a page on the same server: same scheme, host and port.
            if (URL.find('/') == std::string::npos) {
                const int defaultPort = FSecureScheme ? 443 : 80;
                URL = (FSecureScheme ? "https://" : "http://") + Host
                    + (Port != defaultPort ? ":" + std::to_string(Port) : std::string()) + "/" + URL;
            }
            continue;
        }
        if (ReplyNumber == 401 && OnAuthenticationNeeded)
            OnAuthenticationNeeded(this);
        return;
    }
}

} // namespace net
