#pragma once
// A call that must fail, checked for the error's class and its message in one step:
//
//     vactest::ExpectThrows<EDatabaseError>([&] { c.StartTransaction(); }, "User transaction is already in progress.");
//     const auto e = vactest::ExpectThrows<EMSError>([&] { q.Open(); }, HasSubstr("Invalid object name"));
//     ASSERT_TRUE(e);
//     EXPECT_EQ(e->NativeError, 208);
//
// Anything else (nothing thrown, another class, another message) is a test failure at the caller's line
// that says what happened instead. The caught error comes back, as a copy of class E, for checks of its
// other fields; none when the call did not throw an E. Standard library and GoogleTest only.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cxxabi.h>

#include <concepts>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>

namespace vactest {

// ExpectThrows<E, Not<Sub>>: an E that is also a Sub fails too, for calls that must raise E itself and
// not the more specific error.
template <class Sub>
struct Not {};

namespace detail {

struct NothingExcluded {  // never thrown
    const char* what() const { return ""; }
};

template <class T>
struct Excluded;
template <class Sub>
struct Excluded<Not<Sub>> {
    using Type = Sub;
};

inline std::string TypeName(const std::type_info& type) {
    int status = 0;
    const std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                      std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

// The error's message: the program's errors keep theirs in Message, whole, where what() would stop at
// the first NUL byte; other classes have what() only.
template <class E>
std::string MessageOf(const E& e) {
    if constexpr (requires(const E& x) {
                      { x.Message } -> std::convertible_to<std::string>;
                  }) {
        return e.Message;
    } else {
        return e.what();
    }
}

template <class E, class Excluding, class Call>
std::optional<E> Catch(Call&& call, const ::testing::Matcher<const std::string&>& message, const char* file, int line) {
    using Unwanted = typename Excluded<Excluding>::Type;
    const std::string expected = TypeName(typeid(E));
    // Nested, so that each handler sees only what the one inside it let through: the unwanted subclass
    // first, then E, then everything else.
    try {
        try {
            try {
                std::forward<Call>(call)();
            } catch (const Unwanted& e) {
                ADD_FAILURE_AT(file, line) << "expected " << expected << " itself, got " << TypeName(typeid(e)) << ": "
                                           << ::testing::PrintToString(MessageOf(e));
                return std::nullopt;
            }
        } catch (const E& e) {
            const std::string text = MessageOf(e);
            ::testing::StringMatchResultListener explanation;
            if (!message.MatchAndExplain(text, &explanation)) {
                std::ostringstream wanted;
                message.DescribeTo(&wanted);
                ADD_FAILURE_AT(file, line)
                    << TypeName(typeid(e)) << " thrown with the message\n  " << ::testing::PrintToString(text)
                    << "\nexpected a message that " << wanted.str() << (explanation.str().empty() ? "" : "\n  ")
                    << explanation.str();
            }
            return e;
        }
    } catch (const std::exception& e) {
        ADD_FAILURE_AT(file, line) << "expected " << expected << ", got " << TypeName(typeid(e)) << ": "
                                   << ::testing::PrintToString(MessageOf(e));
        return std::nullopt;
    } catch (...) {
        ADD_FAILURE_AT(file, line) << "expected " << expected << ", got something that is no std::exception";
        return std::nullopt;
    }
    ADD_FAILURE_AT(file, line) << "expected " << expected << ", nothing was thrown";
    return std::nullopt;
}

}  // namespace detail

// `call` must throw an E whose message is exactly `message`.
template <class E, class Excluding = Not<detail::NothingExcluded>, class Call>
std::optional<E> ExpectThrows(Call&& call, std::string_view message, const char* file = __builtin_FILE(),
                              int line = __builtin_LINE()) {
    return detail::Catch<E, Excluding>(std::forward<Call>(call), ::testing::Eq(std::string(message)), file, line);
}

// `call` must throw an E whose message the matcher accepts (HasSubstr, StartsWith, Not(IsEmpty()), _ ...).
template <class E, class Excluding = Not<detail::NothingExcluded>, class Call, class Matcher>
requires(!std::convertible_to<const Matcher&, std::string_view>) std::optional<E> ExpectThrows(
    Call&& call, const Matcher& message, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
    return detail::Catch<E, Excluding>(std::forward<Call>(call), ::testing::MatcherCast<const std::string&>(message),
                                       file, line);
}

}  // namespace vactest
