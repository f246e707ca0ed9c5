// The "push" value under "\software\Brask\Quorvel": whether accounts on IMAP servers that offer
// IDLE keep a connection open so that new mail is seen at once.
#pragma once

namespace settings {

// True unless the value is stored as a REG_DWORD 0; missing or unreadable counts as on.
bool LoadPush();

} // namespace settings
