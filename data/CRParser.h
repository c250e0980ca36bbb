#pragma once
// The generic SQL lexer. It cuts a byte string into tokens so that macros ("&name") and parameters
// (":name") can be found outside strings, quoted identifiers and comments. TMSParser (MSParser.h) is the
// SQL Server member of the family; both share the scanning rules below and differ only in their syntax
// tables (TParserSyntax).
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One entry of a symbol or keyword table.
struct TLexemEntry {
    std::string_view Text;
    int Code = 0;
};

// The character classes and tables of one lexer class. One instance per class, built on first use and
// shared read-only by every lexer of that class.
class TParserSyntax {
public:
    // Character class bits; a byte may be in several classes ("$" is a symbol character and, for SQL
    // Server, also continues an identifier).
    enum : uint8_t {
        ckBlank = 1,
        ckSymbol = 2,
        ckLetter = 4,  // starts an identifier (besides "_", which is never a symbol character)
        ckDigit = 8,
        ckStringQuote = 16,
        ckIdentQuote = 32,
    };

    struct TDescription {
        std::vector<TLexemEntry> Symbols;
        std::vector<TLexemEntry> Keywords;
        std::string_view ExtraLetters;  // letters besides A-Z, a-z and bytes 128 and above
        std::string_view StringQuotes;
        std::string_view IdentQuotes;
        std::string_view LineComment;  // a comment only when at least one character follows it
    };

    explicit TParserSyntax(TDescription description);

    bool Is(char c, uint8_t kind) const { return (FKinds[static_cast<unsigned char>(c)] & kind) != 0; }
    std::string_view LineComment() const { return FLineComment; }
    std::size_t MaxSymbolLength() const { return FMaxSymbolLength; }

    // Binary search; the lexeme's ASCII letters are compared upper-cased. Returns the code or 0.
    int FindSymbol(std::string_view text) const { return Find(FSymbols, FMaxSymbolLength, text); }
    int FindKeyword(std::string_view text) const { return Find(FKeywords, FMaxKeywordLength, text); }

    const std::vector<TLexemEntry>& Symbols() const { return FSymbols; }
    const std::vector<TLexemEntry>& Keywords() const { return FKeywords; }

private:
    static int Find(const std::vector<TLexemEntry>& table, std::size_t maxLength, std::string_view text);

    std::array<uint8_t, 256> FKinds{};
    std::vector<TLexemEntry> FSymbols;
    std::vector<TLexemEntry> FKeywords;
    std::size_t FMaxSymbolLength = 0;
    std::size_t FMaxKeywordLength = 0;
    std::string_view FLineComment;
};

class TParser;
// The "lexer class" of a macro list: makes a lexer of that class over a text.
using TParserClass = std::unique_ptr<TParser> (*)(std::string_view text);

class TParser {
public:
    // Token codes. Positive codes are symbols and keywords of the class's tables.
    static constexpr int lcEnd = 0;
    static constexpr int lcSymbol = -102;  // a symbol character sequence not in the symbol table
    static constexpr int lcIdent = -103;   // identifier, quoted identifiers included
    static constexpr int lcNumber = -105;
    static constexpr int lcString = -106;
    static constexpr int lcBlank = -107;  // blanks, with any comments skipped among them
    static constexpr int lcComment = -108;

    // Codes of the generic class's keywords.
    static constexpr int lxAND = 29;
    static constexpr int lxNOT = 30;
    static constexpr int lxOR = 31;

    explicit TParser(std::string_view text);
    virtual ~TParser() = default;

    TParser(const TParser&) = delete;
    TParser& operator=(const TParser&) = delete;

    static std::unique_ptr<TParser> Create(std::string_view text);
    static const TParserSyntax& Syntax();

    // Runs of blanks and comments are skipped (true) or returned as blanks tokens (false).
    bool OmitBlank = true;
    // Comments are skipped (true) or returned as comment tokens (false).
    bool OmitComment = false;
    // A keyword's lexeme is returned upper-cased.
    bool Uppercase = true;
    // A string lexeme keeps its quotes.
    bool QuotedString = false;

    // Back to the start of the text.
    void ToBegin();
    // Reads the next token and returns its code; the lexeme is then available from Lexeme().
    // Raises Exception on a character of no class outside strings, quoted identifiers and comments.
    int GetNext();
    // Same, copying the lexeme into `lexeme`.
    int GetNext(std::string& lexeme);
    // Reads tokens until one has the code `code` or the text ends; returns the code found (0 at the end).
    int SkipTo(int code);

    // The lexeme of the last token. Valid until the next call that moves the lexer.
    std::string_view Lexeme() const;

    // Byte offsets (0-based) into the text.
    std::size_t Position() const { return FPos; }
    std::size_t TokenStart() const { return FTokenStart; }
    std::size_t PrevTokenStart() const { return FPrevTokenStart; }
    // Line counter (1-based) and the offset where the current line starts; a CR LF pair is one line end.
    int Line() const { return FLine; }
    std::size_t LineStart() const { return FLineStart; }

    const std::string& Text() const { return FText; }
    const std::string& DecimalSeparator() const { return FDecimalSeparator; }

protected:
    TParser(std::string_view text, const TParserSyntax& syntax);

    // Taken from the C locale's numeric category when the lexer is created.
    std::string FDecimalSeparator;

private:
    bool AtComment() const;
    void SkipComment();
    void ReadString(char quote);
    void ReadQuotedIdent(char open);
    int ReadSymbol();
    int ReadIdent();
    void ReadNumber();
    [[noreturn]] void RaiseUnknownSymbol(char c) const;

    const TParserSyntax& FSyntax;
    std::string FText;
    std::size_t FPos = 0;
    std::size_t FTokenStart = 0;
    std::size_t FPrevTokenStart = 0;
    int FLine = 1;
    std::size_t FLineStart = 0;
    // The lexeme is FText[FLexStart, FLexStart + FLexLength) unless FUseUpper.
    std::size_t FLexStart = 0;
    std::size_t FLexLength = 0;
    bool FUseUpper = false;
    std::string FUpper;
};

// Upper-casing and case-insensitive comparison of byte strings in the system code page, as the
// system's functions do for that code page (common/CodePage.h).
std::string AnsiUpperCase(std::string_view text);
bool AnsiSameText(std::string_view a, std::string_view b);
