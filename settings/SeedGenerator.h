// The seeds of password scrambling: a generator reseeded from the clock before each save.
#pragma once

#include <functional>

namespace settings {

// Reseeds the generator from the clock; SaveAccount calls it once per save.
void ReseedSeedGenerator();
// A seed from 0 to 65534.
int NextSeed();

// Tests replace the draws with their own sequence; an empty function restores the generator.
void SetSeedSourceForTesting(std::function<int()> source);

} // namespace settings
