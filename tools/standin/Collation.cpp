#include "tools/standin/Collation.h"

#include "tools/standin/Utf.h"

#include <algorithm>

namespace standin {
namespace {

// Case folding for the Latin letters the default code page holds.
char32_t fold(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c < 0xC0) return c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
        // Latin Extended-A pairs: upper case at the even (or odd, in two ranges) position.
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddUpper ? (c % 2 == 1) : (c % 2 == 0)) return c + 1;
        return c;
    }
    if (c == 0x178) return 0xFF;
    return c;
}

template <typename NextA, typename NextB>
int compareFolded(NextA nextA, NextB nextB) {
    while (true) {
        char32_t a = 0, b = 0;
        const bool hasA = nextA(a), hasB = nextB(b);
        if (!hasA && !hasB) return 0;
        // Trailing blanks do not count: a shorter text compares as if padded with blanks.
        if (!hasA) a = U' ';
        if (!hasB) b = U' ';
        const char32_t fa = fold(a), fb = fold(b);
        if (fa != fb) return fa < fb ? -1 : 1;
    }
}

}  // namespace

int compareText(std::string_view a, std::string_view b) {
    size_t ia = 0, ib = 0;
    auto trimmed = [](std::string_view t) {
        while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
        return t;
    };
    a = trimmed(a);
    b = trimmed(b);
    // Plain ASCII, by far the usual case, needs no decoding.
    while (ia < a.size() && ib < b.size()) {
        const auto ca = static_cast<unsigned char>(a[ia]), cb = static_cast<unsigned char>(b[ib]);
        if ((ca | cb) & 0x80) break;
        const int fa = (ca >= 'A' && ca <= 'Z') ? ca + 32 : ca, fb = (cb >= 'A' && cb <= 'Z') ? cb + 32 : cb;
        if (fa != fb) return fa < fb ? -1 : 1;
        ++ia;
        ++ib;
    }
    return compareFolded(
        [&](char32_t& c) { if (ia >= a.size()) return false; c = decodeUtf8(a, ia); return true; },
        [&](char32_t& c) { if (ib >= b.size()) return false; c = decodeUtf8(b, ib); return true; });
}

int compareText(std::u16string_view a, std::u16string_view b) {
    while (!a.empty() && a.back() == u' ') a.remove_suffix(1);
    while (!b.empty() && b.back() == u' ') b.remove_suffix(1);
    size_t ia = 0, ib = 0;
    return compareFolded(
        [&](char32_t& c) { if (ia >= a.size()) return false; c = a[ia++]; return true; },
        [&](char32_t& c) { if (ib >= b.size()) return false; c = b[ib++]; return true; });
}

std::u32string toCodePoints(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) out += decodeUtf8(utf8, i);
    return out;
}

std::u32string toCodePoints(std::u16string_view utf16) {
    std::u32string out;
    out.reserve(utf16.size());
    for (char16_t c : utf16) out += char32_t(c);
    return out;
}

namespace {
// Matches one pattern element at pattern[p] against c; advances p past the element.
// Returns false for a malformed set, which then matches its '[' literally.
bool matchSet(std::u32string_view pattern, size_t& p, char32_t c, bool& matched) {
    size_t q = p + 1;
    bool negate = false;
    if (q < pattern.size() && pattern[q] == U'^') { negate = true; ++q; }
    const size_t start = q;
    bool found = false;
    while (q < pattern.size() && (pattern[q] != U']' || q == start)) {
        char32_t lo = pattern[q];
        char32_t hi = lo;
        if (q + 2 < pattern.size() && pattern[q + 1] == U'-' && pattern[q + 2] != U']') {
            hi = pattern[q + 2];
            q += 3;
        } else {
            ++q;
        }
        const char32_t fc = fold(c);
        if ((fc >= fold(lo) && fc <= fold(hi)) || (c >= lo && c <= hi)) found = true;
    }
    if (q >= pattern.size()) return false;
    p = q + 1;
    matched = negate ? !found : found;
    return true;
}
}  // namespace

bool likeMatch(std::u32string_view text, std::u32string_view pattern, char32_t escape) {
    // Iterative matcher with backtracking to the last '%': linear in practice, no recursion depth.
    size_t t = 0, p = 0;
    size_t starP = std::u32string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size()) {
            const char32_t pc = pattern[p];
            if (escape != 0 && pc == escape && p + 1 < pattern.size()) {
                if (fold(pattern[p + 1]) == fold(text[t])) { p += 2; ++t; continue; }
            } else if (pc == U'%') {
                starP = ++p;
                starT = t;
                continue;
            } else if (pc == U'_') {
                ++p; ++t;
                continue;
            } else if (pc == U'[') {
                size_t q = p;
                bool matched = false;
                if (matchSet(pattern, q, text[t], matched)) {
                    if (matched) { p = q; ++t; continue; }
                } else if (fold(text[t]) == U'[') {
                    ++p; ++t;
                    continue;
                }
            } else if (fold(pc) == fold(text[t])) {
                ++p; ++t;
                continue;
            }
        }
        if (starP == std::u32string_view::npos) return false;
        p = starP;
        t = ++starT;
    }
    while (p < pattern.size() && pattern[p] == U'%') ++p;
    return p == pattern.size();
}

}  // namespace standin
