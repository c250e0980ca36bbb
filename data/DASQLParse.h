#pragma once
// From the SQL text a component is given to the text its command sends: macro expansion, the
// parameter parse (":name" becomes the provider's "?" marker and an entry of the parameter list) and
// the keyword upper-casing that comes with it.
#include "data/DAMacros.h"
#include "data/DAParams.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The quotes that may surround a parameter name and are not part of it (":[my p]" names "my p").
struct TParamNameQuotes {
    char Left;
    char Right;
};
// A SQL Server query's own command.
inline constexpr TParamNameQuotes QueryParamNameQuotes{'[', ']'};
// A command component without a dataset.
inline constexpr TParamNameQuotes CommandParamNameQuotes{'"', '"'};

// Returns the text to send. With a list, the list is cleared and gets one parameter per ":name" (or
// ":@name") outside strings, quoted identifiers and comments, in text order, each replaced by "?" in
// the result. Without a list (nullptr) no marker is placed. Either way keywords are upper-cased and
// everything else is copied byte for byte. Raises Exception on a character the lexer does not know.
std::string ParseSQLParams(std::string_view text, TParamNameQuotes nameQuotes, TDAParams* params);

// The SQL text without trailing blanks (space, TAB) and line ends.
std::string_view TrimSQLRight(std::string_view text);

// What a query or command component knows about its SQL when the text changes or a macro changes.
struct TSQLSource {
    // The component's own SQL text (the lines of its SQL list joined with CR LF).
    std::string_view SQL;
    // A dataset's insert, update, delete and refresh texts: scanned for macros together with SQL
    // (concatenated with nothing between them), never sent from here.
    std::vector<std::string_view> MacroOnlyTexts;
    // The ParamCheck property.
    bool ParamCheck = true;
    TParamNameQuotes NameQuotes = QueryParamNameQuotes;
    // A dataset's filter and master-detail conditions, added to the macro-expanded text; may be empty.
    std::function<void(std::string& text)> AddConditions;
};

// The text to send, rebuilt from `source` and the current macros. With ParamCheck on, `params` is
// replaced by the parameters found, each taking over the value of an old parameter of the same name;
// with ParamCheck off `params` is left alone. A lexer error leaves `params` unchanged.
std::string BuildCommandText(const TSQLSource& source, const TMacros& macros, TDAParams& params);

// The whole sequence after the SQL text changed, to be called once the component has closed its
// dataset (or unprepared its command) and marked its field definitions out of date: rescans the
// macros, then BuildCommandText. A lexer error propagates to the caller with `params` unchanged.
std::string SQLTextChanged(const TSQLSource& source, TMacros& macros, TDAParams& params);

// Whether an open dataset's SQL text uses the macro, so that a change of the macro must rebuild the
// command text (plain, case-sensitive test for "&" followed by the name).
bool SQLUsesMacro(std::string_view sql, std::string_view macroName);
