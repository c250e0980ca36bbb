#pragma once
// Text conversions at the wire: the engine keeps UTF-8, the wire carries UTF-16LE for names, SQL
// text and N-types, and the collation's code page (Windows-1252) for char/varchar/text data.
#include <string>
#include <string_view>

namespace standin::tds {

// Invalid UTF-8 sequences become U+FFFD; characters beyond the BMP become surrogate pairs.
std::u16string utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// Characters that Windows-1252 cannot hold become '?', as SQL Server stores them in a varchar.
std::string utf8ToCp1252(std::string_view text);
std::string cp1252ToUtf8(std::string_view text);

}  // namespace standin::tds
