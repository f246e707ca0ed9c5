// Interval, proxy and window values under "\software\Brask\Quorvel" and its "screen" key.
#pragma once

#include <optional>
#include <string>

namespace settings {

struct TSettings {
    std::string Delay; // text of the interval field, minutes
    bool Proxy = false;
    std::string ProxyHost;
    std::string ProxyPort; // as typed, not necessarily a number
};

// After any error Delay is "10" and Proxy false; ProxyHost and ProxyPort are empty optionals
// when the load did not reach them, and the window keeps what those fields hold.
struct TLoadedSettings {
    std::string Delay = "10";
    bool Proxy = false;
    std::optional<std::string> ProxyHost;
    std::optional<std::string> ProxyPort;
};

TLoadedSettings LoadSettings();
// A Delay that is not an integer ends the save before anything is written; returns false then
// or on any other error.
bool SaveSettings(const TSettings& values);

struct TScreen {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

// Read in the order left, top, width, height; the first missing or non-integer value ends the
// load, and it and the ones after it are empty optionals (the window keeps its own for them).
struct TLoadedScreen {
    std::optional<int> Left;
    std::optional<int> Top;
    std::optional<int> Width;
    std::optional<int> Height;
};

TLoadedScreen LoadScreen();
bool SaveScreen(const TScreen& screen);

} // namespace settings
