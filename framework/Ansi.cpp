#include "framework/Ansi.h"

#include "common/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <bitset>

QByteArray AnsiConverterName() { return QByteArray::fromStdString(codepage::ConverterName(codepage::Active())); }

QString FromAnsi(std::string_view bytes) {
    QStringDecoder decoder(AnsiConverterName().constData());
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

TAnsiDecoder::TAnsiDecoder() : SingleByte(!codepage::IsDoubleByte(codepage::Active())) {
    if (!SingleByte) return;
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
    if (!SingleByte) return FromAnsi(bytes);
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) *out++ = QChar(Characters[static_cast<unsigned char>(byte)]);
    return text;
}

namespace {

bool IsAscii(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

}  // namespace

std::string ToAnsi(const QString& text) {
    QStringEncoder encoder(AnsiConverterName().constData());
    QByteArray encoded = encoder.encode(text);
    if (!encoder.hasError()) return std::string(encoded.constData(), static_cast<size_t>(encoded.size()));

    // The converter marks unmappable characters with a control byte (0x1A); spell them "?" instead,
    // one code point at a time so that surrogate pairs count as one character.
    std::string result;
    result.reserve(static_cast<size_t>(text.size()));
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        QStringEncoder single(AnsiConverterName().constData());
        const QByteArray piece = single.encode(QStringView(text).mid(i, length));
        if (single.hasError())
            result += '?';
        else
            result.append(piece.constData(), static_cast<size_t>(piece.size()));
        i += length;
    }
    return result;
}

bool AnsiCanHold(const QString& text) {
    if (IsAscii(text)) return true;
    QStringEncoder encoder(AnsiConverterName().constData());
    const QByteArray encoded = encoder.encode(text);
    // Decoding back catches a character given the bytes of a look-alike.
    return !encoder.hasError() &&
           FromAnsi(std::string_view(encoded.constData(), static_cast<size_t>(encoded.size()))) == text;
}

namespace {

bool ConvertersRoundTrip(std::string_view bytes) {
    QStringDecoder decoder(AnsiConverterName().constData());
    const QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return !decoder.hasError() && AnsiCanHold(text) && ToAnsi(text) == bytes;
}

bool IsAsciiBytes(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Which bytes below 0x80 come back unchanged on their own in the code page in use, asked of the
// converters once per code page.
const std::bitset<128>& AsciiBytesKept() {
    thread_local unsigned codePage = 0;
    thread_local std::bitset<128> kept;
    if (codePage != codepage::Active()) {
        codePage = codepage::Active();
        for (unsigned byte = 0; byte < 128; ++byte) {
            const char c = static_cast<char>(byte);
            kept[byte] = ConvertersRoundTrip(std::string_view(&c, 1));
        }
    }
    return kept;
}

}  // namespace

bool AnsiRoundTrips(std::string_view bytes) {
    // No ANSI code page has a lead byte below 0x80, so in every one a text of such bytes is one
    // character per byte and comes back unchanged when each of its bytes does. Account names are
    // mostly such texts, and setting up the converters for each of a million names is what a list of
    // them would cost.
    if (!IsAsciiBytes(bytes)) return ConvertersRoundTrip(bytes);
    const std::bitset<128>& kept = AsciiBytesKept();
    return std::all_of(bytes.begin(), bytes.end(), [&kept](char c) { return kept[static_cast<unsigned char>(c)]; });
}
