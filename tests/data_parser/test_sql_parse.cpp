// The text sent and the parameters found for SQL texts, and the sequence run when a component's SQL
// text or one of its macros changes.
#include "common/Exception.h"
#include "data/DASQLParse.h"
#include "tests/support/ExpectThrows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

Names ParamNames(const TDAParams& params) {
    Names names;
    for (std::size_t i = 0; i < params.Count(); ++i) {
        names.push_back(params[i].Name());
    }
    return names;
}

struct ParseCase {
    std::string Text;
    std::string Sent;
    Names Params;
};

void CheckParse(const std::vector<ParseCase>& cases, TParamNameQuotes quotes) {
    for (const auto& c : cases) {
        SCOPED_TRACE("text: " + c.Text);
        TDAParams params;
        params.Add("stale");
        EXPECT_EQ(ParseSQLParams(c.Text, quotes, &params), c.Sent);
        EXPECT_EQ(ParamNames(params), c.Params);
    }
}

TEST(ParamParse, QueryTexts) {
    CheckParse(
        {
            {"select * from t where a = 'x:y'", "SELECT * FROM t WHERE a = 'x:y'", {}},
            {"select * from t where a = :p", "SELECT * FROM t WHERE a = ?", {"p"}},
            {":p and :p", "? AND ?", {"p", "p"}},
            {"a = :p1, b = :P2", "a = ?, b = ?", {"p1", "P2"}},
            {"a:b:c", "a??", {"b", "c"}},
            {":@p", "?", {"@p"}},
            {":[my p]", "?", {"my p"}},
            {":\"q\"", "?", {"\"q\""}},  // double quotes are not the query's name quotes
            {":[open", "?", {"[open"}},  // unclosed: runs to the end, not stripped
            {":_x :x$y#", "? ?", {"_x", "x$y#"}},
            // a number names a parameter too
            {"12:30", "12?", {"30"}},
            // keywords, symbols, blanks and the end never name one
            {":from", ":FROM", {}},
            {"::", "::", {}},
            {"::x", "::x", {}},
            {":::x", "::?", {"x"}},
            {": p", ": p", {}},
            {":", ":", {}},
            {":@", ":@", {}},
            {":@ x", ":@ x", {}},
            {":@@x", ":@@x", {}},
            {":$x", ":$x", {}},
            {":'s'", ":'s'", {}},
            // strings, comments and quoted identifiers hide parameters
            {"/* :x */ a", "/* :x */ a", {}},
            {"-- :x\r\n:y", "-- :x\r\n?", {"y"}},
            {"--:x", "--?", {"x"}},
            {"'a:x' [b:x] 'it''s:x'", "'a:x' [b:x] 'it''s:x'", {}},
            {"'unclosed :x", "'unclosed :x", {}},
            {"/* unclosed :x", "/* unclosed :x", {}},
            // everything but keywords is copied byte for byte
            {"'it''s'", "'it''s'", {}},
            {"0x00FF", "0x00FF", {}},
            {"/*/ select 1", "/*/ SELECT 1", {}},
            {"Select a From t Where b = 1", "SELECT a FROM t WHERE b = 1", {}},
            {"select 'select' [from] \"where\" fromage", "SELECT 'select' [from] \"where\" fromage", {}},
            {"select\t:p\r\nfrom t  ", "SELECT\t?\r\nFROM t  ", {"p"}},
            {"s\xE9lect caf\xE9 -- \xFF", "s\xE9lect caf\xE9 -- \xFF", {}},
            {"a & b &c ?", "a & b &c ?", {}},
            {"", "", {}},
        },
        QueryParamNameQuotes);
}

TEST(ParamParse, CommandNameQuotes) {
    CheckParse(
        {
            {":\"my p\"", "?", {"my p"}},
            {":[q]", "?", {"[q]"}},
            // a lone double quote at the end is both first and last character; it is kept as the name
            {":\"", "?", {"\""}},
        },
        CommandParamNameQuotes);
}

TEST(ParamParse, WithoutListOnlyUppercasesKeywords) {
    EXPECT_EQ(ParseSQLParams("select :p, :@q from t where x = :[r]", QueryParamNameQuotes, nullptr),
              "SELECT :p, :@q FROM t WHERE x = :[r]");
}

TEST(ParamParse, UnknownSymbolReachesCaller) {
    TDAParams params;
    vactest::ExpectThrows<Exception>([&] { ParseSQLParams("select \f 1", QueryParamNameQuotes, &params); },
                                     "Parser: The unknown symbol '\f'  $000C");
    EXPECT_EQ(ParseSQLParams("select '\f'\t1", QueryParamNameQuotes, &params), "SELECT '\f'\t1");
}

TEST(SQLTrim, TrailingBlanksAndLineEnds) {
    EXPECT_EQ(TrimSQLRight("select 1 \t\r\n \r\n"), "select 1");
    EXPECT_EQ(TrimSQLRight(" \r\n"), "");
    EXPECT_EQ(TrimSQLRight("  a"), "  a");
}

// ---------------------------------------------------------------------------------------------------
// Change handling

TEST(SQLChange, TextSentAndParamsFollowTheText) {
    TMacros macros;
    TDAParams params;
    TSQLSource source;
    source.SQL = "select * from t where a = :p and b = :q \r\n";
    EXPECT_EQ(SQLTextChanged(source, macros, params), "SELECT * FROM t WHERE a = ? AND b = ?");
    EXPECT_EQ(ParamNames(params), (Names{"p", "q"}));
    EXPECT_EQ(macros.Count(), 0u);

    // Values survive for parameters still named; others appear empty and the rest are dropped.
    params[0].SetValue(int64_t{5});
    params[1].SetValue(std::string("gone"));
    source.SQL = "update t set a = :r where b = :p";
    EXPECT_EQ(SQLTextChanged(source, macros, params), "UPDATE t set a = ? WHERE b = ?");
    ASSERT_EQ(ParamNames(params), (Names{"r", "p"}));
    EXPECT_TRUE(params[0].IsNull());
    EXPECT_EQ(params[1].Value(), TParamValue(int64_t{5}));
}

TEST(SQLChange, ParamCheckOffKeepsParamsAndStillExpandsMacros) {
    TMacros macros;
    TDAParams params;
    params.Add("kept");
    TSQLSource source;
    source.ParamCheck = false;
    source.SQL = "select :p from &tbl  ";
    SQLTextChanged(source, macros, params);
    macros.MacroByName("tbl").SetValue("users");
    EXPECT_EQ(BuildCommandText(source, macros, params), "SELECT :p FROM users");
    EXPECT_EQ(ParamNames(params), Names{"kept"});
}

TEST(SQLChange, DatasetTextsAndConditions) {
    TMacros macros;
    TDAParams params;
    TSQLSource source;
    source.SQL = "select * from t";
    // Macros of the update texts are listed, without reaching the text sent.
    source.MacroOnlyTexts = {"insert into t values (&v)", "", "delete from &w", ""};
    std::string seen;
    source.AddConditions = [&seen](std::string& text) {
        seen = text;
        text += " where k = :key";
    };
    EXPECT_EQ(SQLTextChanged(source, macros, params), "SELECT * FROM t WHERE k = ?");
    EXPECT_EQ(seen, "select * from t");
    ASSERT_EQ(macros.Count(), 2u);
    EXPECT_EQ(macros[0].Name(), "v");
    EXPECT_EQ(macros[1].Name(), "w");
    EXPECT_EQ(ParamNames(params), Names{"key"});
}

TEST(SQLChange, LexerErrorLeavesParamsAlone) {
    TMacros macros;
    TDAParams params;
    TSQLSource source;
    source.SQL = "select :p";
    SQLTextChanged(source, macros, params);
    params[0].SetValue(true);
    source.SQL = "select :q \x01";
    EXPECT_THROW(SQLTextChanged(source, macros, params), Exception);
    ASSERT_EQ(ParamNames(params), Names{"p"});
    EXPECT_EQ(params[0].Value(), TParamValue(true));
}

// A component as the macro list's owner: a changed macro rebuilds the text sent, for an open dataset
// only when its SQL text uses the macro.
class FakeQuery : public TMacrosOwner {
public:
    FakeQuery() : Macros(this) {}

    void SetSQL(std::string sql) {
        SQL = std::move(sql);
        source.SQL = SQL;
        CommandText = SQLTextChanged(source, Macros, Params);
    }

    void MacroChanged(const TMacro& macro) override {
        if (Active && !SQLUsesMacro(SQL, macro.Name())) {
            return;
        }
        ++Rebuilds;
        CommandText = BuildCommandText(source, Macros, Params);
    }

    std::string SQL;
    bool Active = false;
    TMacros Macros;
    TDAParams Params;
    std::string CommandText;
    int Rebuilds = 0;

private:
    TSQLSource source;
};

TEST(SQLChange, MacroChangeRebuildsTextSent) {
    FakeQuery query;
    query.SetSQL("select * from &tbl where a = :p &cond");
    EXPECT_EQ(query.CommandText, "SELECT * FROM  WHERE a = ? ");
    query.Macros.MacroByName("tbl").SetValue("users");
    EXPECT_EQ(query.CommandText, "SELECT * FROM users WHERE a = ? ");
    query.Macros.MacroByName("cond").SetValue("and b = :q");
    EXPECT_EQ(query.CommandText, "SELECT * FROM users WHERE a = ? AND b = ?");
    EXPECT_EQ(ParamNames(query.Params), (Names{"p", "q"}));
    query.Macros.MacroByName("cond").SetActive(false);
    EXPECT_EQ(query.CommandText, "SELECT * FROM users WHERE a = ? ");
    EXPECT_EQ(query.Rebuilds, 3);

    // Setting the same value again changes nothing.
    query.Macros.MacroByName("tbl").SetValue("users");
    EXPECT_EQ(query.Rebuilds, 3);

    // Inside an update of the list, nobody is told.
    query.Macros.BeginUpdate();
    query.Macros.MacroByName("tbl").SetValue("other");
    query.Macros.EndUpdate();
    EXPECT_EQ(query.Rebuilds, 3);

    // An open dataset rebuilds only for macros its text names with the same case.
    query.Active = true;
    query.Macros.MacroByName("TBL").SetValue("t2");
    EXPECT_EQ(query.Rebuilds, 4);
    query.SetSQL("select * from &TBL");
    // The rescan kept the macro, and with it its name "tbl", which "&TBL" does not contain.
    EXPECT_EQ(query.Macros[0].Name(), "tbl");
    EXPECT_EQ(query.Macros[0].Value(), "t2");
    query.Macros.MacroByName("tbl").SetValue("t3");
    EXPECT_EQ(query.Rebuilds, 4);
}

TEST(SQLChange, UsesMacroIsCaseSensitiveSubstring) {
    EXPECT_TRUE(SQLUsesMacro("select * from &tbl", "tbl"));
    EXPECT_TRUE(SQLUsesMacro("select * from &tbl2", "tbl"));
    EXPECT_FALSE(SQLUsesMacro("select * from &TBL", "tbl"));
    EXPECT_FALSE(SQLUsesMacro("select * from tbl", "tbl"));
}

}  // namespace
