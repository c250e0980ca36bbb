#pragma once
// SQL Server's collations: the name, the locale (LCID) and code page behind it, its case, accent,
// kana and width sensitivity or binary order, and the text rules that follow from them (comparison
// with trailing blanks ignored, LIKE). Case folding and accent removal come from ICU; the order of
// different letters is by code point, not by SQL Server's sort weights.
#include <cstdint>
#include <string>
#include <string_view>

namespace standin {

struct Collation {
    enum class Binary : uint8_t { No, Bin, Bin2 };
    std::string name;  // as SQL Server spells it
    uint32_t lcid = 0x0409;
    uint16_t codePage = 1252;
    uint8_t sortId = 0;   // SQL collations (SQL_...) only; 0 for Windows collations
    uint8_t version = 0;  // 0, or 1 for the _100_ generation
    bool caseSensitive = false;
    bool accentSensitive = true;
    bool kanaSensitive = false;
    bool widthSensitive = false;
    Binary binary = Binary::No;
};

// SQL_Latin1_General_CP1_CI_AS, the server default unless --collation names another.
const Collation& defaultCollation();
// The collation of this name (case-insensitive), or null when SQL Server has none of that name.
const Collation* findCollation(std::string_view name);
// The code page of a collation as the wire names it (the five TDS collation bytes: LCID and flags,
// then the SQL sort id); 1252 when the stand-in knows neither.
uint16_t codePageOfWireCollation(uint32_t lcidAndFlags, uint8_t sortId);
// The collation a type's own pointer names, the default when it names none.
inline const Collation& orDefault(const Collation* c) { return c ? *c : defaultCollation(); }

// Comparison under a collation, trailing blanks ignored: <0, 0, >0. Char texts are UTF-8 (binary
// collations compare their code-page bytes); N-texts are UTF-16.
int compareText(std::string_view a, std::string_view b, const Collation& collation);
int compareText(std::u16string_view a, std::u16string_view b, const Collation& collation);
// Names (databases, tables, columns) compare under the default collation.
inline int compareText(std::string_view a, std::string_view b) { return compareText(a, b, defaultCollation()); }

// T-SQL LIKE: % any run, _ one character, [abc] [a-z] [^x] sets; characters compare under the collation.
// escape, when not 0, makes the next pattern character literal.
bool likeMatch(std::u32string_view text, std::u32string_view pattern, char32_t escape, const Collation& collation);
// The characters LIKE matches: code points of UTF-8 text (decoded as Utf.h decodes it), UTF-16 code
// units of N-text.
std::u32string toCodePoints(std::string_view utf8);
std::u32string toCodePoints(std::u16string_view utf16);

// Upper and lower case of one character as the collation's locale-independent mapping gives them.
char32_t upperCase(char32_t c);
char32_t lowerCase(char32_t c);

}  // namespace standin
