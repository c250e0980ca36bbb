#include "tools/standin/sql/Collation.h"

#include "tools/standin/sql/CodePage.h"
#include "tools/standin/sql/Utf.h"

#include <algorithm>
#include <vector>

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace standin {
namespace {

struct Family {
    const char* name;
    uint32_t lcid;
    uint16_t codePage;
};

// Windows collation families and the locale and code page SQL Server gives each.
constexpr Family kFamilies[] = {
    {"Latin1_General", 0x0409, 1252},
    {"Cyrillic_General", 0x0419, 1251},
    {"Ukrainian", 0x0422, 1251},
    {"Polish", 0x0415, 1250},
    {"Czech", 0x0405, 1250},
    {"Hungarian", 0x040E, 1250},
    {"Croatian", 0x041A, 1250},
    {"Romanian", 0x0418, 1250},
    {"Slovak", 0x041B, 1250},
    {"Slovenian", 0x0424, 1250},
    {"Greek", 0x0408, 1253},
    {"Turkish", 0x041F, 1254},
    {"Hebrew", 0x040D, 1255},
    {"Arabic", 0x0401, 1256},
    {"Estonian", 0x0425, 1257},
    {"Latvian", 0x0426, 1257},
    {"Lithuanian", 0x0427, 1257},
    {"Vietnamese", 0x042A, 1258},
    {"Thai", 0x041E, 874},
    {"Japanese", 0x0411, 932},
    {"Chinese_PRC", 0x0804, 936},
    {"Korean_Wansung", 0x0412, 949},
    {"Chinese_Taiwan_Stroke", 0x0404, 950},
    {"Chinese_Taiwan_Bopomofo", 0x30404, 950},
};

struct SqlCollation {
    const char* name;
    uint16_t codePage;
    uint8_t sortId;
    bool caseSensitive;
    bool accentSensitive;
};

// The SQL collations of the Latin1 general family, each with its own sort order id.
constexpr SqlCollation kSqlCollations[] = {
    {"SQL_Latin1_General_CP1_CS_AS", 1252, 51, true, true},
    {"SQL_Latin1_General_CP1_CI_AS", 1252, 52, false, true},
    {"SQL_Latin1_General_CP1_CI_AI", 1252, 54, false, false},
    {"SQL_Latin1_General_CP1250_CS_AS", 1250, 81, true, true},
    {"SQL_Latin1_General_CP1250_CI_AS", 1250, 82, false, true},
    {"SQL_Latin1_General_CP1251_CS_AS", 1251, 105, true, true},
    {"SQL_Latin1_General_CP1251_CI_AS", 1251, 106, false, true},
    {"SQL_Latin1_General_CP1253_CS_AS", 1253, 113, true, true},
    {"SQL_Latin1_General_CP1253_CI_AS", 1253, 114, false, true},
    {"SQL_Latin1_General_CP1254_CS_AS", 1254, 121, true, true},
    {"SQL_Latin1_General_CP1254_CI_AS", 1254, 122, false, true},
    {"SQL_Latin1_General_CP1255_CS_AS", 1255, 129, true, true},
    {"SQL_Latin1_General_CP1255_CI_AS", 1255, 130, false, true},
    {"SQL_Latin1_General_CP1256_CS_AS", 1256, 137, true, true},
    {"SQL_Latin1_General_CP1256_CI_AS", 1256, 138, false, true},
    {"SQL_Latin1_General_CP1257_CS_AS", 1257, 145, true, true},
    {"SQL_Latin1_General_CP1257_CI_AS", 1257, 146, false, true},
};

std::vector<Collation> buildRegistry() {
    std::vector<Collation> all;
    for (const auto& s : kSqlCollations) {
        Collation c;
        c.name = s.name;
        c.codePage = s.codePage;
        c.sortId = s.sortId;
        c.caseSensitive = s.caseSensitive;
        c.accentSensitive = s.accentSensitive;
        all.push_back(c);
    }
    for (const auto& f : kFamilies) {
        Collation base;
        base.lcid = f.lcid;
        base.codePage = f.codePage;
        for (const auto binary : {Collation::Binary::Bin, Collation::Binary::Bin2}) {
            Collation c = base;
            c.name = std::string(f.name) + (binary == Collation::Binary::Bin ? "_BIN" : "_BIN2");
            c.binary = binary;
            c.caseSensitive = c.accentSensitive = c.kanaSensitive = c.widthSensitive = true;
            all.push_back(c);
        }
        for (int variant = 0; variant < 16; ++variant) {
            Collation c = base;
            c.caseSensitive = variant & 1;
            c.accentSensitive = variant & 2;
            c.kanaSensitive = variant & 4;
            c.widthSensitive = variant & 8;
            c.name = std::string(f.name) + (c.caseSensitive ? "_CS" : "_CI") + (c.accentSensitive ? "_AS" : "_AI") +
                     (c.kanaSensitive ? "_KS" : "") + (c.widthSensitive ? "_WS" : "");
            all.push_back(c);
        }
    }
    return all;
}

const std::vector<Collation>& registry() {
    static const std::vector<Collation> all = buildRegistry();
    return all;
}

char32_t asciiLower(char32_t c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

char32_t foldCase(char32_t c) {
    if (c < 0x80) return asciiLower(c);
    return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

// The letter without its accents: the first character of its canonical decomposition.
char32_t baseLetter(char32_t c) {
    if (c < 0xC0) return c;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) return c;
    icu::UnicodeString decomposition;
    if (!nfd->getDecomposition(static_cast<UChar32>(c), decomposition) || decomposition.isEmpty()) return c;
    return static_cast<char32_t>(decomposition.char32At(0));
}

bool isCombiningMark(char32_t c) { return c >= 0x300 && u_getCombiningClass(static_cast<UChar32>(c)) != 0; }

// The three levels a non-binary collation tells characters apart by: the letter, its accents
// (accent-sensitive collations), its case (case-sensitive ones, lower case first).
char32_t primaryWeight(char32_t c) { return foldCase(baseLetter(c)); }
char32_t secondaryWeight(char32_t c) { return foldCase(c); }
uint64_t tertiaryWeight(char32_t c) {
    const bool upper = foldCase(c) != c;
    return (uint64_t(foldCase(c)) << 1) | (upper ? 1 : 0);
}

template <typename Weight>
int compareLevel(const std::u32string& a, const std::u32string& b, Weight weight) {
    const size_t n = std::max(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        // A shorter text compares as if padded with blanks.
        const auto wa = weight(i < a.size() ? a[i] : U' '), wb = weight(i < b.size() ? b[i] : U' ');
        if (wa != wb) return wa < wb ? -1 : 1;
    }
    return 0;
}

std::u32string comparable(std::u32string text, const Collation& c) {
    while (!text.empty() && text.back() == U' ') text.pop_back();
    if (!c.accentSensitive) std::erase_if(text, isCombiningMark);
    return text;
}

int compareCodePoints(const std::u32string& a, const std::u32string& b, const Collation& c) {
    const std::u32string x = comparable(a, c), y = comparable(b, c);
    if (const int r = compareLevel(x, y, primaryWeight)) return r;
    if (c.accentSensitive)
        if (const int r = compareLevel(x, y, secondaryWeight)) return r;
    if (c.caseSensitive) return compareLevel(x, y, tertiaryWeight);
    return 0;
}

template <typename Char>
std::basic_string_view<Char> trimBlanks(std::basic_string_view<Char> t) {
    while (!t.empty() && t.back() == Char(' ')) t.remove_suffix(1);
    return t;
}

bool sameCharacter(char32_t a, char32_t b, const Collation& c) {
    if (c.binary != Collation::Binary::No || a == b) return a == b;
    if (primaryWeight(a) != primaryWeight(b)) return false;
    if (c.accentSensitive && secondaryWeight(a) != secondaryWeight(b)) return false;
    return !c.caseSensitive || a == b;
}

uint64_t rangeWeight(char32_t ch, const Collation& c) {
    if (c.binary != Collation::Binary::No) return ch;
    return c.caseSensitive ? tertiaryWeight(ch) : (uint64_t(primaryWeight(ch)) << 1);
}

}  // namespace

const Collation& defaultCollation() {
    static const Collation* c = findCollation("SQL_Latin1_General_CP1_CI_AS");
    return *c;
}

uint16_t codePageOfWireCollation(uint32_t lcidAndFlags, uint8_t sortId) {
    const uint32_t lcid = lcidAndFlags & 0xFFFFF;
    for (const Collation& c : registry())
        if (sortId != 0 ? c.sortId == sortId : (c.sortId == 0 && c.lcid == lcid)) return c.codePage;
    return 1252;
}

const Collation* findCollation(std::string_view name) {
    for (const Collation& c : registry()) {
        if (c.name.size() != name.size()) continue;
        if (std::equal(c.name.begin(), c.name.end(), name.begin(),
                       [](char x, char y) { return asciiLower(char32_t(x)) == asciiLower(char32_t(y)); }))
            return &c;
    }
    return nullptr;
}

// Compares texts of plain ASCII, by far the usual case, without decoding or the Unicode tables.
// Returns false, leaving result alone, when a character outside ASCII decides.
template <typename Char>
bool compareAscii(std::basic_string_view<Char> a, std::basic_string_view<Char> b, const Collation& c, int& result) {
    size_t i = 0;
    int tertiary = 0;
    for (; i < a.size() && i < b.size(); ++i) {
        const auto ca = static_cast<char32_t>(a[i]), cb = static_cast<char32_t>(b[i]);
        if (ca >= 0x80 || cb >= 0x80) return false;
        const char32_t fa = asciiLower(ca), fb = asciiLower(cb);
        if (fa != fb) {
            result = fa < fb ? -1 : 1;
            return true;
        }
        if (tertiary == 0 && ca != cb) tertiary = tertiaryWeight(ca) < tertiaryWeight(cb) ? -1 : 1;
    }
    if (i == a.size() && i == b.size()) {
        result = c.caseSensitive ? tertiary : 0;
        return true;
    }
    // One text is a prefix of the other: its first further character decides against a blank.
    const auto first = static_cast<char32_t>(i == a.size() ? b[i] : a[i]);
    if (first >= 0x80) return false;
    const int longerIsLess = first < U' ' ? 1 : -1;
    result = i == a.size() ? longerIsLess : -longerIsLess;
    return true;
}

int compareText(std::string_view a, std::string_view b, const Collation& c) {
    a = trimBlanks(a);
    b = trimBlanks(b);
    if (c.binary != Collation::Binary::No) {
        const std::string x = encodeCodePage(a, c.codePage), y = encodeCodePage(b, c.codePage);
        const int r = std::string_view(x).compare(y);
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    int result = 0;
    if (compareAscii(a, b, c, result)) return result;
    return compareCodePoints(toCodePoints(a), toCodePoints(b), c);
}

int compareText(std::u16string_view a, std::u16string_view b, const Collation& c) {
    a = trimBlanks(a);
    b = trimBlanks(b);
    if (c.binary != Collation::Binary::No) {
        const int r = a.compare(b);
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    int result = 0;
    if (compareAscii(a, b, c, result)) return result;
    return compareCodePoints(toCodePoints(utf16ToUtf8(a)), toCodePoints(utf16ToUtf8(b)), c);
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

char32_t upperCase(char32_t c) { return static_cast<char32_t>(u_toupper(static_cast<UChar32>(c))); }
char32_t lowerCase(char32_t c) { return static_cast<char32_t>(u_tolower(static_cast<UChar32>(c))); }

namespace {
// Matches one pattern set at pattern[p] against c; advances p past it. Returns false for a
// malformed set, which then matches its '[' literally.
bool matchSet(std::u32string_view pattern, size_t& p, char32_t c, bool& matched, const Collation& coll) {
    size_t q = p + 1;
    bool negate = false;
    if (q < pattern.size() && pattern[q] == U'^') {
        negate = true;
        ++q;
    }
    const size_t start = q;
    bool found = false;
    const uint64_t wc = rangeWeight(c, coll);
    while (q < pattern.size() && (pattern[q] != U']' || q == start)) {
        char32_t lo = pattern[q];
        char32_t hi = lo;
        if (q + 2 < pattern.size() && pattern[q + 1] == U'-' && pattern[q + 2] != U']') {
            hi = pattern[q + 2];
            q += 3;
        } else {
            ++q;
        }
        if (lo == hi ? sameCharacter(c, lo, coll) : (wc >= rangeWeight(lo, coll) && wc <= rangeWeight(hi, coll)))
            found = true;
    }
    if (q >= pattern.size()) return false;
    p = q + 1;
    matched = negate ? !found : found;
    return true;
}
}  // namespace

bool likeMatch(std::u32string_view text, std::u32string_view pattern, char32_t escape, const Collation& coll) {
    // Iterative matcher with backtracking to the last '%': linear in practice, no recursion depth.
    size_t t = 0, p = 0;
    size_t starP = std::u32string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size()) {
            const char32_t pc = pattern[p];
            if (escape != 0 && pc == escape && p + 1 < pattern.size()) {
                if (sameCharacter(pattern[p + 1], text[t], coll)) {
                    p += 2;
                    ++t;
                    continue;
                }
            } else if (pc == U'%') {
                starP = ++p;
                starT = t;
                continue;
            } else if (pc == U'_') {
                ++p;
                ++t;
                continue;
            } else if (pc == U'[') {
                size_t q = p;
                bool matched = false;
                if (matchSet(pattern, q, text[t], matched, coll)) {
                    if (matched) {
                        p = q;
                        ++t;
                        continue;
                    }
                } else if (text[t] == U'[') {
                    ++p;
                    ++t;
                    continue;
                }
            } else if (sameCharacter(pc, text[t], coll)) {
                ++p;
                ++t;
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
