#include "data/DASQLParse.h"

#include "data/MSParser.h"

std::string ParseSQLParams(std::string_view text, TParamNameQuotes nameQuotes, TDAParams* params) {
    if (params != nullptr) {
        params->Clear();
    }
    TMSParser parser(text);
    parser.OmitBlank = false;
    parser.OmitComment = true;
    parser.QuotedString = true;

    std::string result;
    result.reserve(text.size() + text.size() / 2);
    for (int code = parser.GetNext(); code != TParser::lcEnd; code = parser.GetNext()) {
        if (code != TMSParser::lxColon || parser.Lexeme() != ":") {
            result += parser.Lexeme();
            continue;
        }
        code = parser.GetNext();
        const bool at = parser.Lexeme() == "@";
        if (at) {
            code = parser.GetNext();
        }
        if (params != nullptr && (code == TParser::lcIdent || code == TParser::lcNumber)) {
            std::string name = at ? "@" : "";
            name += parser.Lexeme();
            // A lone quote character (an unclosed quoted identifier at the end of the text) is both
            // first and last character; it is kept rather than stripped twice.
            if (name.size() >= 2 && name.front() == nameQuotes.Left && name.back() == nameQuotes.Right) {
                name = name.substr(1, name.size() - 2);
            }
            params->Add(std::move(name));
            result += '?';
        } else {
            result += at ? ":@" : ":";
            result += parser.Lexeme();
        }
    }
    return result;
}

std::string_view TrimSQLRight(std::string_view text) {
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string BuildCommandText(const TSQLSource& source, const TMacros& macros, TDAParams& params) {
    std::string text(TrimSQLRight(source.SQL));
    macros.Expand(text);
    if (source.AddConditions) {
        source.AddConditions(text);
    }
    if (!source.ParamCheck) {
        return ParseSQLParams(text, source.NameQuotes, nullptr);
    }
    const auto fresh = params.CreateEmpty();
    std::string result = ParseSQLParams(text, source.NameQuotes, fresh.get());
    fresh->AssignValues(params);
    params.TakeItems(*fresh);
    return result;
}

std::string SQLTextChanged(const TSQLSource& source, TMacros& macros, TDAParams& params) {
    if (source.MacroOnlyTexts.empty()) {
        macros.Scan(source.SQL);
    } else {
        std::string all(source.SQL);
        for (std::string_view extra : source.MacroOnlyTexts) {
            all += extra;
        }
        macros.Scan(all);
    }
    return BuildCommandText(source, macros, params);
}

bool SQLUsesMacro(std::string_view sql, std::string_view macroName) {
    std::string pattern(1, TMacros::MacroChar);
    pattern += macroName;
    return sql.find(pattern) != std::string_view::npos;
}
