#include "data/CRParser.h"

#include "common/AsciiText.h"
#include "common/CodePage.h"
#include "common/Exception.h"
#include "common/Format.h"
#include "data/DAErrors.h"

#include <algorithm>
#include <clocale>

namespace {

// Ordinal comparison of `lexeme`, its ASCII letters upper-cased, with a table entry.
int CompareUpper(std::string_view lexeme, std::string_view entry) {
    const std::size_t common = std::min(lexeme.size(), entry.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto a = static_cast<unsigned char>(AsciiUpper(lexeme[i]));
        const auto b = static_cast<unsigned char>(entry[i]);
        if (a != b) {
            return a < b ? -1 : 1;
        }
    }
    if (lexeme.size() == entry.size()) {
        return 0;
    }
    return lexeme.size() < entry.size() ? -1 : 1;
}

void SortTable(std::vector<TLexemEntry>& table) {
    // std::string_view compares bytes as unsigned char, which is the ordinal order the search needs.
    std::sort(table.begin(), table.end(), [](const TLexemEntry& a, const TLexemEntry& b) { return a.Text < b.Text; });
}

std::size_t MaxLength(const std::vector<TLexemEntry>& table) {
    std::size_t result = 0;
    for (const auto& entry : table) {
        result = std::max(result, entry.Text.size());
    }
    return result;
}

std::string LocaleDecimalSeparator() {
    const lconv* conv = std::localeconv();
    if (conv == nullptr || conv->decimal_point == nullptr || conv->decimal_point[0] == '\0') {
        return ".";
    }
    return conv->decimal_point;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// TParserSyntax

TParserSyntax::TParserSyntax(TDescription description)
    : FSymbols(std::move(description.Symbols)),
      FKeywords(std::move(description.Keywords)),
      FLineComment(description.LineComment) {
    auto mark = [this](int from, int to, uint8_t kind) {
        for (int c = from; c <= to; ++c) {
            FKinds[static_cast<std::size_t>(c)] |= kind;
        }
    };
    mark('\t', '\t', ckBlank);
    mark('\n', '\n', ckBlank);
    mark('\r', '\r', ckBlank);
    mark(' ', ' ', ckBlank);
    // "_" (0x5F) is deliberately not a symbol character: it starts and continues identifiers.
    mark('!', '/', ckSymbol);
    mark(':', '@', ckSymbol);
    mark('[', '^', ckSymbol);
    mark('`', '`', ckSymbol);
    mark('{', '~', ckSymbol);
    mark('0', '9', ckDigit);
    mark('A', 'Z', ckLetter);
    mark('a', 'z', ckLetter);
    mark(128, 255, ckLetter);
    for (char c : description.ExtraLetters) {
        FKinds[static_cast<unsigned char>(c)] |= ckLetter;
    }
    for (char c : description.StringQuotes) {
        FKinds[static_cast<unsigned char>(c)] |= ckStringQuote;
    }
    for (char c : description.IdentQuotes) {
        FKinds[static_cast<unsigned char>(c)] |= ckIdentQuote;
    }
    SortTable(FSymbols);
    SortTable(FKeywords);
    FMaxSymbolLength = MaxLength(FSymbols);
    FMaxKeywordLength = MaxLength(FKeywords);
}

int TParserSyntax::Find(const std::vector<TLexemEntry>& table, std::size_t maxLength, std::string_view text) {
    if (text.empty() || text.size() > maxLength) {
        return 0;
    }
    std::size_t low = 0;
    std::size_t high = table.size();
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        const int cmp = CompareUpper(text, table[mid].Text);
        if (cmp == 0) {
            return table[mid].Code;
        }
        if (cmp < 0) {
            high = mid;
        } else {
            low = mid + 1;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------------
// TParser

const TParserSyntax& TParser::Syntax() {
    static const TParserSyntax syntax([] {
        TParserSyntax::TDescription d;
        // The 28 one-character symbols "!" to "/", ":" to "@" and "[" to "`", numbered in byte order.
        static const std::string symbolChars = [] {
            std::string chars;
            for (char c = '!'; c <= '/'; ++c) chars += c;
            for (char c = ':'; c <= '@'; ++c) chars += c;
            for (char c = '['; c <= '`'; ++c) chars += c;
            return chars;
        }();
        int code = 1;
        for (std::size_t i = 0; i < symbolChars.size(); ++i) {
            d.Symbols.push_back({std::string_view(symbolChars).substr(i, 1), code++});
        }
        d.Keywords = {{"AND", lxAND}, {"NOT", lxNOT}, {"OR", lxOR}};
        d.StringQuotes = "'\"";
        d.LineComment = "//";
        return d;
    }());
    return syntax;
}

std::unique_ptr<TParser> TParser::Create(std::string_view text) { return std::make_unique<TParser>(text); }

TParser::TParser(std::string_view text) : TParser(text, Syntax()) {}

TParser::TParser(std::string_view text, const TParserSyntax& syntax)
    : FDecimalSeparator(LocaleDecimalSeparator()), FSyntax(syntax), FText(text) {}

void TParser::ToBegin() {
    FPos = 0;
    FTokenStart = 0;
    FPrevTokenStart = 0;
    FLine = 1;
    FLineStart = 0;
    FLexStart = 0;
    FLexLength = 0;
    FUseUpper = false;
}

std::string_view TParser::Lexeme() const {
    if (FUseUpper) {
        return FUpper;
    }
    return std::string_view(FText).substr(FLexStart, FLexLength);
}

int TParser::GetNext(std::string& lexeme) {
    const int code = GetNext();
    lexeme.assign(Lexeme());
    return code;
}

int TParser::SkipTo(int code) {
    for (;;) {
        const int found = GetNext();
        if (found == code || found == lcEnd) {
            return found;
        }
    }
}

bool TParser::AtComment() const {
    const std::string_view rest = std::string_view(FText).substr(FPos);
    const std::string_view line = FSyntax.LineComment();
    // A line comment start counts only when at least one character follows it.
    if (!line.empty() && rest.size() > line.size() && rest.substr(0, line.size()) == line) {
        return true;
    }
    return rest.size() >= 2 && rest[0] == '/' && rest[1] == '*';
}

void TParser::SkipComment() {
    const std::string_view text(FText);
    if (text[FPos] == '/' && FPos + 1 < text.size() && text[FPos + 1] == '*') {
        // The search for "*/" starts at the "/" of "/*" itself, so "/*/" is a whole comment.
        const std::size_t close = text.find("*/", FPos);
        FPos = close == std::string_view::npos ? text.size() : close + 2;
        return;
    }
    const std::size_t lineEnd = text.find_first_of("\r\n", FPos);
    FPos = lineEnd == std::string_view::npos ? text.size() : lineEnd;
}

int TParser::GetNext() {
    const std::size_t length = FText.size();
    FPrevTokenStart = FTokenStart;
    FTokenStart = FPos;
    FLexStart = FPos;
    FLexLength = 0;
    FUseUpper = false;

    // Blanks and comments.
    for (;;) {
        while (FPos < length && FSyntax.Is(FText[FPos], TParserSyntax::ckBlank)) {
            const char c = FText[FPos++];
            if (c == '\n' || (c == '\r' && (FPos >= length || FText[FPos] != '\n'))) {
                ++FLine;
                FLineStart = FPos;
            }
        }
        FLexLength = FPos - FLexStart;
        if (!OmitBlank && FLexLength > 0) {
            return lcBlank;
        }
        if (FPos >= length) {
            FTokenStart = FPos;
            FLexStart = FPos;
            FLexLength = 0;
            return lcEnd;
        }
        if (!AtComment()) {
            break;
        }
        SkipComment();
        FLexLength = FPos - FLexStart;
        if (!OmitComment) {
            return lcComment;
        }
    }

    FTokenStart = FPos;
    FLexStart = FPos;
    FLexLength = 0;
    const char c = FText[FPos];
    if (FSyntax.Is(c, TParserSyntax::ckSymbol)) {
        if (FSyntax.Is(c, TParserSyntax::ckStringQuote)) {
            ReadString(c);
            return lcString;
        }
        if (FSyntax.Is(c, TParserSyntax::ckIdentQuote)) {
            ReadQuotedIdent(c);
            return lcIdent;
        }
        return ReadSymbol();
    }
    if (c == '_' || FSyntax.Is(c, TParserSyntax::ckLetter)) {
        return ReadIdent();
    }
    if (FSyntax.Is(c, TParserSyntax::ckDigit)) {
        ReadNumber();
        return lcNumber;
    }
    RaiseUnknownSymbol(c);
}

void TParser::ReadString(char quote) {
    const std::size_t start = FPos;
    // A doubled quote is not special: it closes this string and opens the next one.
    const std::size_t close = FText.find(quote, start + 1);
    const std::size_t contentEnd = close == std::string::npos ? FText.size() : close;
    FPos = close == std::string::npos ? FText.size() : close + 1;
    if (QuotedString) {
        FLexStart = start;
        FLexLength = FPos - start;
    } else {
        FLexStart = start + 1;
        FLexLength = contentEnd - FLexStart;
    }
}

void TParser::ReadQuotedIdent(char open) {
    const char closing = open == '[' ? ']' : open;
    const std::size_t close = FText.find(closing, FPos + 1);
    FPos = close == std::string::npos ? FText.size() : close + 1;
    FLexLength = FPos - FLexStart;
}

int TParser::ReadSymbol() {
    // The longest match among the symbol characters that follow. Text longer than the longest table
    // entry can never match, so the scan stops there instead of running over a whole run of symbols.
    const std::string_view text(FText);
    const std::size_t limit = std::min(text.size() - FPos, std::max<std::size_t>(FSyntax.MaxSymbolLength(), 1));
    std::size_t bestLength = 0;
    int bestCode = 0;
    for (std::size_t len = 1; len <= limit && FSyntax.Is(text[FPos + len - 1], TParserSyntax::ckSymbol); ++len) {
        const int code = FSyntax.FindSymbol(text.substr(FPos, len));
        if (code != 0) {
            bestLength = len;
            bestCode = code;
        }
    }
    if (bestLength == 0) {
        bestLength = 1;
        bestCode = lcSymbol;
    }
    FPos += bestLength;
    FLexLength = bestLength;
    return bestCode;
}

int TParser::ReadIdent() {
    const std::size_t length = FText.size();
    ++FPos;
    while (FPos < length) {
        const char c = FText[FPos];
        if (c != '_' && !FSyntax.Is(c, TParserSyntax::ckLetter | TParserSyntax::ckDigit)) {
            break;
        }
        ++FPos;
    }
    FLexLength = FPos - FLexStart;
    const std::string_view lexeme = std::string_view(FText).substr(FLexStart, FLexLength);
    const int keyword = FSyntax.FindKeyword(lexeme);
    if (keyword == 0) {
        return lcIdent;
    }
    if (Uppercase) {
        // Keywords are ASCII, so the matched lexeme holds only ASCII letters.
        FUpper.assign(lexeme);
        for (char& ch : FUpper) {
            ch = AsciiUpper(ch);
        }
        FUseUpper = true;
    }
    return keyword;
}

void TParser::ReadNumber() {
    const std::size_t length = FText.size();
    auto skipDigits = [&] {
        while (FPos < length && FSyntax.Is(FText[FPos], TParserSyntax::ckDigit)) {
            ++FPos;
        }
    };
    skipDigits();
    const std::string& sep = FDecimalSeparator;
    if (!sep.empty() && FPos + sep.size() < length && FText.compare(FPos, sep.size(), sep) == 0 &&
        FSyntax.Is(FText[FPos + sep.size()], TParserSyntax::ckDigit)) {
        FPos += sep.size();
        skipDigits();
    }
    FLexLength = FPos - FLexStart;
}

void TParser::RaiseUnknownSymbol(char c) const {
    throw Exception(Format(SUnknownSymbol, c, static_cast<unsigned>(static_cast<unsigned char>(c))));
}

// ---------------------------------------------------------------------------------------------------
// Case handling of the system code page

std::string AnsiUpperCase(std::string_view text) { return codepage::UpperCase(text); }

bool AnsiSameText(std::string_view a, std::string_view b) { return codepage::SameText(a, b); }
