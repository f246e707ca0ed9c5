#include "settings/SeedGenerator.h"

#include <chrono>
#include <cstdint>
#include <limits>
#include <random>

namespace settings {

namespace {

// SplitMix64: one word of state, reseeded in one store. A save draws one or two seeds after
// reseeding, and a Mersenne Twister rebuilt from the clock each time cost more than the rest of
// the save's own work.
class SplitMix64 {
public:
    using result_type = std::uint64_t;
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return std::numeric_limits<result_type>::max(); }

    void seed(std::uint64_t value) { state_ = value; }
    result_type operator()()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t state_ = 0;
};

SplitMix64& Generator()
{
    static SplitMix64 generator;
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
    // Nanoseconds of the system clock, so that two saves in quick succession draw differently;
    // the generator's output mixes every bit of them.
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    Generator().seed(static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
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
