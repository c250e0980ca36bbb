#pragma once
// Windows-1252, the default collation's code page, in which the wire carries char/varchar/text data.
// The engine keeps UTF-8; names, SQL text and N-types travel as UTF-16LE (Utf.h).
#include <string>
#include <string_view>

namespace standin::tds {

// Characters that Windows-1252 cannot hold become '?', as SQL Server stores them in a varchar.
std::string utf8ToCp1252(std::string_view text);
std::string cp1252ToUtf8(std::string_view text);

}  // namespace standin::tds
