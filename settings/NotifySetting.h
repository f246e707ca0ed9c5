// The "notify" value under "\software\Brask\Quorvel": whether new mail is announced on the desktop.
#pragma once

namespace settings {

// True unless the value is stored as a REG_DWORD 0; missing or unreadable counts as on.
bool LoadNotify();

} // namespace settings
