// Password scrambling: a byte-wise stream scrambling with cipher-text feedback over 16 bits.
#pragma once

#include <cstdint>
#include <string>

namespace settings {

inline constexpr std::uint16_t CryptMultiplier = 0xA3B5;
inline constexpr std::uint16_t CryptAddend = 0x3C71;

// Only the low 16 bits of seed count. Both return a new text of the input's length.
std::string ScrambleString(const std::string& plain, std::int32_t seed);
std::string UnscrambleString(const std::string& scrambled, std::int32_t seed);

// Whether ScrambleString(plain, seed) is free of zero bytes, found without building it.
bool ScramblesWithoutZeroByte(const std::string& plain, std::int32_t seed);

} // namespace settings
