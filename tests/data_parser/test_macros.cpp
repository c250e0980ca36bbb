// Macro lists: what a scan collects, what expansion sends, and lookup by name.
#include "data/CRParser.h"
#include "data/DAErrors.h"
#include "data/DAMacros.h"
#include "tests/support/ExpectThrows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

Names MacroNames(const TMacros& macros) {
    Names names;
    for (std::size_t i = 0; i < macros.Count(); ++i) {
        names.push_back(macros[i].Name());
    }
    return names;
}

TEST(MacroScan, CollectsNamesOutsideStringsAndComments) {
    const std::vector<std::pair<std::string, Names>> cases = {
        {"a&b", {"b"}},
        {"a & b", {}},
        {"a &b", {"b"}},
        {"'&x' /* &y */ -- &z\n[&q] \"&r\" &w", {"w"}},
        {"'&'x '&' y", {}},                   // a string of just "&" is still a string
        {"&a &A &b &a", {"a", "b"}},          // once each, ignoring case, in order of first appearance
        {"&from &Where", {"from", "Where"}},  // keywords keep their case
        {"&* &= &[q]", {"*", "=", "[q]"}},    // table symbols and quoted identifiers name macros
        {"&1 &( &'s' &", {}},                 // numbers, unknown symbols, strings and the end do not
        {"&&a", {}},
        {"a && b", {}},
    };
    for (const auto& [text, names] : cases) {
        SCOPED_TRACE(text);
        TMacros macros;
        macros.Add("old");
        macros.Scan(text);
        EXPECT_EQ(MacroNames(macros), names);
    }
}

TEST(MacroScan, KeepsExistingMacrosAndDropsUnnamedOnes) {
    TMacros macros;
    macros.Scan("select &a, &b");
    TMacro& a = macros.MacroByName("a");
    a.SetValue("x");
    a.SetActive(false);
    macros.Scan("select &c, &A");
    ASSERT_EQ(MacroNames(macros), (Names{"c", "a"}));
    EXPECT_EQ(&macros[1], &a);
    EXPECT_EQ(a.Value(), "x");
    EXPECT_FALSE(a.Active());
    EXPECT_EQ(macros[0].Value(), "");
    EXPECT_TRUE(macros[0].Active());

    macros.Scan("select 1");
    EXPECT_EQ(macros.Count(), 0u);
}

TEST(MacroScan, LexerErrorLeavesListAlone) {
    TMacros macros;
    macros.Scan("&a &b");
    EXPECT_THROW(macros.Scan("&c \x02"), Exception);
    EXPECT_EQ(MacroNames(macros), (Names{"a", "b"}));
}

TEST(MacroScan, GenericLexerClass) {
    TMacros macros;
    macros.SetParserClass(&TParser::Create);
    // "//" starts a comment for the generic lexer; "&" itself is in its symbol table.
    macros.Scan("&a // &b\n&&");
    EXPECT_EQ(MacroNames(macros), (Names{"a", "&"}));
}

TEST(MacroExpand, ReplacesNamedMacrosAndDropsOtherAmpersands) {
    TMacros macros;
    macros.Add("b").SetValue("X");
    macros.Add("off").SetValue("never");
    macros.MacroByName("off").SetActive(false);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a&b", "aX"},
        {"a&B", "aX"},
        {"a & b", "a  b"},
        {"&c", "c"},
        {"1&off;", "1;"},
        {"'&b' /* &b */ [&b] -- &b", "'&b' /* &b */ [&b] -- &b"},
        {"select Where", "select Where"},  // no upper-casing here
        {"x&", "x"},
        {"&&b", "&b"},
    };
    for (const auto& [text, expanded] : cases) {
        SCOPED_TRACE(text);
        std::string result = text;
        macros.Expand(result);
        EXPECT_EQ(result, expanded);
    }
}

TEST(MacroExpand, EmptyListLeavesTextAlone) {
    TMacros macros;
    std::string text = "a&b & c";
    macros.Expand(text);
    EXPECT_EQ(text, "a&b & c");
}

TEST(MacroLookup, ByNameIgnoringCase) {
    TMacros macros;
    macros.Add("Caf\xE9");
    EXPECT_EQ(macros.FindMacro("CAF\xC9"), &macros[0]);
    EXPECT_EQ(macros.FindMacro("cafe"), nullptr);
    EXPECT_EQ(&macros.MacroByName("caf\xE9"), &macros[0]);
    const std::vector<std::pair<std::string, std::string>> missing = {
        {"nope", "Macro nope not found."},
        {"%s%d", "Macro %s%d not found."},
        {"", "Macro  not found."},
    };
    for (const auto& [name, message] : missing) {
        SCOPED_TRACE(name);
        vactest::ExpectThrows<EDatabaseError>([&, &name = name] { macros.MacroByName(name); }, message);
    }
}

}  // namespace
