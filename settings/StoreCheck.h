// Whether the settings can be kept at all, asked once at start-up.
#pragma once

#include <string>

namespace settings {

struct TStoreCheck {
    bool Usable = true;
    std::string Path; // where the store lives
    std::string Reason; // why it cannot be used, in a few words
};

TStoreCheck CheckStore();

} // namespace settings
