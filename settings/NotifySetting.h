// The "notify" value under "\software\Brask\Quorvel": whether new mail is announced on the desktop.
#pragma once

namespace settings {

// True unless the value is stored as a REG_DWORD 0; missing or unreadable counts as on.
bool LoadNotify();

// Stores the value as a REG_DWORD 1 or 0; false when the store could not take it.
bool SaveNotify(bool notify);

} // namespace settings
