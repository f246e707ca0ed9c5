// The POP3 client: the conversation over a line channel, and the check that connects for it.
#include "net/Pop3Check.h"

#include "net/SaslOAuth.h"
#include "net/SaslPlain.h"

namespace net {
namespace {

constexpr std::size_t kMaxCapaLines = 1000;
constexpr std::int32_t kQuitReplyMs = 3000;
// See the IMAP client: the answer to a login may be held back after failed ones.
constexpr std::int32_t kLoginReplyMs = 30000;
// The longest AUTH command with its initial response, line break included (RFC 5034).
constexpr std::size_t kMaxAuthLine = 255;

bool MaildropUnavailable(const pop3::Status& status)
{
    return status.code == "IN-USE" || status.code == "LOGIN-DELAY" || status.code.starts_with("SYS/");
}

} // namespace

pop3::Status Pop3Conversation::ReadStatus()
{
    const auto status = pop3::ParseStatus(FChannel.ReadLine());
    if (!status)
        throw EBadReply("The mail server's reply cannot be read");
    return *status;
}

std::vector<std::string> Pop3Conversation::ReadMultiLine()
{
    std::vector<std::string> lines;
    while (auto item = pop3::MultiLineItem(FChannel.ReadLine())) {
        if (lines.size() >= kMaxCapaLines)
            throw EBadReply("The mail server sent an overlong reply");
        lines.push_back(std::move(*item));
    }
    return lines;
}

bool Pop3Conversation::Accepted(const pop3::Status& status)
{
    if (status.ok)
        return true;
    Quit();
    if (MaildropUnavailable(status))
        throw EMailboxUnavailable("Mailbox not available: " + ShownText(status.text));
    return false;
}

void Pop3Conversation::Quit()
{
    try {
        FChannel.ShortenReplies(kQuitReplyMs);
        FChannel.SendLine("QUIT");
        FChannel.ReadLine();
    } catch (const EAbortError&) {
        throw; // cancelled, or the component is gone: nothing more may touch it
    } catch (...) {
        // The count is known; a server that ends the session untidily changes nothing.
    }
}

Pop3Conversation::Pop3Conversation(LineChannel& channel, bool implicitTls, std::string accessToken)
    : FChannel(channel)
    , FImplicitTls(implicitTls)
    , FAccessToken(std::move(accessToken))
{ }

MailCount Pop3Conversation::CheckMaildrop(const std::string& user, const std::string& password)
{
    const pop3::Status greeting = ReadStatus();
    if (!greeting.ok)
        throw ESockError("The mail server refused the connection: " + ShownText(greeting.text));
    if (!FImplicitTls) {
        FChannel.SendLine("STLS");
        const pop3::Status r = ReadStatus();
        if (!r.ok)
            throw ESockError("The mail server does not offer STLS: the password is not sent in the clear");
        FChannel.UpgradeToTls();
    }
    FChannel.SendLine("CAPA");
    std::vector<std::string> capa;
    if (ReadStatus().ok)
        capa = ReadMultiLine();
    if (FAccessToken.empty())
        TMailCheck::CheckCredentials(user, password);
    FChannel.AllowSlowReplies(kLoginReplyMs);
    if (!FAccessToken.empty()) {
        if (!AuthenticateOAuth(user, capa))
            return { MailCount::Outcome::SignInRefused, 0, {}, FRefusal };
    } else if (pop3::HasSaslMechanism(capa, "PLAIN")) {
        const std::string response = SaslPlain(user, password);
        const std::string command = "AUTH PLAIN " + response + "\r\n";
        if (command.size() <= kMaxAuthLine) {
            FChannel.SendSecret(command);
        } else {
            // Too long for one line: the response follows the server's go-ahead.
            FChannel.SendLine("AUTH PLAIN");
            const std::string goAhead = FChannel.ReadLine();
            if (goAhead != "+" && !goAhead.starts_with("+ ")) {
                const auto status = pop3::ParseStatus(goAhead);
                if (!status)
                    throw EBadReply("The mail server's reply cannot be read");
                if (!Accepted(*status))
                    return { MailCount::Outcome::LoginRefused, 0, {} };
                throw EBadReply("The mail server accepted a login without the password");
            }
            FChannel.SendSecret(response + "\r\n");
        }
        if (!Accepted(ReadStatus()))
            return { MailCount::Outcome::LoginRefused, 0, {} };
    } else {
        for (const std::string& line : { "USER " + user, "PASS " + password }) {
            FChannel.SendSecret(line + "\r\n");
            if (!Accepted(ReadStatus()))
                return { MailCount::Outcome::LoginRefused, 0, {} };
        }
    }
    FChannel.AllowSlowReplies(0);
    FChannel.SendLine("STAT");
    const std::string stat = FChannel.ReadLine();
    if (const auto status = pop3::ParseStatus(stat); status && !status->ok && MaildropUnavailable(*status)) {
        Quit();
        throw EMailboxUnavailable("Mailbox not available: " + ShownText(status->text));
    }
    const auto maildrop = pop3::ParseStat(stat);
    Quit();
    if (!maildrop)
        return { MailCount::Outcome::BadReply, 0, {} };
    return { MailCount::Outcome::Count, maildrop->messages, {} };
}

bool Pop3Conversation::AuthenticateOAuth(const std::string& user, const std::vector<std::string>& capa)
{
    TMailCheck::CheckToken(user, FAccessToken);
    std::vector<std::string> listed;
    for (const char* name : { "XOAUTH2", "OAUTHBEARER" }) {
        if (pop3::HasSaslMechanism(capa, name))
            listed.emplace_back(name);
    }
    const OAuthMechanism mechanism = ChooseOAuthMechanism(listed);
    FChannel.SendLine(std::string("AUTH ") + MechanismName(mechanism));
    std::string line = FChannel.ReadLine();
    if (line == "+" || line.starts_with("+ ")) {
        FChannel.SendSecret(OAuthInitialResponse(mechanism, user, FAccessToken) + "\r\n");
        line = FChannel.ReadLine();
    }
    std::string status;
    if (line == "+" || line.starts_with("+ ")) {
        // The refusal's challenge, answered so that the server ends the exchange.
        status = OAuthChallengeStatus(line.size() > 2 ? std::string_view(line).substr(2) : std::string_view());
        FChannel.SendLine(OAuthRefusalAnswer(mechanism));
        line = FChannel.ReadLine();
    }
    const auto reply = pop3::ParseStatus(line);
    if (!reply)
        throw EBadReply("The mail server's reply cannot be read");
    if (reply->ok)
        return true;
    FRefusal = status.empty() ? ShownText(reply->text) : status;
    Accepted(*reply); // ends the session; a locked maildrop raises
    return false;
}

MailCount TPop3Check::CheckMaildrop(const std::string& user, const std::string& password)
{
    return Converse([&]() -> MailCount {
        Open();
        MailCount count = Pop3Conversation(*this, ImplicitTLS, AccessToken).CheckMaildrop(user, password);
        Close();
        return count;
    });
}

} // namespace net
