#include "net/Pop3Check.h"

#include "net/SaslPlain.h"

namespace net {
namespace {

constexpr std::size_t kMaxCapaLines = 1000;
constexpr std::int32_t kQuitReplyMs = 3000;

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
        throw EMailboxUnavailable("Mailbox not available: " + status.text);
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

MailCount TPop3Check::CheckMaildrop(const std::string& user, const std::string& password)
{
    return Converse([&]() -> MailCount {
        Open();
        const pop3::Status greeting = ReadStatus();
        if (!greeting.ok)
            throw ESockError("The mail server refused the connection: " + greeting.text);
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
        CheckCredentials(user, password);
        if (pop3::HasSaslMechanism(capa, "PLAIN")) {
            SendSecret("AUTH PLAIN " + SaslPlain(user, password) + "\r\n");
            if (!Accepted(ReadStatus()))
                return { MailCount::Outcome::LoginRefused, 0 };
        } else {
            for (const std::string& line : { "USER " + user, "PASS " + password }) {
                SendSecret(line + "\r\n");
                if (!Accepted(ReadStatus()))
                    return { MailCount::Outcome::LoginRefused, 0 };
            }
        }
        SendLine("STAT");
        const auto maildrop = pop3::ParseStat(ReadLine());
        Quit();
        if (!maildrop)
            return { MailCount::Outcome::BadReply, 0 };
        return { MailCount::Outcome::Count, maildrop->messages };
    });
}

} // namespace net
