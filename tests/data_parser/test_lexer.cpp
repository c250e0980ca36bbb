// Token streams of both lexer classes under each option, and the unknown-symbol error.
#include "common/Exception.h"
#include "data/CRParser.h"
#include "data/MSParser.h"
#include "tests/support/ExpectThrows.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace std::string_literals;

namespace {

using Token = std::pair<int, std::string>;
using Tokens = std::vector<Token>;

struct Options {
    bool OmitBlank = true;
    bool OmitComment = false;
    bool Uppercase = true;
    bool QuotedString = false;
};

Tokens ReadAll(TParser& parser, Options options = {}) {
    parser.OmitBlank = options.OmitBlank;
    parser.OmitComment = options.OmitComment;
    parser.Uppercase = options.Uppercase;
    parser.QuotedString = options.QuotedString;
    Tokens tokens;
    for (int code = parser.GetNext(); code != TParser::lcEnd; code = parser.GetNext()) {
        tokens.emplace_back(code, std::string(parser.Lexeme()));
        if (tokens.size() > 1000) {
            ADD_FAILURE() << "lexer does not reach the end";
            break;
        }
    }
    return tokens;
}

Tokens MS(const std::string& text, Options options = {}) {
    TMSParser parser(text);
    return ReadAll(parser, options);
}

Tokens Generic(const std::string& text, Options options = {}) {
    TParser parser(text);
    return ReadAll(parser, options);
}

constexpr int Ident = TParser::lcIdent;
constexpr int Sym = TParser::lcSymbol;
constexpr int Num = TParser::lcNumber;
constexpr int Str = TParser::lcString;
constexpr int Blank = TParser::lcBlank;
constexpr int Comment = TParser::lcComment;

struct Case {
    std::string Text;
    Options Opts;
    Tokens Expected;
};

void Check(const std::vector<Case>& cases, Tokens (*lex)(const std::string&, Options)) {
    for (const auto& c : cases) {
        SCOPED_TRACE("text: " + c.Text);
        EXPECT_EQ(lex(c.Text, c.Opts), c.Expected);
    }
}

const Options KeepBlanks{false, false, true, false};
const Options BlanksNoComments{false, true, true, false};

TEST(MSParserTokens, DefaultOptions) {
    Check(
        {
            {"select * from t where a = 'x'",
             {},
             {{34, "SELECT"}, {1, "*"}, {17, "FROM"}, {Ident, "t"}, {37, "WHERE"}, {Ident, "a"}, {2, "="}, {Str, "x"}}},
            // keywords match in any case and come out upper-cased; identifiers that merely start with one do not
            {"Select wHeRe Selection from_x",
             {},
             {{34, "SELECT"}, {37, "WHERE"}, {Ident, "Selection"}, {Ident, "from_x"}}},
            {"select", {true, false, false, false}, {{34, "select"}}},
            // the table's symbols, and symbol characters outside it, one at a time
            {"*=:,./;", {}, {{1, "*"}, {2, "="}, {3, ":"}, {4, ","}, {5, "."}, {7, "/"}, {8, ";"}}},
            {"(a)&@<>{}",
             {},
             {{Sym, "("},
              {Ident, "a"},
              {Sym, ")"},
              {Sym, "&"},
              {Sym, "@"},
              {Sym, "<"},
              {Sym, ">"},
              {Sym, "{"},
              {Sym, "}"}}},
            {"=:((", {}, {{2, "="}, {3, ":"}, {Sym, "("}, {Sym, "("}}},
            // "$" and "#" continue an identifier but, being symbol characters, never start one
            {"$a #t a$b#c _x",
             {},
             {{Sym, "$"}, {Ident, "a"}, {Sym, "#"}, {Ident, "t"}, {Ident, "a$b#c"}, {Ident, "_x"}}},
            {"\xE9t\xE9 caf\xE9", {}, {{Ident, "\xE9t\xE9"}, {Ident, "caf\xE9"}}},
            // quoted identifiers keep their quotes and never match a keyword
            {"[my col] \"from\" ]x] [open",
             {},
             {{Ident, "[my col]"}, {Ident, "\"from\""}, {Ident, "]x]"}, {Ident, "[open"}}},
            // numbers: one decimal part, no sign, no exponent; a binary literal is a number and an identifier
            {"12.5 1. 1.2.3 -4 1e5 0x00FF",
             {},
             {{Num, "12.5"},
              {Num, "1"},
              {5, "."},
              {Num, "1.2"},
              {5, "."},
              {Num, "3"},
              {Sym, "-"},
              {Num, "4"},
              {Num, "1"},
              {Ident, "e5"},
              {Num, "0"},
              {Ident, "x00FF"}}},
            // strings: a doubled quote closes and reopens; unclosed runs to the end
            {"'it''s' 'abc", {}, {{Str, "it"}, {Str, "s"}, {Str, "abc"}}},
            {"'it''s' 'abc", {true, false, true, true}, {{Str, "'it'"}, {Str, "'s'"}, {Str, "'abc"}}},
            {"''", {}, {{Str, ""}}},
        },
        MS);
}

TEST(MSParserTokens, BlanksAndComments) {
    Check(
        {
            {"a  b\t\r\nc ",
             KeepBlanks,
             {{Ident, "a"}, {Blank, "  "}, {Ident, "b"}, {Blank, "\t\r\n"}, {Ident, "c"}, {Blank, " "}}},
            // comments as tokens of their own
            {"a /* x */b -- y\nc",
             KeepBlanks,
             {{Ident, "a"},
              {Blank, " "},
              {Comment, "/* x */"},
              {Ident, "b"},
              {Blank, " "},
              {Comment, "-- y"},
              {Blank, "\n"},
              {Ident, "c"}}},
            // comments skipped: they come out inside the following blanks token
            {"a /* x */ b /*y*/c /*z*/",
             BlanksNoComments,
             {{Ident, "a"},
              {Blank, " "},
              {Blank, "/* x */ "},
              {Ident, "b"},
              {Blank, " "},
              {Blank, "/*y*/"},
              {Ident, "c"},
              {Blank, " "},
              {Blank, "/*z*/"}}},
            {"a /* x */ b -- c\nd", {true, true, true, false}, {{Ident, "a"}, {Ident, "b"}, {Ident, "d"}}},
            // "/*/" is a whole comment
            {"/*/ select 1", KeepBlanks, {{Comment, "/*/"}, {Blank, " "}, {34, "SELECT"}, {Blank, " "}, {Num, "1"}}},
            // an unclosed block comment runs to the end
            {"a /* b", KeepBlanks, {{Ident, "a"}, {Blank, " "}, {Comment, "/* b"}}},
            // "-- " needs its blank and at least one character after it
            {"--:x", KeepBlanks, {{Sym, "-"}, {Sym, "-"}, {3, ":"}, {Ident, "x"}}},
            {"a -- ", KeepBlanks, {{Ident, "a"}, {Blank, " "}, {Sym, "-"}, {Sym, "-"}, {Blank, " "}}},
            {"-- \n", KeepBlanks, {{Comment, "-- "}, {Blank, "\n"}}},
            // with blanks omitted, the blanks before a comment stay in its lexeme
            {"a -- x\r\nb", {}, {{Ident, "a"}, {Comment, " -- x"}, {Ident, "b"}}},
            // "//" is not a comment for SQL Server
            {"a // b", {}, {{Ident, "a"}, {7, "/"}, {7, "/"}, {Ident, "b"}}},
            // comments, strings and quoted identifiers hide each other's openers
            {"'/*' [--  x] \"'\"", {}, {{Str, "/*"}, {Ident, "[--  x]"}, {Ident, "\"'\""}}},
        },
        MS);
}

TEST(ParserTokens, GenericClass) {
    Check(
        {
            // the 28 one-character symbols are numbered in byte order; others are unknown symbols
            {"!/:@[`(", {}, {{1, "!"}, {15, "/"}, {16, ":"}, {22, "@"}, {23, "["}, {28, "`"}, {8, "("}}},
            {"{|}~", {}, {{Sym, "{"}, {Sym, "|"}, {Sym, "}"}, {Sym, "~"}}},
            {"and Not OR select", {}, {{29, "AND"}, {30, "NOT"}, {31, "OR"}, {Ident, "select"}}},
            // both quotes make strings; brackets are plain symbols; "$" never continues an identifier
            {"'a' \"b\" [c] a$b",
             {},
             {{Str, "a"}, {Str, "b"}, {23, "["}, {Ident, "c"}, {25, "]"}, {Ident, "a"}, {4, "$"}, {Ident, "b"}}},
            {"a // b\nc //",
             KeepBlanks,
             {{Ident, "a"},
              {Blank, " "},
              {Comment, "// b"},
              {Blank, "\n"},
              {Ident, "c"},
              {Blank, " "},
              {15, "/"},
              {15, "/"}}},
            {"-- x", {}, {{13, "-"}, {13, "-"}, {Ident, "x"}}},
            {"/* a */b", KeepBlanks, {{Comment, "/* a */"}, {Ident, "b"}}},
        },
        Generic);
}

TEST(ParserErrors, UnknownSymbolOutsideStringsAndComments) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"select \f 1", std::string("Parser: The unknown symbol '\f'  $000C")},
        {"a\x01", std::string("Parser: The unknown symbol '\x01'  $0001")},
        {"a\x7F", std::string("Parser: The unknown symbol '\x7F'  $007F")},
        {"a\0b"s, "Parser: The unknown symbol '\0'  $0000"s},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        vactest::ExpectThrows<Exception>([&text = text] { MS(text); }, message);
        vactest::ExpectThrows<Exception>([&text = text] { Generic(text); }, message);
    }
    // Inside strings, quoted identifiers and comments any byte is text.
    EXPECT_EQ(MS("'\f' [\x01] /*\x7F*/ \t"), (Tokens{{Str, "\f"}, {Ident, "[\x01]"}, {Comment, " /*\x7F*/"}}));
}

TEST(ParserPositions, TokenStartsAndSkipTo) {
    TMSParser parser("select  a from [t] where");
    EXPECT_EQ(parser.GetNext(), TMSParser::lxSELECT);
    EXPECT_EQ(parser.TokenStart(), 0u);
    EXPECT_EQ(parser.Position(), 6u);
    EXPECT_EQ(parser.GetNext(), TParser::lcIdent);
    EXPECT_EQ(parser.TokenStart(), 8u);
    EXPECT_EQ(parser.PrevTokenStart(), 0u);
    EXPECT_EQ(parser.SkipTo(TMSParser::lxFROM), TMSParser::lxFROM);
    EXPECT_EQ(parser.TokenStart(), 10u);
    EXPECT_EQ(parser.GetNext(), TParser::lcIdent);
    EXPECT_EQ(parser.Lexeme(), "[t]");
    EXPECT_EQ(parser.SkipTo(TMSParser::lxUNION), TParser::lcEnd);
    EXPECT_EQ(parser.GetNext(), TParser::lcEnd);

    parser.ToBegin();
    std::string lexeme;
    EXPECT_EQ(parser.GetNext(lexeme), TMSParser::lxSELECT);
    EXPECT_EQ(lexeme, "SELECT");
}

TEST(ParserPositions, LineCounter) {
    TMSParser parser("a\r\nb\nc\rd");
    std::vector<int> lines;
    while (parser.GetNext() != TParser::lcEnd) {
        lines.push_back(parser.Line());
    }
    EXPECT_EQ(lines, (std::vector<int>{1, 2, 3, 4}));
}

// The decimal separator comes from the locale when the lexer is made; a lexer for a locale with a
// comma shows that the rule follows it.
class CommaLocaleParser : public TMSParser {
public:
    explicit CommaLocaleParser(std::string_view text) : TMSParser(text) { FDecimalSeparator = ","; }
};

TEST(ParserNumbers, LocaleDecimalSeparator) {
    EXPECT_EQ(TMSParser("").DecimalSeparator(), ".");  // the C locale
    CommaLocaleParser parser("1,5 1.5 1,x 2,");
    EXPECT_EQ(
        ReadAll(parser),
        (Tokens{
            {Num, "1,5"}, {Num, "1"}, {5, "."}, {Num, "5"}, {Num, "1"}, {4, ","}, {Ident, "x"}, {Num, "2"}, {4, ","}}));
}

TEST(ParserTables, SortedAndComplete) {
    for (const TParserSyntax* syntax : {&TParser::Syntax(), &TMSParser::Syntax()}) {
        for (const auto* table : {&syntax->Symbols(), &syntax->Keywords()}) {
            for (std::size_t i = 1; i < table->size(); ++i) {
                EXPECT_LT((*table)[i - 1].Text, (*table)[i].Text);
            }
            // Every entry is found by the binary search, in any letter case.
            for (const auto& entry : *table) {
                std::string lower(entry.Text);
                for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                const int found = table == &syntax->Symbols() ? syntax->FindSymbol(lower) : syntax->FindKeyword(lower);
                EXPECT_EQ(found, entry.Code) << entry.Text;
            }
        }
    }
    EXPECT_EQ(TParser::Syntax().Symbols().size(), 28u);
    EXPECT_EQ(TMSParser::Syntax().Keywords().size(), 30u);
    EXPECT_EQ(&TMSParser::Syntax(), &TMSParser::Syntax());
}

TEST(AnsiText, Windows1252CaseFolding) {
    EXPECT_EQ(AnsiUpperCase("abc\xE9\xFF\x9A\xF7\xDF"), "ABC\xC9\x9F\x8A\xF7\xDF");
    EXPECT_TRUE(AnsiSameText("Caf\xE9", "CAF\xC9"));
    EXPECT_FALSE(AnsiSameText("a", "ab"));
}

}  // namespace
