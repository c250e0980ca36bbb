#pragma once
// The SQL Server lexer: T-SQL's quoting ("'" strings; double-quoted and bracketed identifiers), "-- "
// line comments, "$" and "#" inside identifiers, and the keywords the data-access layer looks for.
#include "data/CRParser.h"

class TMSParser : public TParser {
public:
    // Symbol codes.
    static constexpr int lxStar = 1;       // "*"
    static constexpr int lxEqual = 2;      // "="
    static constexpr int lxColon = 3;      // ":"
    static constexpr int lxComma = 4;      // ","
    static constexpr int lxPoint = 5;      // "."
    static constexpr int lxSlash = 7;      // "/"
    static constexpr int lxSemicolon = 8;  // ";"

    // Keyword codes.
    static constexpr int lxAND = 9;
    static constexpr int lxAS = 10;
    static constexpr int lxBY = 11;
    static constexpr int lxCOMPUTE = 12;
    static constexpr int lxCREATE = 13;
    static constexpr int lxCROSS = 14;
    static constexpr int lxDELETE = 15;
    static constexpr int lxFOR = 16;
    static constexpr int lxFROM = 17;
    static constexpr int lxFULL = 18;
    static constexpr int lxGROUP = 19;
    static constexpr int lxHAVING = 20;
    static constexpr int lxINNER = 21;
    static constexpr int lxINSERT = 22;
    static constexpr int lxINTO = 23;
    static constexpr int lxIS = 24;
    static constexpr int lxJOIN = 25;
    static constexpr int lxLEFT = 26;
    static constexpr int lxOPTION = 27;
    static constexpr int lxOR = 28;
    static constexpr int lxORDER = 29;
    static constexpr int lxOUTER = 30;
    static constexpr int lxPROCEDURE = 31;
    static constexpr int lxREPLACE = 32;
    static constexpr int lxRIGHT = 33;
    static constexpr int lxSELECT = 34;
    static constexpr int lxUPDATE = 35;
    static constexpr int lxUNION = 36;
    static constexpr int lxWHERE = 37;
    static constexpr int lxWITH = 38;

    explicit TMSParser(std::string_view text);

    static std::unique_ptr<TParser> Create(std::string_view text);
    static const TParserSyntax& Syntax();
};
