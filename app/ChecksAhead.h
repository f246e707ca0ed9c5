// The mail-server checks of one check-all run, started together when the run starts so that
// their round trips overlap. The run still walks its list in order and takes each account's
// result in that account's turn. Two accounts of one mailbox (the same user at the same server,
// by IMAP and by POP3, say) are never asked at the same time: a server may show a mailbox that
// another session is opening for the first time as empty.
#pragma once

#include "app/MailServerCheck.h"
#include "app/frmMain.h"

#include <QPointer>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace net {
class TPowersock;
}

namespace platform {
class Strand;
}

namespace app {

class ChecksAhead {
public:
    // Starts a check of each account (a mail-server one, as its record reads now) with the proxy
    // of the window's controls, `atOnce` at a time at most: the others start as earlier ones end,
    // and one whose mailbox another check is asking waits for that check's end.
    // Nothing runs before the run's next wait. With `atOnce` 0 nothing is started.
    ChecksAhead(TfrmQuorvel& form, const std::vector<settings::TAccount>& accounts, ProxySettings proxy, Clock clock,
        std::size_t atOnce);
    // Checks still under way are cancelled and waited for; their results are dropped.
    ~ChecksAhead();
    ChecksAhead(const ChecksAhead&) = delete;
    ChecksAhead& operator=(const ChecksAhead&) = delete;

    // The result of the check started for exactly these fields and proxy, waiting for its end;
    // nothing when none was (the record or the proxy changed since the run started, or the
    // account is not a mail server's): the caller checks it then. A cancel (the program
    // ending) raises, as the check itself would.
    std::optional<CheckResult> Take(const settings::TAccount& account, const ProxySettings& proxy);

private:
    struct Check {
        settings::TAccount account;
        // The user at the server, lower-cased host; empty when the address cannot be read.
        std::string mailbox;
        std::unique_ptr<platform::Strand> strand;
        std::optional<CheckResult> result;
        QPointer<net::TPowersock> client;
        bool begun = false;
        bool over = false;
    };

    void StartMore();
    void Run(Check& check);

    TfrmQuorvel& form_;
    ProxySettings proxy_;
    Clock clock_;
    std::size_t atOnce_;
    std::vector<std::unique_ptr<Check>> checks_;
    bool ending_ = false;
};

} // namespace app
