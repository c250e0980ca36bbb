#pragma once
// Text rules of the server's default collation (Latin1 General, case-insensitive, accent-sensitive):
// comparison that ignores case and trailing blanks, and LIKE matching.
#include <string>
#include <string_view>

namespace standin {

// Case-insensitive comparison of UTF-8 texts, trailing blanks ignored: <0, 0, >0.
int compareText(std::string_view a, std::string_view b);
int compareText(std::u16string_view a, std::u16string_view b);

// T-SQL LIKE: % any run, _ one character, [abc] [a-z] [^x] sets; case-insensitive.
// escape, when not 0, makes the next pattern character literal.
bool likeMatch(std::u32string_view text, std::u32string_view pattern, char32_t escape);
// The characters LIKE matches: code points of UTF-8 text (decoded as Utf.h decodes it), UTF-16 code
// units of N-text.
std::u32string toCodePoints(std::string_view utf8);
std::u32string toCodePoints(std::u16string_view utf16);

}  // namespace standin
