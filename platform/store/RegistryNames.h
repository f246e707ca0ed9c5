// Key and value names of the registry store: case folding and path splitting.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

inline constexpr std::size_t MaxKeyNameChars = 255;
inline constexpr std::size_t MaxValueNameChars = 16383;

// The comparison form of a name: each character of its UTF-8 text replaced by its simple upper
// case (one character for one), or its ASCII letters upper-cased when the bytes are not valid
// UTF-8. Two names are the same name when their folds are equal.
std::string FoldName(std::string_view name);

// A name that the store can hold as one key: not empty, no backslash, no zero byte, at most
// MaxKeyNameChars characters.
bool ValidKeyName(std::string_view name);

// The key names of a path joined by backslashes. Refused (nullopt) when a name is empty, too
// long or holds a zero byte. The empty path is the key itself (no names).
std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path);

bool ValidValueName(std::string_view name);

} // namespace platform::registry
