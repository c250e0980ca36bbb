#include "tools/standin/TdsText.h"

#include <gtest/gtest.h>

using namespace standin::tds;

TEST(TdsText, Utf8AndUtf16RoundTripIncludingSurrogatePairs) {
    const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
    const std::u16string wide = utf8ToUtf16(text);
    EXPECT_EQ(wide, (std::u16string{u'A', 0x00E9, 0x20AC, 0xD83D, 0xDE00}));
    EXPECT_EQ(utf16ToUtf8(wide), text);
}

TEST(TdsText, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(utf8ToUtf16("a\xFF" "b"), (std::u16string{u'a', 0xFFFD, u'b'}));
    EXPECT_EQ(utf8ToUtf16("\xC3"), std::u16string(1, 0xFFFD));          // truncated sequence
    EXPECT_EQ(utf8ToUtf16("\xC0\x80"), std::u16string(1, 0xFFFD));      // overlong NUL
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");  // lone high surrogate
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xDC00}), "\xEF\xBF\xBD");
}

TEST(TdsText, EveryWindows1252ByteRoundTripsThroughUtf8) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(all)), all);
}

TEST(TdsText, Windows1252MapsItsSpecialCharacters) {
    struct Case {
        std::string utf8;
        std::string cp1252;
    };
    const Case cases[] = {
        {"\xE2\x82\xAC", "\x80"},           // euro sign
        {"\xC5\xA0", "\x8A"},               // S caron
        {"\xE2\x84\xA2", "\x99"},           // trade mark
        {"\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},  // été
        {"\xC3\xBF", "\xFF"},
        {"plain", "plain"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8ToCp1252(c.utf8), c.cp1252) << c.utf8;
        EXPECT_EQ(cp1252ToUtf8(c.cp1252), c.utf8) << c.utf8;
    }
}

TEST(TdsText, CharactersOutsideWindows1252BecomeQuestionMarks) {
    EXPECT_EQ(utf8ToCp1252("\xD0\x96x\xE4\xB8\xAD\xF0\x9F\x98\x80"), "?x??");  // Ж x 中 😀
}
