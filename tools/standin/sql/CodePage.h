#pragma once
// Text in the Windows code pages that SQL Server keeps char, varchar and text in, converted by the C
// library's iconv. The engine holds such text as UTF-8 restricted to what the column's code page can
// hold; these functions give its bytes, its length in bytes and its cut to a byte limit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace standin {

// The code page's bytes for UTF-8 text; a character the code page cannot hold becomes '?', as
// SQL Server stores it. Throws std::runtime_error when the C library lacks the code page.
std::string encodeCodePage(std::string_view utf8, uint16_t codePage);
// UTF-8 for bytes of the code page; a byte sequence the code page does not define becomes '?'.
std::string decodeCodePage(std::string_view bytes, uint16_t codePage);
// What a value becomes once stored in a column of the code page: unmappable characters are '?'.
std::string storeInCodePage(std::string_view utf8, uint16_t codePage);
// Bytes the text takes in the code page.
size_t codePageLength(std::string_view utf8, uint16_t codePage);
// The longest run of whole characters from the start whose bytes fit maxBytes.
std::string_view codePagePrefix(std::string_view utf8, uint16_t codePage, size_t maxBytes);

}  // namespace standin
