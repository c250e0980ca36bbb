// Values stored into columns convert as SQL Server converts them, with its errors when they do not.
#include "tests/support/EngineFixture.h"
#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/Engine.h"

#include <gtest/gtest.h>

#include <string>

namespace standin::test {
namespace {

struct ConversionCase {
    const char* columnType;
    const char* literal;
    const char* expected;  // text of the stored value, or nullptr when error is expected
    int32_t error;
};

class ConversionTest : public EngineFixture, public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(ConversionTest, StoresOrRefuses) {
    const ConversionCase& c = GetParam();
    session.database = "lin2db";
    RecordingSink create;
    engine.execute(session, std::string("CREATE TABLE t (c ") + c.columnType + " NULL)", create);
    ASSERT_TRUE(create.errors().empty()) << c.columnType << ": " << create.messages[0].text;
    RecordingSink insert;
    engine.execute(session, std::string("INSERT INTO t VALUES (") + c.literal + ")", insert);
    RecordingSink select;
    engine.execute(session, "SELECT c FROM t", select);
    if (c.expected) {
        EXPECT_TRUE(insert.errors().empty()) << c.columnType << " <- " << c.literal << ": " << insert.messages[0].text;
        EXPECT_EQ(select.text(), std::vector<std::string>{c.expected}) << c.columnType << " <- " << c.literal;
    } else {
        EXPECT_EQ(insert.errors(), std::vector<int32_t>{c.error}) << c.columnType << " <- " << c.literal;
        EXPECT_TRUE(select.text().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Types, ConversionTest,
    ::testing::Values(
        ConversionCase{"int", "'12'", "12", 0}, ConversionCase{"int", "' -12 '", "-12", 0},
        ConversionCase{"int", "'abc'", nullptr, 245}, ConversionCase{"int", "'1.5'", nullptr, 245},
        ConversionCase{"int", "'99999999999'", nullptr, 248}, ConversionCase{"int", "2147483648", nullptr, 8115},
        ConversionCase{"int", "1.9", "1", 0}, ConversionCase{"int", "NULL", "NULL", 0},
        ConversionCase{"int", "0x0102", "258", 0}, ConversionCase{"tinyint", "300", nullptr, 220},
        ConversionCase{"tinyint", "-1", nullptr, 220}, ConversionCase{"smallint", "40000", nullptr, 220},
        ConversionCase{"bigint", "'x'", nullptr, 8114}, ConversionCase{"bigint", "'9000000000'", "9000000000", 0},
        ConversionCase{"bit", "5", "1", 0}, ConversionCase{"bit", "'true'", "1", 0},
        ConversionCase{"bit", "'maybe'", nullptr, 245}, ConversionCase{"decimal(5,2)", "123.456", "123.46", 0},
        ConversionCase{"decimal(5,2)", "1234.5", nullptr, 8115}, ConversionCase{"numeric(5,2)", "'x'", nullptr, 8114},
        ConversionCase{"decimal(5,2)", "'-1.005'", "-1.01", 0}, ConversionCase{"money", "'$1,234.56'", "1234.56", 0},
        ConversionCase{"money", "'x'", nullptr, 235}, ConversionCase{"smallmoney", "300000", nullptr, 8115},
        ConversionCase{"float", "'1e3'", "1000", 0}, ConversionCase{"float", "'x'", nullptr, 8114},
        ConversionCase{"real", "0.5", "0.5", 0},
        ConversionCase{"datetime", "'2024-01-31 10:20:30.123'", "Jan 31 2024 10:20AM", 0},
        ConversionCase{"datetime", "'20240131'", "Jan 31 2024 12:00AM", 0},
        ConversionCase{"datetime", "'01/31/2024 11:05 PM'", "Jan 31 2024 11:05PM", 0},
        ConversionCase{"datetime", "'2024-01-31T23:59:59'", "Jan 31 2024 11:59PM", 0},
        ConversionCase{"datetime", "''", "Jan  1 1900 12:00AM", 0}, ConversionCase{"datetime", "'nope'", nullptr, 241},
        ConversionCase{"datetime", "'2023-02-29'", nullptr, 241},
        ConversionCase{"datetime", "'1700-01-01'", nullptr, 242},
        ConversionCase{"datetime", "1", "Jan  2 1900 12:00AM", 0},
        ConversionCase{"smalldatetime", "'2024-01-01 10:20:31'", "Jan  1 2024 10:21AM", 0},
        ConversionCase{"smalldatetime", "'2080-01-01'", nullptr, 242},
        ConversionCase{"smalldatetime", "'soon'", nullptr, 295}, ConversionCase{"char(3)", "'a'", "a  ", 0},
        ConversionCase{"char(3)", "'abcd'", nullptr, 2628}, ConversionCase{"char(3)", "'ab     '", "ab ", 0},
        ConversionCase{"varchar(3)", "12", "12", 0}, ConversionCase{"varchar(3)", "1234", nullptr, 2628},
        ConversionCase{"varchar(max)", "'long'", "long", 0}, ConversionCase{"nvarchar(2)", "N'äb'", "äb", 0},
        ConversionCase{"nvarchar(2)", "'abc'", nullptr, 2628}, ConversionCase{"nchar(2)", "N'x'", "x ", 0},
        ConversionCase{"binary(2)", "0x01", "0x0100", 0}, ConversionCase{"binary(2)", "0x010203", nullptr, 2628},
        ConversionCase{"binary(2)", "'ab'", nullptr, 257}, ConversionCase{"varbinary(4)", "258", "0x00000102", 0},
        ConversionCase{"varbinary(4)", "0x0", "0x00", 0},
        ConversionCase{"uniqueidentifier", "'{6F9619FF-8B86-D011-B42D-00C04FC964FF}'",
                       "6F9619FF-8B86-D011-B42D-00C04FC964FF", 0},
        ConversionCase{"uniqueidentifier", "'not a guid'", nullptr, 8169},
        ConversionCase{"uniqueidentifier", "5", nullptr, 206}, ConversionCase{"text", "'abc'", "abc", 0},
        ConversionCase{"ntext", "N'abc'", "abc", 0}, ConversionCase{"image", "0x01", "0x01", 0},
        ConversionCase{"int", "'2024-01-01'", nullptr, 245}));

TEST(CollationTest, ComparesWithoutCaseAndTrailingBlanksButWithAccents) {
    EXPECT_EQ(compareText("Alpha", "aLPHA  "), 0);
    EXPECT_EQ(compareText("\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89"), 0);  // Été = éTÉ
    EXPECT_NE(compareText("e", "\xC3\xA9"), 0);                           // e and é differ
    EXPECT_LT(compareText("abc", "abd"), 0);
    EXPECT_LT(compareText("ab", "abc"), 0);
    EXPECT_EQ(compareText(u"Wide", u"wIDE ", defaultCollation()), 0);
}

TEST(CollationTest, LikePatterns) {
    auto like = [](const char* text, const char* pattern, char32_t escape = 0) {
        return likeMatch(toCodePoints(std::string_view(text)), toCodePoints(std::string_view(pattern)), escape,
                         defaultCollation());
    };
    EXPECT_TRUE(like("alice", "A%"));
    EXPECT_TRUE(like("alice", "%"));
    EXPECT_TRUE(like("", "%"));
    EXPECT_FALSE(like("", "_"));
    EXPECT_TRUE(like("a%b", "a!%b", U'!'));
    EXPECT_FALSE(like("axb", "a!%b", U'!'));
    EXPECT_TRUE(like("b", "[a-c]"));
    EXPECT_FALSE(like("d", "[a-c]"));
    EXPECT_TRUE(like("d", "[^a-c]"));
    EXPECT_TRUE(like("]", "[]]"));
    EXPECT_TRUE(like("[x", "[x"));  // an unclosed set is an ordinary character
    EXPECT_TRUE(like("aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "%a%a%a%a%a%b"));
    EXPECT_FALSE(like("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "%a%a%a%a%a%b"));
}

}  // namespace
}  // namespace standin::test
