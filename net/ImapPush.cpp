// The push session: setup over the blocking channel, then IDLE over the event-driven one.
#include "net/ImapPush.h"

#include <QPointer>

#include <algorithm>

namespace net {

TImapPush::TImapPush(QObject* owner, Target target, PushTimings timings)
    : QObject(owner)
    , FTarget(std::move(target))
    , FTimings(timings)
{
    FRenew.setSingleShot(false);
    FRenew.setTimerType(Qt::CoarseTimer);
    QObject::connect(&FRenew, &QTimer::timeout, this, [this] { Apply(FIdle->Renew()); });
    FWatch.setSingleShot(true);
    FWatch.setTimerType(Qt::CoarseTimer);
    QObject::connect(&FWatch, &QTimer::timeout, this,
        [this] { Finish(End::Lost, "The mail server has not been heard from; the connection is made again"); });
}

TImapPush::~TImapPush()
{
    FOver = true;
    if (FCheck) {
        FCheck->StopListening();
        // A setup still waiting on the network ends with this.
        FCheck->Cancel();
    }
}

std::chrono::milliseconds TImapPush::DeadAfter() const
{
    return FKeepalive.count() > 0 ? 2 * FKeepalive : FTimings.silentServer;
}

void TImapPush::Start()
{
    const QPointer<TImapPush> self(this);
    FCheck = new TImapCheck(this);
    FCheck->ReportLevel = 2;
    FCheck->Host = FTarget.host;
    FCheck->Port = FTarget.port;
    FCheck->ImplicitTLS = FTarget.implicitTls;
    FCheck->Proxy = FTarget.proxy;
    FCheck->ProxyPort = FTarget.proxyPort;
    FCheck->TimeOut = 10000;
    FConversation = std::make_unique<ImapConversation>(*FCheck, FTarget.implicitTls);
    if (OnConnecting)
        OnConnecting(FCheck);
    ImapConversation::PushStart start;
    try {
        start = FCheck->OpenForPush(*FConversation, FTarget.user, FTarget.password, FTarget.mailbox);
    } catch (const EAbortError& e) {
        if (self && !FOver)
            Finish(End::Lost, e.Message);
        return;
    } catch (const EBadReply& e) {
        if (self)
            Finish(End::Failed, e.Message);
        return;
    } catch (const EMailboxUnavailable& e) {
        if (self)
            Finish(End::Failed, e.Message);
        return;
    } catch (const ESockError& e) {
        if (self)
            Finish(End::Lost, e.Message);
        return;
    }
    if (!self || FOver)
        return;
    if (start == ImapConversation::PushStart::LoginRefused) {
        Finish(End::LoginFailed, "Login failed");
        return;
    }
    if (start == ImapConversation::PushStart::NoIdle) {
        Finish(End::NoIdle, "The mail server does not offer IDLE");
        return;
    }
    FIdle = std::make_unique<ImapIdle>([this] { return FConversation->NextTag(); });
    FLastByte = std::chrono::steady_clock::now();
    FCheck->Listen([this](const std::string& line) { Received(line); },
        [this] { Finish(End::Lost, "The mail server closed the connection"); });
    FRenew.start(FTimings.renew);
    FWatch.start(DeadAfter());
    Apply(FIdle->Begin());
}

void TImapPush::Stop()
{
    OnEnded = nullptr;
    Finish(End::Lost, {});
}

void TImapPush::Received(const std::string& line)
{
    const auto now = std::chrono::steady_clock::now();
    const bool wasIdling = FIdle->Idling();
    const ImapIdle::Step step = FIdle->OnLine(line);
    // A line that tells nothing while the IDLE stands is the server's keepalive: the longest gap
    // before one is taken as its interval.
    if (wasIdling && !step.changed && step.failure.empty() && step.send.empty())
        FKeepalive = std::max(FKeepalive, std::chrono::ceil<std::chrono::milliseconds>(now - FLastByte));
    FLastByte = now;
    FWatch.start(DeadAfter());
    Apply(step);
}

void TImapPush::Apply(const ImapIdle::Step& step)
{
    if (FOver)
        return;
    const QPointer<TImapPush> self(this);
    for (const std::string& line : step.send)
        FCheck->PostLine(line);
    if (!step.failure.empty()) {
        // A server that says goodbye (shutting down, or closing idle sessions) is worth calling
        // again; one that breaks the protocol the same way next time is retried only slowly.
        Finish(step.byServer ? End::Lost : End::Failed, step.failure);
        return;
    }
    if (step.idling && OnIdling) {
        OnIdling();
        if (!self || FOver)
            return;
    }
    if (step.changed && OnChanged)
        OnChanged();
}

void TImapPush::Finish(End end, const std::string& text)
{
    if (FOver)
        return;
    FOver = true;
    FRenew.stop();
    FWatch.stop();
    if (FCheck) {
        FCheck->StopListening();
        try {
            FCheck->Disconnect();
        } catch (...) {
            // The session is over either way.
        }
    }
    if (OnEnded) {
        const auto ended = OnEnded;
        ended(end, text);
    }
}

} // namespace net
