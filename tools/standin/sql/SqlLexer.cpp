#include "tools/standin/sql/SqlLexer.h"

#include "tools/standin/sql/SqlError.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace standin {

namespace {
bool identStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80; }
bool identPart(unsigned char c) { return std::isalnum(c) || c == '_' || c == '#' || c == '@' || c == '$' || c >= 0x80; }

bool equalsUpper(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != upper[i]) return false;
    return true;
}
}  // namespace

bool Token::isWord(std::string_view upperWord) const {
    return kind == TokenKind::Identifier && equalsUpper(text, upperWord);
}

namespace {

// SQL Server's reserved keywords, which name nothing unless quoted.
constexpr std::string_view kReservedKeywords[] = {"ADD",
                                                  "ALL",
                                                  "ALTER",
                                                  "AND",
                                                  "ANY",
                                                  "AS",
                                                  "ASC",
                                                  "AUTHORIZATION",
                                                  "BACKUP",
                                                  "BEGIN",
                                                  "BETWEEN",
                                                  "BREAK",
                                                  "BROWSE",
                                                  "BULK",
                                                  "BY",
                                                  "CASCADE",
                                                  "CASE",
                                                  "CHECK",
                                                  "CHECKPOINT",
                                                  "CLOSE",
                                                  "CLUSTERED",
                                                  "COALESCE",
                                                  "COLLATE",
                                                  "COLUMN",
                                                  "COMMIT",
                                                  "COMPUTE",
                                                  "CONSTRAINT",
                                                  "CONTAINS",
                                                  "CONTINUE",
                                                  "CONVERT",
                                                  "CREATE",
                                                  "CROSS",
                                                  "CURRENT",
                                                  "CURRENT_DATE",
                                                  "CURRENT_TIME",
                                                  "CURRENT_TIMESTAMP",
                                                  "CURRENT_USER",
                                                  "CURSOR",
                                                  "DATABASE",
                                                  "DBCC",
                                                  "DEALLOCATE",
                                                  "DECLARE",
                                                  "DEFAULT",
                                                  "DELETE",
                                                  "DENY",
                                                  "DESC",
                                                  "DISK",
                                                  "DISTINCT",
                                                  "DISTRIBUTED",
                                                  "DOUBLE",
                                                  "DROP",
                                                  "DUMP",
                                                  "ELSE",
                                                  "END",
                                                  "ERRLVL",
                                                  "ESCAPE",
                                                  "EXCEPT",
                                                  "EXEC",
                                                  "EXECUTE",
                                                  "EXISTS",
                                                  "EXIT",
                                                  "EXTERNAL",
                                                  "FETCH",
                                                  "FILE",
                                                  "FILLFACTOR",
                                                  "FOR",
                                                  "FOREIGN",
                                                  "FROM",
                                                  "FULL",
                                                  "FUNCTION",
                                                  "GOTO",
                                                  "GRANT",
                                                  "GROUP",
                                                  "HAVING",
                                                  "HOLDLOCK",
                                                  "IDENTITY",
                                                  "IDENTITY_INSERT",
                                                  "IDENTITYCOL",
                                                  "IF",
                                                  "IN",
                                                  "INDEX",
                                                  "INNER",
                                                  "INSERT",
                                                  "INTERSECT",
                                                  "INTO",
                                                  "IS",
                                                  "JOIN",
                                                  "KEY",
                                                  "KILL",
                                                  "LEFT",
                                                  "LIKE",
                                                  "MERGE",
                                                  "NATIONAL",
                                                  "NOCHECK",
                                                  "NONCLUSTERED",
                                                  "NOT",
                                                  "NULL",
                                                  "NULLIF",
                                                  "OF",
                                                  "OFF",
                                                  "ON",
                                                  "OPEN",
                                                  "OPTION",
                                                  "OR",
                                                  "ORDER",
                                                  "OUTER",
                                                  "OVER",
                                                  "PERCENT",
                                                  "PLAN",
                                                  "PRIMARY",
                                                  "PRINT",
                                                  "PROC",
                                                  "PROCEDURE",
                                                  "REFERENCES",
                                                  "RETURN",
                                                  "RIGHT",
                                                  "ROLLBACK",
                                                  "ROWCOUNT",
                                                  "SAVE",
                                                  "SELECT",
                                                  "SET",
                                                  "SOME",
                                                  "TABLE",
                                                  "TEXTSIZE",
                                                  "THEN",
                                                  "TO",
                                                  "TOP",
                                                  "TRAN",
                                                  "TRANSACTION",
                                                  "TRUNCATE",
                                                  "UNION",
                                                  "UNIQUE",
                                                  "UPDATE",
                                                  "USE",
                                                  "VALUES",
                                                  "VIEW",
                                                  "WAITFOR",
                                                  "WHEN",
                                                  "WHERE",
                                                  "WHILE",
                                                  "WITH"};

}  // namespace

bool isReservedKeyword(std::string_view word) {
    return std::any_of(std::begin(kReservedKeywords), std::end(kReservedKeywords),
                       [&](std::string_view k) { return equalsUpper(word, k); });
}

size_t SqlLexer::skipBlanksAndComments(size_t pos) const {
    while (pos < text_.size()) {
        const unsigned char c = static_cast<unsigned char>(text_[pos]);
        if (std::isspace(c)) {
            ++pos;
        } else if (c == '-' && pos + 1 < text_.size() && text_[pos + 1] == '-') {
            while (pos < text_.size() && text_[pos] != '\n') ++pos;
        } else if (c == '/' && pos + 1 < text_.size() && text_[pos + 1] == '*') {
            // Block comments nest in T-SQL.
            int depth = 0;
            size_t i = pos;
            while (i < text_.size()) {
                if (text_[i] == '/' && i + 1 < text_.size() && text_[i + 1] == '*') {
                    ++depth;
                    i += 2;
                } else if (text_[i] == '*' && i + 1 < text_.size() && text_[i + 1] == '/') {
                    i += 2;
                    if (--depth == 0) break;
                } else {
                    ++i;
                }
            }
            if (depth != 0) throw errors::missingEndComment();
            pos = i;
        } else {
            break;
        }
    }
    return pos;
}

Token SqlLexer::read(size_t pos, bool quotedIdentifier) const {
    Token t;
    pos = skipBlanksAndComments(pos);
    t.begin = pos;
    if (pos >= text_.size()) {
        t.kind = TokenKind::End;
        t.end = pos;
        return t;
    }
    const char c = text_[pos];
    auto quoted = [&](size_t start, char close, TokenKind kind) {
        // Doubled closing characters stand for one.
        std::string out;
        size_t i = start;
        while (true) {
            if (i >= text_.size()) {
                throw errors::unclosedQuote(out);
            }
            if (text_[i] == close) {
                if (i + 1 < text_.size() && text_[i + 1] == close) {
                    out += close;
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            out += text_[i++];
        }
        t.kind = kind;
        t.text = std::move(out);
        t.end = i;
        return t;
    };
    if ((c == 'N' || c == 'n') && pos + 1 < text_.size() && text_[pos + 1] == '\'') {
        t.national = true;
        return quoted(pos + 2, '\'', TokenKind::String);
    }
    if (c == '\'') return quoted(pos + 1, '\'', TokenKind::String);
    if (c == '[') return quoted(pos + 1, ']', TokenKind::QuotedIdentifier);
    if (c == '"') return quoted(pos + 1, '"', quotedIdentifier ? TokenKind::QuotedIdentifier : TokenKind::String);
    if (c == '0' && pos + 1 < text_.size() && (text_[pos + 1] == 'x' || text_[pos + 1] == 'X')) {
        size_t i = pos + 2;
        while (i < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[i]))) ++i;
        t.kind = TokenKind::Binary;
        t.text = std::string(text_.substr(pos + 2, i - pos - 2));
        t.end = i;
        return t;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && pos + 1 < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos + 1])))) {
        size_t i = pos;
        bool point = false, exponent = false;
        while (i < text_.size()) {
            const char d = text_[i];
            if (std::isdigit(static_cast<unsigned char>(d))) {
                ++i;
                continue;
            }
            if (d == '.' && !point && !exponent) {
                point = true;
                ++i;
                continue;
            }
            if ((d == 'e' || d == 'E') && !exponent) {
                size_t j = i + 1;
                if (j < text_.size() && (text_[j] == '+' || text_[j] == '-')) ++j;
                // "1e" alone is still a float in T-SQL (1e = 1e0)
                exponent = true;
                i = j;
                continue;
            }
            break;
        }
        t.kind = exponent ? TokenKind::Float : point ? TokenKind::Decimal : TokenKind::Integer;
        t.text = std::string(text_.substr(pos, i - pos));
        t.end = i;
        return t;
    }
    if (c == '@') {
        size_t i = pos + 1;
        if (i < text_.size() && text_[i] == '@') ++i;
        while (i < text_.size() && identPart(static_cast<unsigned char>(text_[i]))) ++i;
        t.kind = TokenKind::Variable;
        t.text = std::string(text_.substr(pos, i - pos));
        t.end = i;
        return t;
    }
    if (identStart(static_cast<unsigned char>(c))) {
        size_t i = pos + 1;
        while (i < text_.size() && identPart(static_cast<unsigned char>(text_[i]))) ++i;
        t.kind = TokenKind::Identifier;
        t.text = std::string(text_.substr(pos, i - pos));
        t.end = i;
        return t;
    }
    static constexpr std::array<std::string_view, 6> kTwo = {"<>", "!=", "<=", ">=", "!<", "!>"};
    if (pos + 1 < text_.size()) {
        const std::string_view two = text_.substr(pos, 2);
        for (auto s : kTwo) {
            if (two == s) {
                t.kind = TokenKind::Symbol;
                t.text = std::string(two);
                t.end = pos + 2;
                return t;
            }
        }
    }
    t.kind = TokenKind::Symbol;
    // One character; a stray byte of a multi-byte sequence is taken whole by identStart above.
    t.text = std::string(1, c);
    t.end = pos + 1;
    return t;
}

}  // namespace standin
