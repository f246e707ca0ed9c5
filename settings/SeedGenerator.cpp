#include "settings/SeedGenerator.h"

#include <chrono>
#include <cstdint>
#include <random>

namespace settings {

namespace {

std::mt19937& Generator()
{
    static std::mt19937 generator;
    return generator;
}

std::function<int()>& TestSource()
{
    static std::function<int()> source;
    return source;
}

} // namespace

void ReseedSeedGenerator()
{
    // Nanoseconds of the system clock, so that two saves in quick succession draw differently.
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ticks = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    // Both halves mixed into one seed word: a seed sequence would cost more than the whole save
    // it is drawn for.
    std::uint64_t mixed = ticks + 0x9E3779B97F4A7C15ULL;
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ULL;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBULL;
    Generator().seed(static_cast<std::uint32_t>(mixed ^ (mixed >> 31)));
}

int NextSeed()
{
    if (TestSource())
        return TestSource()();
    std::uniform_int_distribution<int> range(0, 65534);
    return range(Generator());
}

void SetSeedSourceForTesting(std::function<int()> source)
{
    TestSource() = std::move(source);
}

} // namespace settings
