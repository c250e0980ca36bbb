#pragma once
// The program keeps text as byte strings in Windows-1252 (the ANSI code page of the Windows original);
// Qt shows QString. These two functions are the only crossing between the two.
#include <QString>

#include <string>
#include <string_view>

// Decodes Windows-1252 bytes; every byte value maps to one character, so nothing is lost.
QString FromAnsi(std::string_view bytes);

// Encodes to Windows-1252; a character the code page lacks becomes "?", as the Windows conversion does.
std::string ToAnsi(const QString& text);
