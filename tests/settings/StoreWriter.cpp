// Test helper: saves accounts and settings in a loop, printing each finished generation; or,
// with "hold", stays in the middle of a save for a while, as a second instance would.
#include "platform/store/Registry.h"
#include "settings/AccountStore.h"
#include "settings/SettingsStore.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// Opens the account's key, writes "status" (which takes the write lock), says "holding" and
// keeps the key open for `ms` milliseconds before closing it.
int Hold(const std::string& account, long ms)
{
    using namespace platform;
    HKEY key = 0;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, "software\\Brask\\Quorvel\\account\\" + account, &key) != ERROR_SUCCESS)
        return 1;
    const std::string text = "held";
    if (RegSetValueEx(key, "status", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1)) != ERROR_SUCCESS)
        return 1;
    std::printf("holding\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return RegCloseKey(key) == ERROR_SUCCESS ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "hold")
        return Hold(argv[2], std::atol(argv[3]));
    if (argc < 4) {
        std::fprintf(stderr,
            "usage: %s <shared account> <own account> <generations, 0 = forever> [first]\n"
            "       %s hold <account> <milliseconds>\n",
            argv[0], argv[0]);
        return 2;
    }
    const std::string shared = argv[1];
    const std::string own = argv[2];
    const long count = std::atol(argv[3]);
    const long first = argc > 4 ? std::atol(argv[4]) : 1;
    for (long g = first; count == 0 || g < first + count; ++g) {
        const std::string n = std::to_string(g);
        const settings::TAccount record { "", "info " + n, "Hotmail", "user " + n, "pässwort-" + n + "-€", "lc " + n,
            "st " + n };
        settings::TAccount a = record;
        a.Name = shared;
        settings::TAccount b = record;
        b.Name = own;
        if (!settings::SaveAccount(a) || !settings::SaveAccount(b)
            || !settings::SaveSettings({ n, g % 2 == 0, "host " + n, "port " + n })) {
            std::fprintf(stderr, "save %ld failed\n", g);
            return 1;
        }
        std::printf("%ld\n", g);
        std::fflush(stdout);
    }
    return 0;
}
