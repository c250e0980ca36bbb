#include "framework/Ansi.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

constexpr const char* CodePage = "Windows-1252";

}  // namespace

QString FromAnsi(std::string_view bytes) {
    QStringDecoder decoder(CodePage);
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

TAnsiDecoder::TAnsiDecoder() {
    // All 256 bytes in one call: setting up the converter is what costs.
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
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) *out++ = QChar(Characters[static_cast<unsigned char>(byte)]);
    return text;
}

std::string ToAnsi(const QString& text) {
    QStringEncoder encoder(CodePage);
    QByteArray encoded = encoder.encode(text);
    if (!encoder.hasError()) return std::string(encoded.constData(), static_cast<size_t>(encoded.size()));

    // The converter marks unmappable characters with a control byte (0x1A); spell them "?" instead,
    // one code point at a time so that surrogate pairs count as one character.
    std::string result;
    result.reserve(static_cast<size_t>(text.size()));
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        QStringEncoder single(CodePage);
        const QByteArray piece = single.encode(QStringView(text).mid(i, length));
        if (single.hasError())
            result += '?';
        else
            result.append(piece.constData(), static_cast<size_t>(piece.size()));
        i += length;
    }
    return result;
}
