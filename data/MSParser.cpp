#include "data/MSParser.h"

const TParserSyntax& TMSParser::Syntax() {
    static const TParserSyntax syntax([] {
        TParserSyntax::TDescription d;
        // " :=" (code 6) is not listed: it starts with a blank, which never reaches the symbol lookup.
        d.Symbols = {{"*", lxStar},  {"=", lxEqual}, {":", lxColon},    {",", lxComma},
                     {".", lxPoint}, {"/", lxSlash}, {";", lxSemicolon}};
        d.Keywords = {
            {"AND", lxAND},
            {"AS", lxAS},
            {"BY", lxBY},
            {"COMPUTE", lxCOMPUTE},
            {"CREATE", lxCREATE},
            {"CROSS", lxCROSS},
            {"DELETE", lxDELETE},
            {"FOR", lxFOR},
            {"FROM", lxFROM},
            {"FULL", lxFULL},
            {"GROUP", lxGROUP},
            {"HAVING", lxHAVING},
            {"INNER", lxINNER},
            {"INSERT", lxINSERT},
            {"INTO", lxINTO},
            {"IS", lxIS},
            {"JOIN", lxJOIN},
            {"LEFT", lxLEFT},
            {"OPTION", lxOPTION},
            {"OR", lxOR},
            {"ORDER", lxORDER},
            {"OUTER", lxOUTER},
            {"PROCEDURE", lxPROCEDURE},
            {"REPLACE", lxREPLACE},
            {"RIGHT", lxRIGHT},
            {"SELECT", lxSELECT},
            {"UPDATE", lxUPDATE},
            {"UNION", lxUNION},
            {"WHERE", lxWHERE},
            {"WITH", lxWITH},
        };
        d.ExtraLetters = "$#";
        d.StringQuotes = "'";
        d.IdentQuotes = "\"[]";
        d.LineComment = "-- ";
        return d;
    }());
    return syntax;
}

TMSParser::TMSParser(std::string_view text) : TParser(text, Syntax()) {}

std::unique_ptr<TParser> TMSParser::Create(std::string_view text) { return std::make_unique<TMSParser>(text); }
