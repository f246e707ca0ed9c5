// Text to integer conversion that reports a bad text the way the framework does.
#pragma once

#include <string>

namespace platform {

// Leading blanks, an optional sign and decimal digits that fit in 32 bits; anything else
// raises EConvertError "'<text>' is not a valid integer value".
int StrToInt(const std::string& text);

} // namespace platform
