#pragma once
// The program keeps text as byte strings in Windows-1252 (the ANSI code page of the Windows original);
// Qt shows QString. These two functions are the only crossing between the two.
#include <QString>

#include <array>
#include <string>
#include <string_view>

// Decodes Windows-1252 bytes; every byte value maps to one character, so nothing is lost.
QString FromAnsi(std::string_view bytes);

// FromAnsi for many byte strings in a row (a list of a million names). Windows-1252 is a single-byte
// code page without state, so each byte always decodes to the same character: the converter is asked
// once for all 256 and its answers are reused.
class TAnsiDecoder {
public:
    TAnsiDecoder();
    QString operator()(std::string_view bytes) const;

private:
    std::array<char16_t, 256> Characters{};
};

// Encodes to Windows-1252; a character the code page lacks becomes "?", as the Windows conversion does.
std::string ToAnsi(const QString& text);
