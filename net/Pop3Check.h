// TPop3Check: counts the messages in the maildrop of a POP3 server. The conversation itself runs
// over a LineChannel, so it can be played against a transcript as well as a server.
#pragma once

#include "net/LineChannel.h"
#include "net/MailCheck.h"
#include "net/Pop3Response.h"

#include <string>
#include <vector>

namespace net {

// The client's side of one POP3 session, over any channel that is connected already.
class Pop3Conversation {
public:
    // `accessToken`: as for ImapConversation.
    Pop3Conversation(LineChannel& channel, bool implicitTls, std::string accessToken = {});

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

    LineChannel& FChannel;
    bool FImplicitTls;
    std::string FAccessToken;
};

class TPop3Check : public TMailCheck {
public:
    using TMailCheck::TMailCheck;

    // Connects, runs the conversation of Pop3Conversation::CheckMaildrop and closes.
    MailCount CheckMaildrop(const std::string& user, const std::string& password);
};

} // namespace net
