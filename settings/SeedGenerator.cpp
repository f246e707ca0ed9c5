#include "settings/SeedGenerator.h"

#include <chrono>
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
    std::seed_seq seq { static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32) };
    Generator().seed(seq);
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
