#pragma once
// The program keeps text as byte strings in the system's ANSI code page (common/CodePage.h); Qt shows
// QString. These functions are the window's crossing between the two, through the code-page unit's
// conversions, so the window and the layers below it agree byte for byte.
#include <QString>

#include <array>
#include <string>
#include <string_view>

// Decodes bytes of the code page; a byte sequence it does not define becomes a substitute character.
QString FromAnsi(std::string_view bytes);

// FromAnsi for many byte strings in a row (a list of a million names). A single-byte code page has no
// state, so each byte always decodes to the same character: the converter is asked once for all 256
// and its answers are reused. A double-byte code page is converted string by string. The code page is
// the one in use when the decoder is made.
class TAnsiDecoder {
public:
    TAnsiDecoder();
    QString operator()(std::string_view bytes) const;

private:
    bool SingleByte = true;
    std::array<char16_t, 256> Characters{};
};

// Encodes to the code page; a character the code page lacks becomes "?", as the Windows conversion does.
std::string ToAnsi(const QString& text);

// Whether ToAnsi keeps the text: every character has bytes of its own in the code page.
bool AnsiCanHold(const QString& text);
// Whether bytes survive FromAnsi and ToAnsi unchanged, so that acting on the decoded text acts on
// the same bytes.
bool AnsiRoundTrips(std::string_view bytes);
