// TImapCheck: counts the unseen messages of one mailbox on an IMAP server.
#pragma once

#include "net/ImapResponse.h"
#include "net/MailCheck.h"

#include <functional>
#include <string>
#include <vector>

namespace net {

class TImapCheck : public TMailCheck {
public:
    using TMailCheck::TMailCheck;

    // Greeting, STARTTLS unless TLS came first, login (AUTHENTICATE PLAIN when offered, else
    // LOGIN), STATUS of the mailbox (its name in UTF-8) for UNSEEN, LOGOUT.
    MailCount CheckMailbox(const std::string& user, const std::string& password, const std::string& mailbox);

private:
    // One complete response: a line and, for every literal it announces, the literal and the next line.
    imap::Response ReadResponse();
    // Reads until the response tagged `tag`; untagged ones go to `untagged` after the shared
    // handling (capabilities, BYE).
    imap::Response ReadTagged(const std::string& tag, const std::function<void(const imap::Response&)>& untagged = {});
    std::string NextTag();
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

    std::vector<std::string> FCapabilities;
    bool FHaveCapabilities = false;
    bool FLoggingOut = false;
    std::string FRefusal;
    // The text of the last [ALERT] the server sent, which the user must be shown.
    std::string FAlert;
    int FTag = 0;
};

} // namespace net
