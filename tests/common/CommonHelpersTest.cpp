// The shared helpers of common/ where their rules matter to their callers: the two readings of a
// version's major number, ASCII-only case folding, and a path's last component.
#include "common/AsciiText.h"
#include "common/Path.h"
#include "common/VersionNumber.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct VersionCase {
    std::string text;
    int odbcForm;   // MajorVersionNumber
    int afterText;  // MajorVersionNumberAfterText
};

class MajorVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(MajorVersion, BothReadingsGiveTheirNumber) {
    EXPECT_EQ(MajorVersionNumber(GetParam().text), GetParam().odbcForm);
    EXPECT_EQ(MajorVersionNumberAfterText(GetParam().text), GetParam().afterText);
}

INSTANTIATE_TEST_SUITE_P(Texts, MajorVersion,
                         ::testing::Values(VersionCase{"16.00.1000", 16, 16}, VersionCase{"01.03.0017", 1, 1},
                                           VersionCase{"09.00.0000 (FreeTDS 01.03.0017)", 9, 9},
                                           VersionCase{"v7.0", 0, 7}, VersionCase{"7abc.1", 7, 7},
                                           VersionCase{"notanumber", 0, 0}, VersionCase{"", 0, 0},
                                           VersionCase{"99999999999.0", 0, 999999}));

TEST(AsciiText, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(AsciiUpper(std::string_view("sqlncli.1 \xE9")), "SQLNCLI.1 \xE9");
    EXPECT_TRUE(AsciiSameText("Trusted_Connection", "TRUSTED_CONNECTION"));
    EXPECT_FALSE(AsciiSameText("\xE9", "\xC9"));  // the code page's letters follow the code page's rules
    EXPECT_FALSE(AsciiSameText("UID", "UIDS"));
}

TEST(Path, FileNameIsTheLastComponent) {
    EXPECT_EQ(FileNameOf("/usr/bin/vantor-account-creator"), "vantor-account-creator");
    EXPECT_EQ(FileNameOf("name.ini"), "name.ini");
    EXPECT_EQ(FileNameOf("folder/"), "");
}

}  // namespace
