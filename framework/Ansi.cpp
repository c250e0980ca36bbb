#include "framework/Ansi.h"

#include "common/CodePage.h"

#include <string_view>

namespace {

std::u16string_view Utf16Of(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())};
}

}  // namespace

QString FromAnsi(std::string_view bytes) { return QString::fromStdU16String(codepage::ToUtf16(bytes)); }

TAnsiDecoder::TAnsiDecoder() : SingleByte(!codepage::IsDoubleByte(codepage::Active())) {
    if (!SingleByte) return;
    // All 256 bytes in one call, one character each in a single-byte code page.
    std::string everyByte(256, '\0');
    for (int byte = 0; byte < 256; ++byte) everyByte[static_cast<size_t>(byte)] = static_cast<char>(byte);
    const QString characters = FromAnsi(everyByte);
    for (int byte = 0; byte < 256; ++byte) {
        if (characters.size() == 256) {
            Characters[static_cast<size_t>(byte)] = characters.at(byte).unicode();
        } else {  // not one character per byte after all: ask byte by byte
            const QString character = FromAnsi(std::string_view(&everyByte[static_cast<size_t>(byte)], 1));
            Characters[static_cast<size_t>(byte)] = character.size() == 1 ? character.at(0).unicode() : u'?';
        }
    }
}

QString TAnsiDecoder::operator()(std::string_view bytes) const {
    if (!SingleByte) return FromAnsi(bytes);
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) *out++ = QChar(Characters[static_cast<unsigned char>(byte)]);
    return text;
}

std::string ToAnsi(const QString& text) { return codepage::FromUtf16(Utf16Of(text)); }

bool AnsiCanHold(const QString& text) { return codepage::CanHold(Utf16Of(text)); }

bool AnsiRoundTrips(std::string_view bytes) { return codepage::RoundTrips(bytes); }
