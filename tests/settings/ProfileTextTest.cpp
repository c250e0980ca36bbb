#include "settings/ProfileText.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "tests/settings/ProfileFixtures.h"

using profile::TProfileText;

namespace {

struct ReadCase {
    const char* Name;
    std::string Text;
    std::string Section;
    std::string Key;
    std::optional<std::string> Expected;
};

class ProfileRead : public testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, ReadsValueAsPlatformFunctionsWould) {
    const ReadCase& c = GetParam();
    EXPECT_EQ(TProfileText(c.Text).Value(c.Section, c.Key), c.Expected);
}

const std::string LongValue(3000, 'v');

INSTANTIATE_TEST_SUITE_P(
    Dialect, ProfileRead,
    testing::Values(ReadCase{"Plain", "[A]\nx=1\n", "A", "x", "1"},
                    ReadCase{"MissingSection", "[A]\nx=1\n", "B", "x", std::nullopt},
                    ReadCase{"MissingKey", "[A]\nx=1\n", "A", "y", std::nullopt},
                    ReadCase{"EmptyText", "", "A", "x", std::nullopt},
                    ReadCase{"EmptyValueIsAValue", "[A]\nx=\n", "A", "x", ""},
                    ReadCase{"SectionNameCase", "[Db Connection]\nUser=sa\n", "DB CONNECTION", "user", "sa"},
                    ReadCase{"Windows1252LetterCase", "[\xC4rger]\n\xDC=1\n", "\xE4RGER", "\xFC", "1"},
                    ReadCase{"NonLetterBytesNotFolded", "[\xD7]\nx=1\n", "\xF7", "x", std::nullopt},
                    ReadCase{"BlanksAroundNamesAndValue", "  [ A ]  \n\t x \t=\t  v w \t\n", "A", "x", "v w"},
                    ReadCase{"RequestedNamesTrimmed", "[A]\nx=1\n", " A ", " x\t", "1"},
                    ReadCase{"DoubleQuotesStripped", "[A]\nx=\" v \"\n", "A", "x", " v "},
                    ReadCase{"SingleQuotesStripped", "[A]\nx='v'\n", "A", "x", "v"},
                    ReadCase{"QuotesInsideBlanksStripped", "[A]\nx=  \"v\"  \n", "A", "x", "v"},
                    ReadCase{"MismatchedQuotesKept", "[A]\nx=\"v'\n", "A", "x", "\"v'"},
                    ReadCase{"LoneQuoteKept", "[A]\nx=\"\n", "A", "x", "\""},
                    ReadCase{"OnlyOnePairStripped", "[A]\nx=\"\"v\"\"\n", "A", "x", "\"v\""},
                    ReadCase{"InlineSemicolonIsPartOfValue", "[A]\nx=a ; b\n", "A", "x", "a ; b"},
                    ReadCase{"SecondEqualsIsPartOfValue", "[A]\nx=a=b\n", "A", "x", "a=b"},
                    ReadCase{"CrLf", "[A]\r\nx=1\r\ny=2\r\n", "A", "y", "2"},
                    ReadCase{"NoTrailingNewline", "[A]\nx=last", "A", "x", "last"},
                    ReadCase{"DuplicateSectionFirstWins", "[A]\nx=1\n[a]\nx=2\n", "A", "x", "1"},
                    ReadCase{"DuplicateKeyFirstWins", "[A]\nx=1\nX=2\n", "A", "x", "1"},
                    ReadCase{"KeyInSecondDuplicateSection", "[A]\ny=1\n[A]\nx=2\n", "A", "x", "2"},
                    ReadCase{"KeyBelongsToItsOwnSection", "[A]\n[B]\nx=1\n", "A", "x", std::nullopt},
                    ReadCase{"EntriesBeforeFirstSectionUnreachable", "x=1\n[A]\n", "A", "x", std::nullopt},
                    ReadCase{"CommentIsNotAKey", "[A]\n;x=1\n  ; x=2\n", "A", "x", std::nullopt},
                    ReadCase{"LineWithoutEqualsIsNotAKey", "[A]\nx\n", "A", "x", std::nullopt},
                    ReadCase{"GarbageLinesIgnored", "\x01\x02garbage\n[A]\n???\n]]]\nx=1\n", "A", "x", "1"},
                    ReadCase{"TextAfterSectionBracketIgnored", "[A] trailing\nx=1\n", "A", "x", "1"},
                    ReadCase{"UnclosedSectionHeader", "[A\nx=1\n", "A", "x", "1"},
                    ReadCase{"ByteOrderMarkSkipped", "\xEF\xBB\xBF[A]\nx=1\n", "A", "x", "1"},
                    ReadCase{"NulEndsValue", fixtures::Bytes("[A]\nx=ab\0cd\n"), "A", "x", "ab"},
                    ReadCase{"HighBytesReturnedAsIs", "[A]\nx=\x80\xFF\xE9\n", "A", "x", "\x80\xFF\xE9"},
                    ReadCase{"LongValueUncut", "[A]\nx=" + LongValue + "\n", "A", "x", LongValue},
                    ReadCase{"EmptyRequestedKey", "[A]\n=1\n", "A", "", std::nullopt}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.Name); });

class ProfileWrite : public testing::TestWithParam<fixtures::WriteCase> {};

TEST_P(ProfileWrite, ChangesOnlyTheOneValue) {
    const fixtures::WriteCase& c = GetParam();
    TProfileText text(c.Before);
    ASSERT_TRUE(text.SetValue(c.Section, c.Key, c.Value));
    EXPECT_EQ(text.Text(), c.After);
    EXPECT_EQ(text.Value(c.Section, c.Key), c.Value);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProfileWrite, testing::ValuesIn(fixtures::WriteCases()),
                         [](const testing::TestParamInfo<fixtures::WriteCase>& info) {
                             return std::string(info.param.Name);
                         });

// Every value that a write must bring back unchanged, including those a reader would otherwise trim.
const std::vector<std::string>& RoundTripValues() {
    static const std::vector<std::string> values = {
        "plain", "",     " lead", "trail ",          "\t",           "\"quoted\"",          "'single'", "'",
        "\"",    "\"a'", "a=b;c", "[not a section]", "\xE9\x80\xFF", std::string(3000, 'x')};
    return values;
}

std::map<std::pair<std::string, std::string>, std::optional<std::string>> ReadAll(const TProfileText& text) {
    std::map<std::pair<std::string, std::string>, std::optional<std::string>> values;
    for (const auto& [section, key] : text.Entries()) values[{section, key}] = text.Value(section, key);
    return values;
}

TEST(ProfileRoundTrip, EveryFixtureKeepsOtherValuesAndReadsBackEachValue) {
    for (const fixtures::WriteCase& c : fixtures::WriteCases()) {
        const TProfileText original(c.Before);
        auto targets = original.Entries();
        targets.emplace_back(c.Section, c.Key);
        targets.emplace_back("New Section", "New Key");
        for (const auto& [section, key] : targets) {
            for (const std::string& value : RoundTripValues()) {
                SCOPED_TRACE(std::string(c.Name) + " [" + section + "] " + key + " = " + value.substr(0, 20));
                TProfileText text(c.Before);
                ASSERT_TRUE(text.SetValue(section, key, value));
                EXPECT_EQ(text.Value(section, key), value);
                EXPECT_TRUE(fixtures::OnlyOneLineChanged(c.Before, text.Text()));
                for (const auto& [name, read] : ReadAll(original)) {
                    if (profile::SameName(name.first, section) && profile::SameName(name.second, key)) continue;
                    EXPECT_EQ(text.Value(name.first, name.second), read) << name.first << "/" << name.second;
                }
            }
        }
    }
}

TEST(ProfileWriteRefused, NamesAndValuesThatCannotBeStoredLeaveTextUnchanged) {
    const std::string before = "[A]\nx=1\n";
    const struct {
        std::string Section, Key, Value;
    } refused[] = {
        {"", "x", "1"},
        {"  ", "x", "1"},
        {"A", "", "1"},
        {"A", " \t", "1"},
        {"A", "a=b", "1"},
        {"A", "[x", "1"},
        {"A", ";x", "1"},
        {"a]b", "x", "1"},
        {"A\nB", "x", "1"},
        {"A", "x\ry", "1"},
        {"A", "x", "line\nbreak"},
        {"A", "x", "cr\r"},
        {fixtures::Bytes("A\0B"), "x", "1"},
        {"A", "x", fixtures::Bytes("a\0b")},
    };
    for (const auto& r : refused) {
        TProfileText text(before);
        EXPECT_FALSE(text.SetValue(r.Section, r.Key, r.Value)) << r.Section << "/" << r.Key;
        EXPECT_EQ(text.Text(), before);
    }
}

TEST(ProfileEncode, QuotesOnlyWhatAReaderWouldStrip) {
    EXPECT_EQ(profile::EncodeValue("a b"), "a b");
    EXPECT_EQ(profile::EncodeValue("\"a"), "\"a");
    EXPECT_EQ(profile::EncodeValue(" a"), "\" a\"");
    EXPECT_EQ(profile::EncodeValue("'a'"), "\"'a'\"");
    EXPECT_EQ(profile::EncodeValue("a\nb"), std::nullopt);
}

TEST(ProfileEntries, ListsReachableEntriesInFileOrderWithDuplicates) {
    const TProfileText text("k=0\n[A]\nx=1\n[]\ny=2\n[b]\n=3\nz=4\n[a]\nX=5\n");
    const std::vector<std::pair<std::string, std::string>> expected = {{"A", "x"}, {"b", "z"}, {"a", "X"}};
    EXPECT_EQ(text.Entries(), expected);
}

}  // namespace
