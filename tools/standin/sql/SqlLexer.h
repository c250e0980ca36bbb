#pragma once
// Splits T-SQL text into tokens on demand, so SET QUOTED_IDENTIFIER can change how the rest of the
// same batch reads ("x" is an identifier while it is ON, a string while it is OFF).
#include <cstddef>
#include <string>
#include <string_view>

namespace standin {

enum class TokenKind {
    End,
    Identifier,        // plain word, keywords included
    QuotedIdentifier,  // [x] or "x"
    String,            // 'x', N'x' (national set)
    Integer,           // 123
    Decimal,           // 1.5, .5, 1.
    Float,             // 1e3, 1.5E-2
    Binary,            // 0x1F
    Variable,          // @x, @@x (text holds the whole name)
    Symbol,            // operators and punctuation: , . ( ) ; * = <> != < > <= >= !< !> + - / %
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;  // decoded: the string's content, the identifier without brackets, the symbol
    size_t begin = 0;  // offset in the batch
    size_t end = 0;
    bool national = false;

    bool isSymbol(std::string_view s) const { return kind == TokenKind::Symbol && text == s; }
    bool isWord(std::string_view upperWord) const;  // a plain identifier equal to the word, any case
};

class SqlLexer {
public:
    explicit SqlLexer(std::string_view text) : text_(text) {}
    // Reads the token that starts at or after pos (comments and blanks skipped). Throws SqlError for
    // an unclosed string, quoted identifier or comment.
    Token read(size_t pos, bool quotedIdentifier) const;

private:
    size_t skipBlanksAndComments(size_t pos) const;
    std::string_view text_;
};

bool isReservedKeyword(std::string_view word);

}  // namespace standin
