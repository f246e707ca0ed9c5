// The store's key paths and name folding on arbitrary bytes.
#include "FuzzInput.h"
#include "platform/store/RegistryNames.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const std::string path = input.Rest();
    if (const auto names = platform::registry::SplitKeyPath(path)) {
        for (const std::string& name : *names) {
            if (name.empty() || name.find('\\') != std::string::npos || name.find('\0') != std::string::npos)
                std::abort();
            // Folding is idempotent: a folded name is its own comparison form.
            const std::string folded = platform::registry::FoldName(name);
            if (platform::registry::FoldName(folded) != folded)
                std::abort();
        }
    }
    platform::registry::ValidValueName(path);
    return 0;
}
