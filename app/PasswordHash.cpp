#include "app/PasswordHash.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace {

constexpr std::size_t BlockLength = 16;
constexpr std::size_t GroupCount = BlockLength / 4;

// One multiplier and addend per group of four bytes; v * M + A stays below 2^50, so 64 bits never overflow.
constexpr std::array<std::uint64_t, GroupCount> Multipliers{213119, 213247, 213203, 213821};
constexpr std::array<std::uint64_t, GroupCount> Addends{2529077, 2529089, 2529589, 2529997};

// A zero byte cannot travel in the stored value, so it is written as this instead.
constexpr std::uint8_t ZeroSubstitute = 0x66;

using Block = std::array<std::uint8_t, BlockLength>;

// The password cut or padded with zero bytes to exactly 16 bytes, each taken unsigned.
Block PadPassword(std::string_view password) {
    Block padded{};
    const std::size_t used = std::min(password.size(), BlockLength);
    for (std::size_t i = 0; i < used; ++i) padded[i] = static_cast<std::uint8_t>(password[i]);
    return padded;
}

// Each group of four bytes, read least significant first, goes through v * M + A mod 2^32.
Block DeriveKey(const Block& padded) {
    Block key{};
    for (std::size_t group = 0; group < GroupCount; ++group) {
        const std::size_t first = group * 4;
        const std::uint64_t word = std::uint64_t{padded[first]} | std::uint64_t{padded[first + 1]} << 8 |
                                   std::uint64_t{padded[first + 2]} << 16 | std::uint64_t{padded[first + 3]} << 24;
        const std::uint64_t reduced = (word * Multipliers[group] + Addends[group]) & 0xFFFF'FFFFu;
        for (std::size_t byte = 0; byte < 4; ++byte)
            key[first + byte] = static_cast<std::uint8_t>(reduced >> (8 * byte));
    }
    return key;
}

}  // namespace

std::string HashPassword(std::string_view password) {
    const Block padded = PadPassword(password);
    const Block key = DeriveKey(padded);

    // The chain feeds each output byte into the next one before zero bytes are substituted.
    Block output{};
    output[0] = padded[0] ^ key[0];
    for (std::size_t i = 1; i < BlockLength; ++i) output[i] = padded[i] ^ output[i - 1] ^ key[i];
    std::replace(output.begin(), output.end(), std::uint8_t{0}, ZeroSubstitute);

    static constexpr char HexDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    text.reserve(2 + 2 * BlockLength);
    for (const std::uint8_t byte : output) {
        text += HexDigits[byte >> 4];
        text += HexDigits[byte & 0x0F];
    }
    return text;
}
