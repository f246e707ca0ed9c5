// Growth of a large in-memory capture: fresh room taken in doubling steps, advised for large
// pages before anything is copied into it.
#include "net/GrowingString.h"

#include <algorithm>
#include <cstdint>
#include <sys/mman.h>

namespace net {
namespace {

constexpr std::uintptr_t kLargePage = std::uintptr_t { 2 } * 1024 * 1024;
// Below a few large pages the advice saves little and may hold memory that is never used.
constexpr std::size_t kAdviseFrom = 4 * kLargePage;

// Asks for large pages over the whole large pages inside the text's unused room. Only advice:
// where the system refuses or has none, ordinary pages serve.
void adviseLargePages(std::string& text)
{
    if (text.capacity() < kAdviseFrom)
        return;
    char* data = text.data();
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(data);
    const std::size_t skip = static_cast<std::size_t>((kLargePage - begin % kLargePage) % kLargePage);
    if (text.capacity() <= skip)
        return;
    const std::size_t length = (text.capacity() - skip) / kLargePage * kLargePage;
    if (length > 0)
        ::madvise(data + skip, length, MADV_HUGEPAGE);
}

} // namespace

void AppendGrowing(std::string& text, std::string_view bytes)
{
    const std::size_t needed = text.size() + bytes.size();
    if (needed > text.capacity()) {
        // The advice must come before the first touch of the new room, so the held bytes are
        // copied by hand into an empty buffer instead of by reserve().
        std::string grown;
        grown.reserve(std::max(needed, 2 * text.capacity()));
        adviseLargePages(grown);
        grown.append(text);
        text.swap(grown);
    }
    text.append(bytes);
}

} // namespace net
