// The IDLE exchange: IDLE, the server's go-ahead, untagged news, DONE, the tagged end, IDLE again.
#include "net/ImapIdle.h"

#include "net/ImapResponse.h"
#include "net/MailCheck.h"

namespace net {
namespace {

// Untagged data that tells of a change of the mailbox's messages.
bool IsChange(const imap::Response& r)
{
    return r.kind == imap::Kind::Untagged
        && (r.keyword == "EXISTS" || r.keyword == "EXPUNGE" || r.keyword == "RECENT" || r.keyword == "FETCH");
}

} // namespace

ImapIdle::ImapIdle(std::function<std::string()> nextTag)
    : FNextTag(std::move(nextTag))
{ }

ImapIdle::Step ImapIdle::Begin()
{
    Step step;
    FTag = FNextTag();
    FState = State::Starting;
    FEndWanted = false;
    step.send.push_back(FTag + " IDLE");
    return step;
}

ImapIdle::Step ImapIdle::Done(Step step)
{
    step.send.push_back("DONE");
    FState = State::Ending;
    FEndWanted = false;
    return step;
}

ImapIdle::Step ImapIdle::Renew()
{
    if (FState == State::Idling)
        return Done({});
    if (FState == State::Starting)
        FEndWanted = true;
    return {};
}

ImapIdle::Step ImapIdle::OnLine(const std::string& line)
{
    Step step;
    if (FState == State::Failed)
        return step;
    const imap::Response r = imap::ParseResponse(line);
    switch (r.kind) {
    case imap::Kind::Invalid:
        FState = State::Failed;
        step.failure = "The mail server's reply cannot be read";
        return step;
    case imap::Kind::Continuation:
        if (FState != State::Starting) {
            FState = State::Failed;
            step.failure = "The mail server asked for more than IDLE";
            return step;
        }
        FState = State::Idling;
        step.idling = true;
        return FEndWanted ? Done(std::move(step)) : step;
    case imap::Kind::Tagged:
        if (r.tag != FTag || FState == State::Idling) {
            FState = State::Failed;
            step.failure = "The mail server answered a command that was not sent";
            return step;
        }
        if (r.condition != imap::Condition::Ok) {
            FState = State::Failed;
            step.failure = "The mail server refused IDLE: " + ShownText(r.text);
            return step;
        }
        // The IDLE is over, ended by DONE: the next one starts at once.
        return Begin();
    case imap::Kind::Untagged:
        break;
    }
    if (r.condition == imap::Condition::Bye) {
        FState = State::Failed;
        step.failure = "The mail server ended the session: " + ShownText(r.text);
        step.byServer = true;
        return step;
    }
    if (!IsChange(r))
        return step;
    step.changed = true;
    if (FState == State::Idling)
        return Done(std::move(step));
    if (FState == State::Starting)
        FEndWanted = true;
    return step;
}

} // namespace net
