// TPop3Check: counts the messages in the maildrop of a POP3 server.
#pragma once

#include "net/MailCheck.h"
#include "net/Pop3Response.h"

#include <string>

namespace net {

class TPop3Check : public TMailCheck {
public:
    using TMailCheck::TMailCheck;

    // Greeting, STLS unless TLS came first, CAPA, AUTH PLAIN when offered (else USER and PASS),
    // STAT, QUIT.
    MailCount CheckMaildrop(const std::string& user, const std::string& password);

private:
    pop3::Status ReadStatus();
    // The rest of a multi-line reply, without the terminating line.
    std::vector<std::string> ReadMultiLine();
    // The reply to a login step: true when accepted; after a refusal the session is ended, and a
    // locked or unavailable maildrop (which is no wrong password) raises.
    bool Accepted(const pop3::Status& status);
    // The signed-in login (AUTH, the go-ahead, then the message, which may be longer than a
    // command line may be); a refusal leaves the server's status in FRefusal.
    bool AuthenticateOAuth(const std::string& user, const std::vector<std::string>& capa);
    std::string FRefusal;
    void Quit();
};

} // namespace net
