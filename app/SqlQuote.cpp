#include "app/SqlQuote.h"

// Works on bytes in every ANSI code page, the double-byte ones (932, 936, 949, 950) included: their
// trail bytes start at 0x40 (0x41 in 949), above the quote's 0x27, so a 0x27 byte is always a quote
// of its own and never the second half of a character.
std::string QuoteInner(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        result += c;
        if (c == '\'') result += '\'';
    }
    return result;
}
