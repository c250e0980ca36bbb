#pragma once
// The system's ANSI code page: the Windows code page the program's byte strings are in. It belongs to
// the process, as Windows' ANSI code page does: chosen once at start from the user's locale (as Windows
// chooses it) or from the settings file, and asked by every conversion of the program.
// Conversions go through ICU with the same converter names that Qt's converters take, so the window
// and the layers below it agree byte for byte.
#include "common/Exception.h"

#include <string>
#include <string_view>

namespace codepage {

// Raised for a code page number the program cannot work in.
class ECodePageError : public Exception {
public:
    using Exception::Exception;
};

// The Windows ANSI code pages: 874, 932, 936, 949, 950 and 1250 to 1258.
bool IsAnsiCodePage(unsigned number);
// 932, 936, 949 and 950: a character takes one or two bytes.
bool IsDoubleByte(unsigned number);
// The converter name ICU and Qt share for a code page ("windows-1251").
std::string ConverterName(unsigned number);

// The ANSI code page Windows gives a POSIX locale name ("ru_RU.UTF-8", "sr_RS@latin", "C"): taken
// from its language and territory, 1252 for every locale without a code page of its own.
unsigned ForLocale(std::string_view locale);
// ForLocale of the locale the C library would use for character types: LC_ALL, else LC_CTYPE, else
// LANG (the first one set and not empty).
unsigned ForEnvironment();

// The code page in use; ForEnvironment() until SetActive chooses another.
unsigned Active();
// Chooses the code page in use. Raises ECodePageError (and keeps the current one) for a number that
// is not an ANSI code page.
void SetActive(unsigned number);

// Conversions in the code page in use. ASCII is the same in every ANSI code page and passes as it is.
// Bytes to UTF-16; a byte sequence the code page does not define becomes U+FFFD.
std::u16string ToUtf16(std::string_view bytes);
// UTF-16 to bytes; a character the code page lacks becomes '?', as Windows' conversion does.
std::string FromUtf16(std::u16string_view text);
std::string ToUtf8(std::string_view bytes);
std::string FromUtf8(std::string_view text);
// Whether every character of the text has bytes of its own in the code page, so that converting it
// and back gives the same text.
bool CanHold(std::u16string_view text);
// Whether the bytes are characters of the code page that convert back to the same bytes.
bool RoundTrips(std::string_view bytes);

// Upper case as Windows gives it for the code page: each character mapped on its own by Unicode's
// simple upper-case mapping, without regard to language (so "i" becomes "I" in Turkish too); a
// character whose upper case the code page lacks, or that would take another number of bytes, stays.
std::string UpperCase(std::string_view bytes);
// Compares the upper-cased bytes, unsigned (negative, zero, positive).
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);

}  // namespace codepage
