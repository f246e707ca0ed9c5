// ImapIdle: the client's side of IMAP IDLE on a session that has its mailbox selected, as a pure
// state machine: each server line in, the lines to send and what the session learnt out.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace net {

class ImapIdle {
public:
    struct Step {
        std::vector<std::string> send; // command lines, without line breaks
        bool changed = false; // the mailbox changed (messages came, went, or changed flags)
        bool idling = false; // the server has just confirmed an IDLE
        std::string failure; // the session cannot go on; the server's text or what went wrong
        bool byServer = false; // with a failure: the server ended the session (BYE), as on shutdown
    };

    // `nextTag` gives the tag of each IDLE command.
    explicit ImapIdle(std::function<std::string()> nextTag);

    // Issues the first IDLE.
    Step Begin();
    // One complete server line (literals inline).
    Step OnLine(const std::string& line);
    // Ends the IDLE under way and issues a new one (servers drop an IDLE after 30 minutes).
    Step Renew();
    // The server confirmed the IDLE and has not been told DONE.
    bool Idling() const { return FState == State::Idling; }

private:
    enum class State { Starting, Idling, Ending, Failed };
    Step Done(Step step);

    std::function<std::string()> FNextTag;
    std::string FTag;
    State FState = State::Starting;
    // DONE is due once the server has confirmed the IDLE.
    bool FEndWanted = false;
};

} // namespace net
