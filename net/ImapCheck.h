// TImapCheck: counts the unseen messages of one mailbox on an IMAP server. The conversation itself
// runs over a LineChannel, so it can be played against a transcript as well as a server.
#pragma once

#include "net/ImapResponse.h"
#include "net/LineChannel.h"
#include "net/MailCheck.h"

#include <functional>
#include <string>
#include <vector>

namespace net {

// The client's side of one IMAP session, over any channel that is connected already.
class ImapConversation {
public:
    // `implicitTls`: the channel was made secure before the greeting; otherwise the session is
    // upgraded with STARTTLS before anything secret goes.
    // `accessToken`: when not empty, the login is the signed-in one (SASL XOAUTH2 or OAUTHBEARER)
    // with this token, and the password is never sent.
    ImapConversation(LineChannel& channel, bool implicitTls, std::string accessToken = {});

    // Greeting, STARTTLS unless TLS came first, login (AUTHENTICATE PLAIN when offered, else
    // LOGIN), STATUS of the mailbox (its name in UTF-8) for UNSEEN, LOGOUT.
    MailCount CheckMailbox(const std::string& user, const std::string& password, const std::string& mailbox);

    enum class PushStart { Ready, LoginRefused, NoIdle };
    // For a push connection: greeting, upgrade and login as for a check, then EXAMINE of the
    // mailbox (read-only). Ready when the server offers IDLE; otherwise the session is ended.
    PushStart OpenForPush(const std::string& user, const std::string& password, const std::string& mailbox);
    // The tag of the next command; a push session issues its IDLE commands under it.
    std::string NextTag();

private:
    // Greeting, upgrade, capabilities and login; false (after LOGOUT) when the password was refused.
    // A refused login command, or a refusal that names no fault of the password, raises.
    bool Start(const std::string& user, const std::string& password);
    // One complete response: a line and, for every literal it announces, the literal and the next line.
    imap::Response ReadResponse();
    // Reads until the response tagged `tag`; untagged ones go to `untagged` after the shared
    // handling (capabilities, BYE).
    imap::Response ReadTagged(const std::string& tag, const std::function<void(const imap::Response&)>& untagged = {});
    void NoteUntagged(const imap::Response& r);
    void AskCapabilities();
    // The server's last answer to the login: OK when it accepted it.
    imap::Response LogIn(const std::string& user, const std::string& password);
    imap::Response Authenticate(const std::string& user, const std::string& password);
    imap::Response Login(const std::string& user, const std::string& password);
    // The signed-in login; a refusal leaves the server's status in FRefusal.
    imap::Response AuthenticateOAuth(const std::string& user);
    // Ends the session politely; only a cancel escapes it.
    void Logout();

    LineChannel& FChannel;
    bool FImplicitTls;
    std::string FAccessToken;
    std::vector<std::string> FCapabilities;
    bool FHaveCapabilities = false;
    bool FLoggingOut = false;
    std::string FRefusal;
    // The text of the last [ALERT] the server sent, which the user must be shown.
    std::string FAlert;
    int FTag = 0;
};

class TImapCheck : public TMailCheck {
public:
    using TMailCheck::TMailCheck;

    // Connects, runs the conversation of ImapConversation::CheckMailbox and closes.
    MailCount CheckMailbox(const std::string& user, const std::string& password, const std::string& mailbox);
    // Connects and runs `conversation` (made over this connection) up to ImapConversation::OpenForPush.
    // When it is Ready the connection stays open for the conversation to go on; otherwise it is
    // closed. A reply that breaks the protocol raises EBadReply, after closing.
    ImapConversation::PushStart OpenForPush(ImapConversation& conversation, const std::string& user,
        const std::string& password, const std::string& mailbox);
};

} // namespace net
