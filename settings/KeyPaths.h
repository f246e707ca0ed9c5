// The store's key paths; the leading backslash marks them as relative to HKEY_CURRENT_USER.
#pragma once

namespace settings {

inline constexpr const char* QuorvelKey = "\\software\\Brask\\Quorvel";
inline constexpr const char* AccountKey = "\\software\\Brask\\Quorvel\\account";
inline constexpr const char* AccountKeyPrefix = "\\software\\Brask\\Quorvel\\account\\";
inline constexpr const char* ScreenKey = "\\software\\Brask\\Quorvel\\screen";

} // namespace settings
