#include "tools/standin/TdsText.h"

#include <gtest/gtest.h>

using namespace standin::tds;

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
