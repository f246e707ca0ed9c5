#include "settings/unitCrypt.h"

namespace settings {

namespace {

// The state moves on with the scrambled byte in both directions, which is what makes
// unscrambling the inverse of scrambling.
std::uint16_t Advance(std::uint16_t state, unsigned char scrambled)
{
    return static_cast<std::uint16_t>((static_cast<std::uint32_t>(state) + scrambled) * CryptMultiplier + CryptAddend);
}

} // namespace

std::string ScrambleString(const std::string& plain, std::int32_t seed)
{
    std::string result = plain;
    auto state = static_cast<std::uint16_t>(static_cast<std::uint32_t>(seed) & 0xFFFFu);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const auto out = static_cast<unsigned char>(static_cast<unsigned char>(plain[i]) ^ (state >> 8));
        result[i] = static_cast<char>(out);
        state = Advance(state, out);
    }
    return result;
}

std::string UnscrambleString(const std::string& scrambled, std::int32_t seed)
{
    std::string result = scrambled;
    auto state = static_cast<std::uint16_t>(static_cast<std::uint32_t>(seed) & 0xFFFFu);
    for (std::size_t i = 0; i < scrambled.size(); ++i) {
        const auto in = static_cast<unsigned char>(scrambled[i]);
        result[i] = static_cast<char>(in ^ (state >> 8));
        state = Advance(state, in);
    }
    return result;
}

bool ScramblesWithoutZeroByte(const std::string& plain, std::int32_t seed)
{
    auto state = static_cast<std::uint16_t>(static_cast<std::uint32_t>(seed) & 0xFFFFu);
    for (const char c : plain) {
        const auto out = static_cast<unsigned char>(static_cast<unsigned char>(c) ^ (state >> 8));
        if (out == 0)
            return false;
        state = Advance(state, out);
    }
    return true;
}

} // namespace settings
