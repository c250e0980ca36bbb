#include "settings/IntegerText.h"

#include <cstddef>

namespace {

int DigitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

}  // namespace

std::optional<std::int32_t> ParseInt32(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    int base = 10;
    if (at < text.size() && (text[at] == '$' || text[at] == 'x' || text[at] == 'X')) {
        base = 16;
        at += 1;
    } else if (at + 1 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (at == text.size()) return std::nullopt;

    const std::uint64_t limit = base == 16 ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    std::uint64_t magnitude = 0;
    for (; at < text.size(); ++at) {
        const int digit = DigitValue(text[at], base);
        if (digit < 0) return std::nullopt;
        magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (magnitude > limit) return std::nullopt;
    }
    auto bits = static_cast<std::uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
}
