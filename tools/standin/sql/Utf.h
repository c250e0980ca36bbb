#pragma once
// UTF-8 and UTF-16, the two forms text takes in the stand-in: the engine keeps UTF-8; names, SQL text
// and N-types travel as UTF-16. Every reader of UTF-8 decodes through decodeUtf8, so a malformed byte
// is the same character to LEN, to comparison and to the client that receives it.
#include <cstddef>
#include <string>
#include <string_view>

namespace standin {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes one character of UTF-8 at text[i] (i < text.size()) and advances i past it. A stray or
// invalid byte, a truncated, overlong or surrogate sequence and a value past U+10FFFF each decode as
// one U+FFFD: reading them as Latin-1 would store characters the client never sent.
char32_t decodeUtf8(std::string_view text, size_t& i);
// Appends cp, which must be a valid code point, as UTF-8.
void appendUtf8(std::string& out, char32_t cp);

// Invalid UTF-8 sequences become U+FFFD; characters beyond the BMP become surrogate pairs.
std::u16string utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// Number of characters (code points) of UTF-8 text, each malformed sequence counting as its one U+FFFD.
size_t utf8Length(std::string_view text);

}  // namespace standin
