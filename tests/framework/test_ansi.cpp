// Conversion between the program's byte strings in the code page (Windows-1252 by default) and Qt's
// text.
#include "framework/Ansi.h"

#include "common/CodePage.h"
#include "tests/common/ScopedCodePage.h"

#include <gtest/gtest.h>

#include <QStringDecoder>
#include <QStringEncoder>

#include <string>
#include <vector>

TEST(AnsiConversion, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
    const QString decoded = FromAnsi(all);
    EXPECT_EQ(decoded.size(), 256);
    EXPECT_EQ(ToAnsi(decoded), all);
}

TEST(AnsiConversion, MapsTheCodePageNotLatin1) {
    struct Case {
        std::string Bytes;
        char16_t Character;
    };
    const Case cases[] = {
        {"A", u'A'},         {"\xE9", u'\u00E9'},  // e acute, same as Latin-1
        {"\x80", u'\u20AC'},                       // euro sign: Windows-1252 differs from Latin-1 here
        {"\x9F", u'\u0178'},                       // Y diaeresis
        {"\xFF", u'\u00FF'},
    };
    for (const Case& c : cases) {
        const QString text = FromAnsi(c.Bytes);
        ASSERT_EQ(text.size(), 1) << c.Bytes;
        EXPECT_EQ(text.at(0).unicode(), c.Character) << c.Bytes;
        EXPECT_EQ(ToAnsi(QString(QChar(c.Character))), c.Bytes);
    }
}

TEST(AnsiConversion, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    // Cyrillic Zhe, then an emoji made of a surrogate pair: each is one unmappable character.
    EXPECT_EQ(ToAnsi(QString::fromUtf8("a\xD0\x96z\xF0\x9F\x98\x80!")), "a?z?!");
    EXPECT_EQ(ToAnsi(QString()), "");
}

TEST(AnsiConversion, KeepsEmbeddedZeroBytes) {
    const std::string bytes("a\0b", 3);
    EXPECT_EQ(ToAnsi(FromAnsi(bytes)), bytes);
}

TEST(AnsiConversion, FollowsTheCodePageInUse) {
    struct Case {
        unsigned CodePage;
        std::string Bytes;
        const char* Utf8;
    };
    const Case cases[] = {
        {1251, "\xC8\xE2\xE0\xED", "\u0418\u0432\u0430\u043d"},
        {1253, "\xD9", "\u03a9"},
        {949, "kim \xB0\xA1", "kim \uac00"},
        {932, "\x93\xFA\x96\x7B", "\u65e5\u672c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.CodePage);
        const TScopedCodePage active(c.CodePage);
        EXPECT_EQ(FromAnsi(c.Bytes), QString::fromUtf8(c.Utf8));
        EXPECT_EQ(ToAnsi(QString::fromUtf8(c.Utf8)), c.Bytes);
        EXPECT_TRUE(AnsiCanHold(QString::fromUtf8(c.Utf8)));
        EXPECT_TRUE(AnsiRoundTrips(c.Bytes));
    }
}

// Texts of bytes below 0x80 are answered from a table of single bytes; the answer must be the one the
// converters give for the whole text, in every code page.
TEST(AnsiConversion, AsciiTextsRoundTripExactlyAsTheConvertersSay) {
    const unsigned codePages[] = {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
    std::vector<std::string> texts = {"", "alpha", "Admin_01", "a b~c\\d", std::string("a\0b", 3), "\x1A\x1C\x7F"};
    for (int byte = 0; byte < 128; ++byte) texts.emplace_back(1, static_cast<char>(byte));
    for (const unsigned codePage : codePages) {
        SCOPED_TRACE(codePage);
        const TScopedCodePage active(codePage);
        QStringDecoder decoder(codepage::ConverterName(codepage::Active()).c_str());
        for (const std::string& bytes : texts) {
            const QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
            QStringEncoder encoder(codepage::ConverterName(codepage::Active()).c_str());
            const QByteArray back = encoder.encode(text);
            const bool kept = !decoder.hasError() && !encoder.hasError() &&
                              std::string(back.constData(), static_cast<size_t>(back.size())) == bytes;
            EXPECT_EQ(AnsiRoundTrips(bytes), kept) << testing::PrintToString(bytes);
            decoder.resetState();
        }
    }
}

TEST(AnsiConversion, TellsWhatTheCodePageWouldChange) {
    {
        const TScopedCodePage cyrillic(1251);
        EXPECT_FALSE(AnsiCanHold(QString::fromUtf8("\u03a9")));   // Greek
        EXPECT_FALSE(AnsiCanHold(QString::fromUtf8("a\uac00")));  // Hangul
        EXPECT_EQ(ToAnsi(QString::fromUtf8("\u0416\u03a9")), "\xC6?");
        EXPECT_TRUE(AnsiCanHold(QString::fromUtf8("\u0416 ok")));
    }
    {
        const TScopedCodePage western(1252);
        EXPECT_FALSE(AnsiCanHold(QString::fromUtf8("\u0416")));
        EXPECT_FALSE(AnsiCanHold(QString::fromUtf8("\u0100")));  // no look-alike "A" either
        EXPECT_TRUE(AnsiCanHold(QString::fromUtf8("J\u00fcrgen \u20ac")));
    }
    {
        const TScopedCodePage korean(949);
        EXPECT_FALSE(AnsiRoundTrips("\xB0"));      // a lead byte alone
        EXPECT_FALSE(AnsiRoundTrips("\xB0\x20"));  // a lead byte before a byte that cannot follow it
        EXPECT_TRUE(AnsiRoundTrips("abc"));
    }
    {
        const TScopedCodePage japanese(932);
        EXPECT_FALSE(AnsiRoundTrips("\xED\x40"));  // a duplicate code: it comes back as another
    }
}
