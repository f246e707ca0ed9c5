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

pop3::Status TPop3Check::ReadStatus()
{
    const auto status = pop3::ParseStatus(ReadLine());
    if (!status)
        throw EBadReply("The mail server's reply cannot be read");
    return *status;
}

std::vector<std::string> TPop3Check::ReadMultiLine()
{
    std::vector<std::string> lines;
    while (auto item = pop3::MultiLineItem(ReadLine())) {
        if (lines.size() >= kMaxCapaLines)
            throw EBadReply("The mail server sent an overlong reply");
        lines.push_back(std::move(*item));
    }
    return lines;
}

bool TPop3Check::Accepted(const pop3::Status& status)
{
    if (status.ok)
        return true;
    Quit();
    if (MaildropUnavailable(status))
        throw EMailboxUnavailable("Mailbox not available: " + ShownText(status.text));
    return false;
}

void TPop3Check::Quit()
{
    try {
        ShortenReplies(kQuitReplyMs);
        SendLine("QUIT");
        ReadLine();
    } catch (const EAbortError&) {
        throw; // cancelled, or the component is gone: nothing more may touch it
    } catch (...) {
        // The count is known; a server that ends the session untidily changes nothing.
    }
    Close();
}

bool TPop3Check::AuthenticateOAuth(const std::string& user, const std::vector<std::string>& capa)
{
    CheckToken(user);
    std::vector<std::string> listed;
    for (const char* name : { "XOAUTH2", "OAUTHBEARER" }) {
        if (pop3::HasSaslMechanism(capa, name))
            listed.emplace_back(name);
    }
    const OAuthMechanism mechanism = ChooseOAuthMechanism(listed);
    SendLine(std::string("AUTH ") + MechanismName(mechanism));
    std::string line = ReadLine();
    if (line == "+" || line.starts_with("+ ")) {
        SendSecret(OAuthInitialResponse(mechanism, user, AccessToken) + "\r\n");
        line = ReadLine();
    }
    std::string status;
    if (line == "+" || line.starts_with("+ ")) {
        // The refusal's challenge, answered so that the server ends the exchange.
        status = OAuthChallengeStatus(line.size() > 2 ? std::string_view(line).substr(2) : std::string_view());
        SendLine(OAuthRefusalAnswer(mechanism));
        line = ReadLine();
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
        const pop3::Status greeting = ReadStatus();
        if (!greeting.ok)
            throw ESockError("The mail server refused the connection: " + ShownText(greeting.text));
        if (!ImplicitTLS) {
            SendLine("STLS");
            const pop3::Status r = ReadStatus();
            if (!r.ok)
                throw ESockError("The mail server does not offer STLS: the password is not sent in the clear");
            UpgradeToTls();
        }
        SendLine("CAPA");
        std::vector<std::string> capa;
        if (ReadStatus().ok)
            capa = ReadMultiLine();
        if (AccessToken.empty())
            CheckCredentials(user, password);
        AllowSlowReplies(kLoginReplyMs);
        if (!AccessToken.empty()) {
            if (!AuthenticateOAuth(user, capa))
                return { MailCount::Outcome::SignInRefused, 0, {}, FRefusal };
        } else if (pop3::HasSaslMechanism(capa, "PLAIN")) {
            const std::string response = SaslPlain(user, password);
            const std::string command = "AUTH PLAIN " + response + "\r\n";
            if (command.size() <= kMaxAuthLine) {
                SendSecret(command);
            } else {
                // Too long for one line: the response follows the server's go-ahead.
                SendLine("AUTH PLAIN");
                const std::string goAhead = ReadLine();
                if (goAhead != "+" && !goAhead.starts_with("+ ")) {
                    const auto status = pop3::ParseStatus(goAhead);
                    if (!status)
                        throw EBadReply("The mail server's reply cannot be read");
                    if (!Accepted(*status))
                        return { MailCount::Outcome::LoginRefused, 0, {} };
                    throw EBadReply("The mail server accepted a login without the password");
                }
                SendSecret(response + "\r\n");
            }
            if (!Accepted(ReadStatus()))
                return { MailCount::Outcome::LoginRefused, 0, {} };
        } else {
            for (const std::string& line : { "USER " + user, "PASS " + password }) {
                SendSecret(line + "\r\n");
                if (!Accepted(ReadStatus()))
                    return { MailCount::Outcome::LoginRefused, 0, {} };
            }
        }
        AllowSlowReplies(0);
        SendLine("STAT");
        const std::string stat = ReadLine();
        if (const auto status = pop3::ParseStatus(stat); status && !status->ok && MaildropUnavailable(*status)) {
            Quit();
            throw EMailboxUnavailable("Mailbox not available: " + ShownText(status->text));
        }
        const auto maildrop = pop3::ParseStat(stat);
        Quit();
        if (!maildrop)
            return { MailCount::Outcome::BadReply, 0, {} };
        return { MailCount::Outcome::Count, maildrop->messages, {} };
    });
}

} // namespace net
