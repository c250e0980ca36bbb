#include "tools/standin/sql/Utf.h"

#include "tools/standin/sql/Collation.h"

#include <gtest/gtest.h>

#include <string>

namespace standin {
namespace {

TEST(Utf, Utf8AndUtf16RoundTripIncludingSurrogatePairs) {
    const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
    const std::u16string wide = utf8ToUtf16(text);
    EXPECT_EQ(wide, (std::u16string{u'A', 0x00E9, 0x20AC, 0xD83D, 0xDE00}));
    EXPECT_EQ(utf16ToUtf8(wide), text);
}

TEST(Utf, UnpairedSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");  // lone high surrogate
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xDC00}), "\xEF\xBF\xBD");
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xDE00, 0xD83D}), "\xEF\xBF\xBD\xEF\xBF\xBD");  // pair in the wrong order
}

// Malformed UTF-8 must read as the same characters wherever the server reads it: what the client
// receives, what LEN counts, what LEFT keeps, what LIKE and comparison see. Reading stray bytes as
// Latin-1 in some of those places would make a stored "caf" + 0xE9 equal "CAFÉ" in a WHERE while the
// client receives "caf" + U+FFFD.
TEST(Utf, MalformedUtf8ReadsAsTheSameReplacementCharactersEverywhere) {
    constexpr char16_t R = 0xFFFD;
    struct Case {
        const char* name;
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"invalid byte",
         "a\xFF"
         "b",
         {u'a', R, u'b'}},
        {"Latin-1 byte", "caf\xE9", {u'c', u'a', u'f', R}},
        {"stray continuation", "\x80x", {R, u'x'}},
        {"truncated at end", "\xC3", {R}},
        {"truncated before ASCII", "\xE2\x82'", {R, u'\''}},
        {"truncated four-byte", "\xF0\x9F\x98", {R}},
        {"overlong NUL", "\xC0\x80", {R}},
        {"overlong slash", "\xE0\x80\xAF", {R}},
        {"encoded surrogate", "\xED\xA0\x80", {R}},
        {"encoded surrogate pair", "\xED\xA0\xBD\xED\xB8\x80", {R, R}},
        {"past U+10FFFF", "\xF4\x90\x80\x80", {R}},
        {"five-byte form", "\xF8\x88", {R, R}},
        {"valid after invalid", "\xFE\xC3\xA9", {R, 0x00E9}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16);
        const std::u32string chars(c.utf16.begin(), c.utf16.end());
        EXPECT_EQ(toCodePoints(std::string_view(c.utf8)), chars);
        EXPECT_EQ(utf8Length(c.utf8), c.utf16.size());
    }
    EXPECT_NE(compareText("caf\xE9", "CAF\xC3\x89"), 0);
}

}  // namespace
}  // namespace standin
