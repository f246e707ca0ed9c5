// A check of an account whose host text names a real mail server (IMAP or POP3).
#pragma once

#include "app/MailServerAddress.h"
#include "app/frmMain.h"

#include <QString>

#include <climits>
#include <cstdint>

namespace app {

// Checks the account whose fields fill the detail controls and saves it under `name`; returns
// the count of new messages, -1 for a refused login, -2 for a reply that cannot be read. Any
// other failure raises and ends the check before the account is saved.
int CheckMailServer(TfrmQuorvel& form, const QString& name, const MailServerAddress& address);

// A count as a result of a check: the run adds results in an int.
constexpr int CountResult(std::uint32_t count)
{
    return count > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(count);
}

} // namespace app
