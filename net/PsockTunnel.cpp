// TPowersock through an HTTP proxy: a CONNECT tunnel to Host:Port.
#include "net/NMConst.h"
#include "net/Psock.h"
#include "net/PsockTunnelReply.h"
#include "net/ReceiveBuffer.h"

#include <QPointer>

namespace net {
namespace {

constexpr std::string_view kProxyTunnel = "Proxy Tunnel";
// A proxy's answer to CONNECT is a status line and a few header lines.
constexpr std::int64_t kReplyLimit = std::int64_t { 64 } * 1024;
constexpr std::size_t kShownStatusLimit = 200;
constexpr std::size_t kHostNameLimit = 255;

bool validTunnelHost(const std::string& host)
{
    if (host.empty() || host.size() > kHostNameLimit)
        return false;
    // The name goes into the request line: a blank or a control character would change the request.
    for (const char c : host) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 0x7F)
            return false;
    }
    return true;
}

std::string shown(std::string line)
{
    if (line.size() > kShownStatusLimit)
        line.resize(kShownStatusLimit);
    return line;
}

} // namespace

void TPowersock::ConnectThroughProxy()
{
    if (Proxy.empty()) {
        Connect();
        return;
    }
    if (!validTunnelHost(Host))
        throw ESockError("Invalid host name for the proxy tunnel");
    Connect();
    StatusMessage(level::Trace, kProxyTunnel);
    const QPointer<TPowersock> self(this);
    const std::string target = Host + ":" + std::to_string(Port & 0xFFFF);
    try {
        Write("CONNECT " + target + " HTTP/1.0\r\nHost: " + target + "\r\n\r\n");
    } catch (...) {
        if (self)
            RequestCloseSocket();
        throw;
    }
    auto* queue = dynamic_cast<TReceiveBuffer*>(ReceiveQueue.get());
    std::optional<TTunnelReply> reply;
    TimerOn();
    for (;;) {
        queue = dynamic_cast<TReceiveBuffer*>(ReceiveQueue.get());
        if (queue)
            reply = ParseTunnelReply(queue->Bytes());
        if (reply || !queue || !Connected || TimedOut || Canceled || queue->Size() > kReplyLimit)
            break;
        if (!WaitPass())
            throw EAbortError("Proxy tunnel canceled");
    }
    TimerOff();
    if (reply && reply->StatusCode >= 200 && reply->StatusCode <= 299) {
        // Whatever followed the proxy's answer came from the server already.
        const std::string rest(queue->Bytes().substr(reply->Length));
        ReceiveQueue->Clear();
        ReceiveQueue->Append(rest);
        return;
    }
    std::string text;
    if (reply) {
        text = "Proxy refused the tunnel: " + shown(reply->StatusLine);
    } else if (TimedOut) {
        text = "Proxy tunnel timed out";
    } else if (Canceled) {
        text = "Proxy tunnel canceled";
    } else if (queue && queue->Size() > 0 && queue->Size() <= kReplyLimit) {
        const std::string_view bytes = queue->Bytes();
        std::string first(bytes.substr(0, bytes.find('\n')));
        if (!first.empty() && first.back() == '\r')
            first.pop_back();
        text = "Proxy refused the tunnel: " + shown(std::move(first));
    } else if (queue && queue->Size() > kReplyLimit) {
        text = "Proxy sent an invalid answer";
    } else {
        text = "Proxy closed the connection";
    }
    // The proxy's own page must not be read as if the server had sent it.
    ReceiveQueue->Clear();
    RequestCloseSocket();
    if (Canceled && !TimedOut && !reply)
        throw EAbortError(text);
    throw ESockError(text);
}

} // namespace net
