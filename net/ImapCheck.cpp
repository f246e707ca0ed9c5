// The IMAP client: the conversation over a line channel, and the check that connects for it.
#include "net/ImapCheck.h"

#include "net/MailboxName.h"
#include "net/SaslOAuth.h"
#include "net/SaslPlain.h"
#include "platform/core/Text.h"

#include <algorithm>

namespace net {
namespace {

using imap::Condition;
using imap::Kind;

bool SameMailbox(const std::string& a, const std::string& b)
{
    // INBOX is the one name without regard to case.
    return a == b || (platform::AsciiUpper(a) == "INBOX" && platform::AsciiUpper(b) == "INBOX");
}

constexpr std::int32_t kLogoutReplyMs = 3000;
// Servers hold back the answer to a login after failed ones from the same address (Dovecot for
// up to 15 seconds): a wrong password must read as such, not as a time-out.
constexpr std::int32_t kLoginReplyMs = 30000;

// Codes of a refused login that say nothing about the password (RFC 5530).
bool Unavailable(const std::string& code)
{
    return code == "UNAVAILABLE" || code == "INUSE" || code == "SERVERBUG" || code == "LIMIT";
}

} // namespace

std::string ImapConversation::NextTag()
{
    return "Q" + std::to_string(++FTag);
}

imap::Response ImapConversation::ReadResponse()
{
    std::string response = FChannel.ReadLine();
    std::string line = response;
    while (const auto size = imap::TrailingLiteral(line)) {
        if (response.size() + *size > TMailCheck::kMaxReply)
            throw EBadReply("The mail server sent an overlong reply");
        response += "\r\n";
        response += FChannel.ReadBytes(*size);
        line = FChannel.ReadLine();
        response += line;
        if (response.size() > TMailCheck::kMaxReply)
            throw EBadReply("The mail server sent an overlong reply");
    }
    imap::Response r = imap::ParseResponse(response);
    if (r.kind == Kind::Invalid)
        throw EBadReply("The mail server's reply cannot be read");
    return r;
}

void ImapConversation::NoteUntagged(const imap::Response& r)
{
    if (r.code == "ALERT")
        FAlert = ShownText(r.text);
    if (r.hasCapabilities) {
        FCapabilities = r.capabilities;
        FHaveCapabilities = true;
    }
    if (r.condition == Condition::Bye && !FLoggingOut)
        throw ESockError("The mail server ended the session: " + ShownText(r.text));
}

imap::Response ImapConversation::ReadTagged(
    const std::string& tag, const std::function<void(const imap::Response&)>& untagged)
{
    for (;;) {
        imap::Response r = ReadResponse();
        if (r.kind == Kind::Tagged) {
            if (r.tag != tag)
                throw EBadReply("The mail server answered a command that was not sent");
            if (r.hasCapabilities) {
                FCapabilities = r.capabilities;
                FHaveCapabilities = true;
            }
            if (r.code == "ALERT")
                FAlert = ShownText(r.text);
            return r;
        }
        if (r.kind == Kind::Continuation)
            return r;
        NoteUntagged(r);
        if (untagged)
            untagged(r);
    }
}

void ImapConversation::AskCapabilities()
{
    const std::string tag = NextTag();
    FChannel.SendLine(tag + " CAPABILITY");
    const imap::Response r = ReadTagged(tag);
    if (r.kind != Kind::Tagged || r.condition != Condition::Ok || !FHaveCapabilities)
        throw EBadReply("The mail server did not list its capabilities");
}

imap::Response ImapConversation::Authenticate(const std::string& user, const std::string& password)
{
    const std::string tag = NextTag();
    const std::string message = SaslPlain(user, password);
    imap::Response r;
    if (imap::HasCapability(FCapabilities, "SASL-IR")) {
        FChannel.SendSecret(tag + " AUTHENTICATE PLAIN " + message + "\r\n");
        r = ReadTagged(tag);
    } else {
        FChannel.SendLine(tag + " AUTHENTICATE PLAIN");
        r = ReadTagged(tag);
        if (r.kind == Kind::Continuation) {
            FChannel.SendSecret(message + "\r\n");
            r = ReadTagged(tag);
        }
    }
    if (r.kind == Kind::Continuation) {
        // More challenges than PLAIN has: give up the exchange.
        FChannel.SendLine("*");
        ReadTagged(tag);
        throw EBadReply("The mail server asked for more than a PLAIN login");
    }
    return r;
}

imap::Response ImapConversation::Login(const std::string& user, const std::string& password)
{
    const std::string tag = NextTag();
    // Each argument goes as a quoted string, or as a literal when it holds 8-bit bytes; a
    // literal waits for the server's go-ahead before its bytes.
    std::string pending = tag + " LOGIN";
    for (const std::string* value : { &user, &password }) {
        if (auto quoted = imap::QuotedString(*value)) {
            pending += " " + *quoted;
            continue;
        }
        pending += " {" + std::to_string(value->size()) + "}\r\n";
        FChannel.SendSecret(pending);
        imap::Response r = ReadTagged(tag);
        if (r.kind != Kind::Continuation)
            return r;
        pending = *value;
    }
    FChannel.SendSecret(pending + "\r\n");
    imap::Response r = ReadTagged(tag);
    if (r.kind == Kind::Continuation)
        throw EBadReply("The mail server asked for more than the login");
    return r;
}

imap::Response ImapConversation::AuthenticateOAuth(const std::string& user)
{
    TMailCheck::CheckToken(user, FAccessToken);
    std::vector<std::string> listed;
    for (const std::string& capability : FCapabilities) {
        if (capability.starts_with("AUTH="))
            listed.push_back(capability.substr(5));
    }
    const OAuthMechanism mechanism = ChooseOAuthMechanism(listed);
    const std::string tag = NextTag();
    const std::string command = tag + " AUTHENTICATE " + MechanismName(mechanism);
    const std::string message = OAuthInitialResponse(mechanism, user, FAccessToken);
    imap::Response r;
    if (imap::HasCapability(FCapabilities, "SASL-IR")) {
        FChannel.SendSecret(command + " " + message + "\r\n");
        r = ReadTagged(tag);
    } else {
        FChannel.SendLine(command);
        r = ReadTagged(tag);
        if (r.kind == Kind::Continuation) {
            FChannel.SendSecret(message + "\r\n");
            r = ReadTagged(tag);
        }
    }
    std::string status;
    if (r.kind == Kind::Continuation) {
        // A refusal comes as a challenge holding the reason; the mechanism answers it so that
        // the server can end the exchange.
        status = OAuthChallengeStatus(r.text);
        FChannel.SendLine(OAuthRefusalAnswer(mechanism));
        r = ReadTagged(tag);
        if (r.kind == Kind::Continuation)
            throw EBadReply("The mail server asked for more than the token");
    }
    if (r.condition != Condition::Ok)
        FRefusal = status.empty() ? ShownText(r.text) : status;
    return r;
}

imap::Response ImapConversation::LogIn(const std::string& user, const std::string& password)
{
    const bool token = !FAccessToken.empty();
    if (!token)
        TMailCheck::CheckCredentials(user, password);
    // Only reached over TLS: a server that still refuses LOGIN here has closed every way in.
    const bool plain = imap::HasCapability(FCapabilities, "AUTH=PLAIN");
    if (!token && !plain && imap::HasCapability(FCapabilities, "LOGINDISABLED"))
        throw ESockError("The mail server does not allow logging in over TLS (LOGINDISABLED)");
    FChannel.AllowSlowReplies(kLoginReplyMs);
    imap::Response r = token ? AuthenticateOAuth(user) : plain ? Authenticate(user, password) : Login(user, password);
    FChannel.AllowSlowReplies(0);
    return r;
}

void ImapConversation::Logout()
{
    try {
        FLoggingOut = true;
        FChannel.ShortenReplies(kLogoutReplyMs);
        const std::string tag = NextTag();
        FChannel.SendLine(tag + " LOGOUT");
        ReadTagged(tag);
    } catch (const EAbortError&) {
        throw; // cancelled, or the component is gone: nothing more may touch it
    } catch (...) {
        // The count is known; a server that ends the session untidily changes nothing.
    }
}

ImapConversation::ImapConversation(LineChannel& channel, bool implicitTls, std::string accessToken)
    : FChannel(channel)
    , FImplicitTls(implicitTls)
    , FAccessToken(std::move(accessToken))
{ }

bool ImapConversation::Start(const std::string& user, const std::string& password)
{
    const imap::Response greeting = ReadResponse();
    if (greeting.kind != Kind::Untagged || greeting.condition == Condition::None)
        throw EBadReply("The mail server's greeting cannot be read");
    if (greeting.condition == Condition::Bye)
        throw ESockError("The mail server refused the connection: " + ShownText(greeting.text));
    NoteUntagged(greeting);
    const bool preauthenticated = greeting.condition == Condition::Preauth;
    if (!FImplicitTls) {
        // A session that is logged in already cannot be made secure any more.
        if (preauthenticated)
            throw ESockError("The mail server offers no secure way to log in");
        if (!FHaveCapabilities)
            AskCapabilities();
        if (!imap::HasCapability(FCapabilities, "STARTTLS"))
            throw ESockError("The mail server does not offer STARTTLS: the password is not sent in the clear");
        const std::string tag = NextTag();
        FChannel.SendLine(tag + " STARTTLS");
        const imap::Response r = ReadTagged(tag);
        if (r.kind != Kind::Tagged || r.condition != Condition::Ok)
            throw ESockError("The mail server refused STARTTLS: " + ShownText(r.text));
        FChannel.UpgradeToTls();
        // What the server said of itself in the clear may have been forged.
        FCapabilities.clear();
        FHaveCapabilities = false;
    }
    if (!preauthenticated) {
        if (!FHaveCapabilities)
            AskCapabilities();
        const imap::Response login = LogIn(user, password);
        if (login.condition != Condition::Ok) {
            Logout();
            if (login.condition == Condition::Bad)
                throw ESockError("The mail server refused the login command: " + ShownText(login.text));
            if (Unavailable(login.code))
                throw EMailboxUnavailable("Mailbox not available: " + ShownText(login.text));
            return false;
        }
    }
    return true;
}

MailCount ImapConversation::CheckMailbox(
    const std::string& user, const std::string& password, const std::string& mailbox)
{
    const auto name = imap::EncodeMailboxName(mailbox);
    if (!name)
        throw ESockError("The mailbox name cannot be sent to the mail server");
    if (!Start(user, password)) {
        if (!FAccessToken.empty())
            return { MailCount::Outcome::SignInRefused, 0, FAlert, FRefusal };
        return { MailCount::Outcome::LoginRefused, 0, FAlert };
    }
    const std::string tag = NextTag();
    FChannel.SendLine(tag + " STATUS " + *imap::QuotedString(*name) + " (UNSEEN)");
    // Only the mailbox asked for counts: a server may send the STATUS of others unasked.
    std::optional<std::uint32_t> matching;
    const imap::Response r = ReadTagged(tag, [&](const imap::Response& u) {
        if (u.keyword != "STATUS")
            return;
        const auto unseen = imap::StatusItem(u, "UNSEEN");
        if (!unseen)
            return;
        const auto decoded = imap::DecodeMailboxName(u.mailbox);
        if (SameMailbox(u.mailbox, *name) || (decoded && SameMailbox(*decoded, mailbox)))
            matching = unseen;
    });
    if (r.kind != Kind::Tagged)
        throw EBadReply("The mail server asked for more than the mailbox name");
    if (r.condition == Condition::No) {
        Logout();
        throw EMailboxUnavailable("Mailbox not available: " + ShownText(r.text));
    }
    if (r.condition != Condition::Ok)
        throw EBadReply("The mail server refused the STATUS command");
    const auto unseen = matching;
    Logout();
    if (!unseen)
        return { MailCount::Outcome::BadReply, 0, {} };
    return { MailCount::Outcome::Count, *unseen, {} };
}

ImapConversation::PushStart ImapConversation::OpenForPush(
    const std::string& user, const std::string& password, const std::string& mailbox)
{
    const auto name = imap::EncodeMailboxName(mailbox);
    if (!name)
        throw ESockError("The mailbox name cannot be sent to the mail server");
    if (!Start(user, password))
        return PushStart::LoginRefused;
    if (!imap::HasCapability(FCapabilities, "IDLE")) {
        Logout();
        return PushStart::NoIdle;
    }
    const std::string tag = NextTag();
    FChannel.SendLine(tag + " EXAMINE " + *imap::QuotedString(*name));
    const imap::Response r = ReadTagged(tag);
    if (r.kind != Kind::Tagged)
        throw EBadReply("The mail server asked for more than the mailbox name");
    if (r.condition != Condition::Ok) {
        Logout();
        throw EMailboxUnavailable("Mailbox not available: " + ShownText(r.text));
    }
    return PushStart::Ready;
}

MailCount TImapCheck::CheckMailbox(const std::string& user, const std::string& password, const std::string& mailbox)
{
    if (!imap::EncodeMailboxName(mailbox))
        throw ESockError("The mailbox name cannot be sent to the mail server");
    return Converse([&]() -> MailCount {
        Open();
        MailCount count = ImapConversation(*this, ImplicitTLS, AccessToken).CheckMailbox(user, password, mailbox);
        Close();
        return count;
    });
}

ImapConversation::PushStart TImapCheck::OpenForPush(
    ImapConversation& conversation, const std::string& user, const std::string& password, const std::string& mailbox)
{
    try {
        Open();
        const auto start = conversation.OpenForPush(user, password, mailbox);
        if (start != ImapConversation::PushStart::Ready)
            Close();
        return start;
    } catch (const EAbortError&) {
        throw; // cancelled, or the component is gone: nothing more may touch it
    } catch (const ESockError&) {
        Close();
        throw;
    }
}

} // namespace net
