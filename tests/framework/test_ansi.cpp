// Conversion between the program's Windows-1252 byte strings and Qt's text.
#include "framework/Ansi.h"

#include <gtest/gtest.h>

#include <string>

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
