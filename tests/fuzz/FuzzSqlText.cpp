// Lexer, parameter parse, macro scan and expansion over arbitrary bytes. Besides running clean under
// AddressSanitizer and UBSan, it checks:
//  - with every token kept (blanks, comments, quoted strings, no upper-casing) the lexemes of both
//    lexer classes put together give back the text;
//  - for texts without ":" and "&" the text sent is the input with the SQL Server keywords upper-cased.
//    The expectation comes from a separate, character-by-character model of the T-SQL text rules
//    below, not from the lexer, and both must agree on which texts raise the unknown-symbol error;
//  - the parameter parse places exactly one "?" per parameter it lists.
#include "common/Exception.h"
#include "data/CRParser.h"
#include "data/DAMacros.h"
#include "data/DASQLParse.h"
#include "data/MSParser.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void Fail(const char* what, std::string_view text) {
    std::fprintf(stderr, "fuzz_sql_text: %s (input of %zu bytes)\n", what, text.size());
    std::abort();
}

bool IsUnknownSymbolError(const Exception& e) { return e.Message.rfind("Parser: The unknown symbol '", 0) == 0; }

// ---- the model of what the SQL Server lexer sends ------------------------------------------------

bool ModelLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128 || c == '$' || c == '#';
}
bool ModelWordChar(unsigned char c) { return ModelLetter(c) || c == '_' || (c >= '0' && c <= '9'); }
bool ModelSymbol(unsigned char c) {
    return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '^') || c == '`' ||
           (c >= '{' && c <= '~');
}

const std::set<std::string>& ModelKeywords() {
    static const std::set<std::string> words = {
        "AND",   "AS",     "BY",        "COMPUTE", "CREATE", "CROSS",  "DELETE", "FOR",   "FROM",   "FULL",
        "GROUP", "HAVING", "INNER",     "INSERT",  "INTO",   "IS",     "JOIN",   "LEFT",  "OPTION", "OR",
        "ORDER", "OUTER",  "PROCEDURE", "REPLACE", "RIGHT",  "SELECT", "UPDATE", "UNION", "WHERE",  "WITH"};
    return words;
}

// The text sent for a text without parameters or macros, or nothing when it must be refused.
std::optional<std::string> ModelTextSent(std::string_view text) {
    std::string out;
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto copyUntil = [&](std::size_t end) {
        out.append(text.substr(i, end - i));
        i = end;
    };
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::string_view rest = text.substr(i);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            copyUntil(i + 1);
        } else if (rest.size() > 3 && rest.substr(0, 3) == "-- ") {
            copyUntil(std::min(n, text.find_first_of("\r\n", i)));
        } else if (rest.substr(0, 2) == "/*") {
            const std::size_t close = text.find("*/", i);
            copyUntil(close == std::string_view::npos ? n : close + 2);
        } else if (c == '\'' || c == '"' || c == '[' || c == ']') {
            const char closing = c == '[' ? ']' : static_cast<char>(c);
            const std::size_t close = text.find(closing, i + 1);
            copyUntil(close == std::string_view::npos ? n : close + 1);
        } else if (ModelSymbol(c) || (c >= '0' && c <= '9')) {
            copyUntil(i + 1);
        } else if (ModelLetter(c) || c == '_') {
            std::size_t end = i + 1;
            while (end < n && ModelWordChar(static_cast<unsigned char>(text[end]))) {
                ++end;
            }
            std::string word(text.substr(i, end - i));
            std::string upper = word;
            for (char& ch : upper) {
                if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
            }
            out += ModelKeywords().count(upper) != 0 ? upper : word;
            i = end;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

// ---- the checks ------------------------------------------------------------------------------------

void CheckLexerReassembles(TParser& parser, std::string_view text, uint8_t flags) {
    parser.OmitBlank = false;
    parser.OmitComment = false;
    parser.QuotedString = true;
    parser.Uppercase = false;
    std::string joined;
    try {
        std::size_t tokens = 0;
        for (int code = parser.GetNext(); code != TParser::lcEnd; code = parser.GetNext()) {
            if (++tokens > text.size()) Fail("lexer makes no progress", text);
            if (parser.TokenStart() > parser.Position() || parser.Position() > text.size())
                Fail("token positions out of order", text);
            joined += parser.Lexeme();
        }
    } catch (const Exception& e) {
        if (!IsUnknownSymbolError(e)) Fail("unexpected lexer error", text);
        return;
    }
    if (joined != text) Fail("lexemes do not give back the text", text);

    // The other option combinations: must terminate and stay within the text.
    parser.ToBegin();
    parser.OmitBlank = (flags & 1) != 0;
    parser.OmitComment = (flags & 2) != 0;
    parser.Uppercase = (flags & 4) != 0;
    parser.QuotedString = (flags & 8) != 0;
    std::size_t tokens = 0;
    for (int code = parser.GetNext(); code != TParser::lcEnd; code = parser.GetNext()) {
        if (++tokens > text.size()) Fail("lexer makes no progress", text);
        if (parser.Lexeme().size() > text.size()) Fail("lexeme longer than the text", text);
    }
}

void CheckTextSent(std::string_view text) {
    const bool plain = text.find_first_of(":&") == std::string_view::npos;
    std::optional<std::string> sent;
    try {
        sent = ParseSQLParams(text, QueryParamNameQuotes, nullptr);
    } catch (const Exception& e) {
        if (!IsUnknownSymbolError(e)) Fail("unexpected parse error", text);
    }
    if (plain && sent != ModelTextSent(text)) Fail("text sent differs from the model", text);
    if (!sent) return;

    TDAParams params;
    const std::string marked = ParseSQLParams(text, CommandParamNameQuotes, &params);
    auto questionMarks = [](std::string_view s) { return std::count(s.begin(), s.end(), '?'); };
    std::ptrdiff_t inNames = 0;
    for (std::size_t i = 0; i < params.Count(); ++i) inNames += questionMarks(params[i].Name());
    if (questionMarks(marked) != questionMarks(text) + static_cast<std::ptrdiff_t>(params.Count()) - inNames)
        Fail("markers and parameters disagree", text);
    if (plain && (params.Count() != 0 || marked != *sent)) Fail("parameters found in a plain text", text);
}

void CheckMacros(std::string_view text) {
    TMacros macros;
    try {
        macros.Scan(text);
    } catch (const Exception& e) {
        if (!IsUnknownSymbolError(e)) Fail("unexpected scan error", text);
        return;
    }
    for (std::size_t i = 0; i < macros.Count(); ++i) {
        if (&macros.MacroByName(macros[i].Name()) != &macros[i]) Fail("macro not found by its name", text);
        macros[i].SetValue("<v>");
        macros[i].SetActive(i % 2 == 0);
    }
    std::string expanded(text);
    macros.Expand(expanded);
    const auto amps = [](std::string_view s) { return std::count(s.begin(), s.end(), '&'); };
    if (macros.Count() == 0 ? expanded != text : amps(expanded) >= amps(text))
        Fail("expansion kept every ampersand", text);

    TDAParams params;
    TSQLSource source;
    source.SQL = text;
    try {
        (void)SQLTextChanged(source, macros, params);
    } catch (const Exception& e) {
        if (!IsUnknownSymbolError(e)) Fail("unexpected error in change handling", text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    TMSParser ms(text);
    CheckLexerReassembles(ms, text, flags);
    TParser generic(text);
    CheckLexerReassembles(generic, text, flags >> 4);
    CheckTextSent(text);
    CheckMacros(text);
    return 0;
}
