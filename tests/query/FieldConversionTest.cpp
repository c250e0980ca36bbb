// The text and number conversions behind the field classes, and the SQL string list's change events.
#include "data/DataSet.h"
#include "tests/support/ExpectThrows.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct FloatCase {
    double value;
    const char* text;
};

class FloatTextTest : public ::testing::TestWithParam<FloatCase> {};

TEST_P(FloatTextTest, GeneralFormatWith15Digits) { EXPECT_EQ(FloatToStrGeneral(GetParam().value), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Values, FloatTextTest,
                         ::testing::Values(FloatCase{0, "0"}, FloatCase{1.5, "1.5"}, FloatCase{-2.25, "-2.25"},
                                           FloatCase{100, "100"}, FloatCase{0.1, "0.1"},
                                           FloatCase{1.0 / 3, "0.333333333333333"},
                                           FloatCase{123456789012345.0, "123456789012345"},
                                           FloatCase{1234567890123456.0, "1.23456789012346E15"},
                                           FloatCase{1e20, "1E20"}, FloatCase{0.0001, "0.0001"},
                                           FloatCase{0.00001, "1E-5"}, FloatCase{-1.5e-7, "-1.5E-7"},
                                           FloatCase{12.3456, "12.3456"}));

TEST(IntegerTextTest, DecimalTextOrTheConversionError) {
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483648LL);
    EXPECT_EQ(StrToInt("  +7"), 7);
    for (const char* bad : {"", " ", "abc", "12x", "1 ", "2147483648", "-2147483649", "0x10", "-"}) {
        SCOPED_TRACE(bad);
        vactest::ExpectThrows<EConvertError>([&] { StrToInt(bad); },
                                             std::string("'") + bad + "' is not a valid integer value");
    }
}

TEST(IntegerTextTest, RoundingTakesHalvesToEven) {
    EXPECT_EQ(RoundToInt32(0.5, ""), 0);
    EXPECT_EQ(RoundToInt32(1.5, ""), 2);
    EXPECT_EQ(RoundToInt32(2.5, ""), 2);
    EXPECT_EQ(RoundToInt32(-2.5, ""), -2);
    EXPECT_EQ(RoundToInt32(2.51, ""), 3);
    EXPECT_THROW(RoundToInt32(3e9, "3E9"), EConvertError);
    EXPECT_THROW(RoundToInt32(std::nan(""), "NAN"), EConvertError);
}

TEST(DateTextTest, DateAndTimeWithTheTimeLeftOutAtMidnight) {
    EXPECT_EQ(DateTimeToStr(0), "1899-12-30");
    EXPECT_EQ(DateTimeToStr(45351.5), "2024-02-29 12:00:00");
    EXPECT_EQ(DateTimeToStr(36526.0 + 59.0 / 86400), "2000-01-01 00:00:59");
    EXPECT_EQ(DateTimeToStr(-1.25), "1899-12-29 06:00:00");
}

TEST(AnsiTextTest, WideTextToTheCodePageAndBack) {
    EXPECT_EQ(WideToAnsi(u"caf\u00e9 \u20ac \u4e2d"), "caf\xE9 \x80 ?");
    EXPECT_EQ(WideToAnsi(u"\U0001F600"), "?");
    EXPECT_EQ(AnsiToWide("caf\xE9 \x80"), u"caf\u00e9 \u20ac");
}

struct BcdCase {
    const char* text;
    uint8_t precision;
    uint8_t scale;
    const char* back;  // nullptr: refused
};

class BcdTest : public ::testing::TestWithParam<BcdCase> {};

TEST_P(BcdTest, TextToPackedDecimalAndBack) {
    const BcdCase& c = GetParam();
    TBcd bcd;
    const bool ok = TBcd::FromString(c.text, '.', c.precision, c.scale, bcd);
    ASSERT_EQ(ok, c.back != nullptr) << c.text;
    if (ok) {
        EXPECT_EQ(bcd.ToString('.'), c.back);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, BcdTest,
                         ::testing::Values(BcdCase{"12.35", 10, 2, "12.35"}, BcdCase{"-2.50", 10, 2, "-2.5"},
                                           BcdCase{".5", 5, 3, "0.5"}, BcdCase{"-0.000", 5, 3, "0"},
                                           BcdCase{"123456", 6, 0, "123456"}, BcdCase{"1234567", 6, 0, nullptr},
                                           BcdCase{"1.2.3", 6, 2, nullptr}, BcdCase{"abc", 6, 2, nullptr},
                                           BcdCase{"99999999999999999999999999999999999999", 38, 0,
                                                   "99999999999999999999999999999999999999"}));

TEST(StringListTest, EveryChangeOfTheTextIsReported) {
    TStringList list;
    int changes = 0;
    list.OnChange = [&] { ++changes; };
    list.Clear();
    EXPECT_EQ(changes, 0);  // nothing to clear
    list.SetText("select 1\r\nfrom t\nwhere x\r");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.Text(), "select 1\r\nfrom t\r\nwhere x");
    list.SetText(list.Text());  // the same text is still a change
    EXPECT_EQ(changes, 2);
    list.Add("order by 1");
    list.Clear();
    EXPECT_EQ(changes, 4);
    list.BeginUpdate();
    list.Add("a");
    list.Add("b");
    EXPECT_EQ(changes, 4);
    list.EndUpdate();
    EXPECT_EQ(changes, 5);
    EXPECT_THROW(list[2], EListError);
}

}  // namespace
