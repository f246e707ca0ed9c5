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
    const auto begin = reinterpret_cast<std::uintptr_t>(text.data());
    const std::uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t last = (begin + text.capacity()) & ~(kLargePage - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
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
