// ExpectThrows passes only for the class and message asked for, says what happened otherwise, and hands
// the error back.
#include "common/Exception.h"
#include "tests/support/ExpectThrows.h"

#include <gtest/gtest-spi.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace {

using ::testing::HasSubstr;
using vactest::ExpectThrows;
using vactest::Not;

class ECodedError : public Exception {
public:
    ECodedError(int code, std::string message) : Exception(std::move(message)), Code(code) {}
    int Code;
};

[[noreturn]] void RaiseCoded() { throw ECodedError(42, "coded"); }
[[noreturn]] void RaisePlain() { throw Exception("plain"); }

TEST(ExpectThrows, ReturnsTheErrorOfTheClassAndMessageAskedFor) {
    const auto coded = ExpectThrows<ECodedError>(RaiseCoded, "coded");
    ASSERT_TRUE(coded);
    EXPECT_EQ(coded->Code, 42);
    EXPECT_EQ(coded->Message, "coded");

    EXPECT_TRUE(ExpectThrows<Exception>(RaiseCoded, "coded")) << "a subclass is an E";
    EXPECT_TRUE((ExpectThrows<Exception, Not<ECodedError>>(RaisePlain, "plain")));
    EXPECT_TRUE(ExpectThrows<std::runtime_error>([] { throw std::runtime_error("what"); }, "what"));
    EXPECT_TRUE(ExpectThrows<Exception>(RaiseCoded, HasSubstr("ode")));
    // Message is compared whole, where what() would end at the NUL.
    EXPECT_TRUE(ExpectThrows<Exception>([] { throw Exception(std::string("a\0b", 3)); }, std::string("a\0b", 3)));
}

TEST(ExpectThrows, FailsAndSaysWhatHappenedInstead) {
    struct Case {
        const char* name;
        std::function<void()> check;
        const char* failure;
    };
    const Case cases[] = {
        {"nothing thrown", [] { ExpectThrows<Exception>([] {}, "x"); }, "expected Exception, nothing was thrown"},
        {"another message", [] { ExpectThrows<Exception>(RaisePlain, "plane"); },
         "Exception thrown with the message\n  \"plain\"\nexpected a message that is equal to \"plane\""},
        {"a message the matcher refuses", [] { ExpectThrows<Exception>(RaisePlain, HasSubstr("x")); },
         "expected a message that has substring \"x\""},
        {"another class", [] { ExpectThrows<ECodedError>(RaisePlain, "plain"); },
         "expected (anonymous namespace)::ECodedError, got Exception: \"plain\""},
        {"a standard error", [] { ExpectThrows<Exception>([] { throw std::out_of_range("index"); }, "index"); },
         "expected Exception, got std::out_of_range: \"index\""},
        {"no std::exception", [] { ExpectThrows<Exception>([] { throw 7; }, "7"); },
         "got something that is no std::exception"},
        {"the excluded subclass", [] { ExpectThrows<Exception, Not<ECodedError>>(RaiseCoded, "coded"); },
         "expected Exception itself, got (anonymous namespace)::ECodedError: \"coded\""},
        {"a message cut at a NUL",
         [] { ExpectThrows<Exception>([] { throw Exception(std::string("a\0b", 3)); }, "a"); }, "\"a\\0b\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NONFATAL_FAILURE(c.check(), c.failure);
    }
}

TEST(ExpectThrows, AWrongMessageStillHandsTheErrorBack) {
    std::optional<ECodedError> coded;
    EXPECT_NONFATAL_FAILURE(coded = ExpectThrows<ECodedError>(RaiseCoded, "other"), "thrown with the message");
    ASSERT_TRUE(coded);
    EXPECT_EQ(coded->Code, 42);

    std::optional<Exception> none;
    EXPECT_NONFATAL_FAILURE(none = ExpectThrows<Exception>([] {}, "x"), "nothing was thrown");
    EXPECT_FALSE(none);
}

TEST(ExpectThrows, TheFailureIsReportedAtTheCallersLine) {
    ::testing::TestPartResultArray results;
    int line = 0;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        line = __LINE__ + 1;
        ExpectThrows<Exception>([] {}, "x");
    }
    ASSERT_EQ(results.size(), 1);
    EXPECT_EQ(results.GetTestPartResult(0).line_number(), line);
    EXPECT_THAT(results.GetTestPartResult(0).file_name(), HasSubstr("ExpectThrowsTest.cpp"));
}

}  // namespace
