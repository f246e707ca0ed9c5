// Appending to a text that may grow to hundreds of megabytes: the capture of a reply held in
// memory. Growth follows the bytes that arrive, never a length announced ahead.
#pragma once

#include <string>
#include <string_view>

namespace net {

// Appends `bytes` to `text`. When the room runs out the capacity at least doubles (so every
// byte is copied about once), but never beyond twice what the text then holds; a large buffer
// is filled on large pages where the system offers them, as first touching ordinary pages is
// what filling a fresh buffer mostly costs.
void AppendGrowing(std::string& text, std::string_view bytes);

} // namespace net
