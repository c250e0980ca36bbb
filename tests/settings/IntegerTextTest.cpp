#include "settings/IntegerText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct IntegerCase {
    std::string Text;
    std::optional<std::int32_t> Expected;
};

class IntegerText : public testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerText, ParsesRunTimeIntegerSyntax) {
    EXPECT_EQ(ParseInt32(GetParam().Text), GetParam().Expected) << "text: \"" << GetParam().Text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, IntegerText,
    testing::Values(
        // decimal, signs, leading blanks, leading zeros
        IntegerCase{"0", 0}, IntegerCase{"1", 1}, IntegerCase{"-1", -1}, IntegerCase{"+7", 7}, IntegerCase{"   7", 7},
        IntegerCase{"\t7", 7}, IntegerCase{"  -12", -12}, IntegerCase{"-0", 0},
        IntegerCase{"0000000000000000000042", 42},
        // hexadecimal prefixes in either case, with a sign
        IntegerCase{"$1F", 31}, IntegerCase{"$1f", 31}, IntegerCase{"x1F", 31}, IntegerCase{"X1f", 31},
        IntegerCase{"0x1F", 31}, IntegerCase{"0X1f", 31}, IntegerCase{"-$10", -16}, IntegerCase{"-0x10", -16},
        IntegerCase{" $0", 0}, IntegerCase{"$00000000000000FF", 255},
        // 32-bit range
        IntegerCase{"2147483647", 2147483647}, IntegerCase{"-2147483648", INT32_MIN},
        IntegerCase{"2147483648", std::nullopt}, IntegerCase{"-2147483649", std::nullopt},
        IntegerCase{"99999999999999999999", std::nullopt}, IntegerCase{"$7FFFFFFF", 2147483647},
        IntegerCase{"$FFFFFFFF", -1}, IntegerCase{"$80000000", INT32_MIN}, IntegerCase{"$100000000", std::nullopt},
        IntegerCase{"0x100000000", std::nullopt},
        // texts that do not convert
        IntegerCase{"", std::nullopt}, IntegerCase{"   ", std::nullopt}, IntegerCase{"-", std::nullopt},
        IntegerCase{"$", std::nullopt}, IntegerCase{"x", std::nullopt}, IntegerCase{"0x", std::nullopt},
        IntegerCase{"7 ", std::nullopt}, IntegerCase{"1a", std::nullopt}, IntegerCase{"yes", std::nullopt},
        IntegerCase{"true", std::nullopt}, IntegerCase{"--1", std::nullopt}, IntegerCase{"- 1", std::nullopt},
        IntegerCase{"$-1", std::nullopt}, IntegerCase{"0x-1", std::nullopt}, IntegerCase{"$G", std::nullopt},
        IntegerCase{"1.0", std::nullopt}, IntegerCase{"0$1", std::nullopt}, IntegerCase{"$$1", std::nullopt},
        IntegerCase{"0xx1", std::nullopt}, IntegerCase{"\xB9", std::nullopt}));

}  // namespace
