// Starting out of sight, as a session's autostart does: minimised, then one check of every account.
#pragma once

namespace app {

class TfrmQuorvel;

// Shows `form` minimised: to the notification area when its icon is there, else to the task bar.
// Once the event loop runs, one check-all run follows.
void StartHidden(TfrmQuorvel& form);

} // namespace app
