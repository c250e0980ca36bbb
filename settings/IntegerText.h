#pragma once
// Integer text as the settings store reads it: optional leading blanks, an optional sign, then decimal
// digits or hexadecimal digits introduced by "$", "x" or "0x" (either case). The whole text must be
// used. Decimal values must lie in the 32-bit signed range; hexadecimal digits must fit in 32 bits and
// give that bit pattern ($FFFFFFFF is -1).
#include <cstdint>
#include <optional>
#include <string_view>

std::optional<std::int32_t> ParseInt32(std::string_view text);
