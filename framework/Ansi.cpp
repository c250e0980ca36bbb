#include "framework/Ansi.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

constexpr const char* CodePage = "Windows-1252";

}  // namespace

QString FromAnsi(std::string_view bytes)
{
    QStringDecoder decoder(CodePage);
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string ToAnsi(const QString& text)
{
    QStringEncoder encoder(CodePage);
    QByteArray encoded = encoder.encode(text);
    if (!encoder.hasError())
        return std::string(encoded.constData(), static_cast<size_t>(encoded.size()));

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
