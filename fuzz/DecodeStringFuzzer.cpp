// URL decoding of arbitrary text.
#include "FuzzInput.h"
#include "net/NMURL.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const std::string text = input.Rest();
    net::TNMURL decoder;
    bool failed = false;
    decoder.OnError = [&](QObject*, const std::string&, const std::string&) { failed = true; };
    const std::string decoded = decoder.DecodeString(text);
    // A failed decode gives the input back; a good one never grows it.
    if (failed ? decoded != text : decoded.size() > text.size())
        std::abort();
    return 0;
}
