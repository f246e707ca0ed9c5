// Test helper: saves accounts and settings in a loop, printing each finished generation.
#include "settings/AccountStore.h"
#include "settings/SettingsStore.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <shared account> <own account> <generations, 0 = forever> [first]\n", argv[0]);
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
