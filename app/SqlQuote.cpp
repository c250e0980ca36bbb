#include "app/SqlQuote.h"

std::string QuoteInner(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        result += c;
        if (c == '\'') result += '\'';
    }
    return result;
}
