#pragma once
// Text rules of the server's default collation (Latin1 General, case-insensitive, accent-sensitive):
// comparison that ignores case and trailing blanks, LIKE matching, and UTF-8/UTF-16 conversion.
#include <cstdint>
#include <string>
#include <string_view>

namespace standin {

std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);
// Number of characters (code points) of UTF-8 text; malformed bytes count one each.
size_t utf8Length(std::string_view text);
// The first n characters of UTF-8 text.
std::string_view utf8Prefix(std::string_view text, size_t n);

// Case-insensitive comparison of UTF-8 texts, trailing blanks ignored: <0, 0, >0.
int compareText(std::string_view a, std::string_view b);
int compareText(std::u16string_view a, std::u16string_view b);

// T-SQL LIKE: % any run, _ one character, [abc] [a-z] [^x] sets; case-insensitive.
// escape, when not 0, makes the next pattern character literal.
bool likeMatch(std::u32string_view text, std::u32string_view pattern, char32_t escape);
std::u32string toCodePoints(std::string_view utf8);
std::u32string toCodePoints(std::u16string_view utf16);

}  // namespace standin
