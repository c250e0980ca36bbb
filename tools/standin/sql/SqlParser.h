#pragma once
// Recursive-descent parser of the T-SQL subset. A whole batch is parsed before anything runs, as
// SQL Server compiles a batch first: a syntax error anywhere means no statement of it runs.
#include "tools/standin/sql/SqlAst.h"
#include "tools/standin/sql/SqlLexer.h"

#include <deque>
#include <string_view>
#include <vector>

namespace standin {

class SqlParser {
public:
    SqlParser(std::string_view batch, bool quotedIdentifier);
    // Throws SqlError (with the line set) on a syntax error.
    std::vector<Statement> parseBatch();
    // The text is a parameter declaration list ("@a int, @b nvarchar(10) OUTPUT"), as
    // sp_executesql and sp_prepare take it. Throws SqlError on a syntax error.
    std::vector<ParameterDeclaration> parseParameterDeclarations();

private:
    // Token stream with look-ahead; re-read after SET QUOTED_IDENTIFIER changes the reading rules.
    const Token& peek(size_t k = 0);
    Token take();
    bool acceptWord(std::string_view upper);
    bool acceptSymbol(std::string_view symbol);
    void expectWord(std::string_view upper);
    void expectSymbol(std::string_view symbol);
    [[noreturn]] void fail();
    [[noreturn]] void failAt(const Token& t);
    void setQuotedIdentifier(bool on);
    int lineOf(size_t offset) const;

    Statement parseStatement(bool firstInBatch);
    SelectStmt parseSelect();
    InsertStmt parseInsert();
    UpdateStmt parseUpdate();
    DeleteStmt parseDelete();
    Statement parseNested();  // a statement inside IF or BEGIN ... END
    IfStmt parseIf();
    Statement parseCreate();
    CreateTableStmt parseCreateTable();
    CreateIndexStmt parseCreateIndex();
    AlterTableStmt parseAlterTable();
    const Collation* parseCollation();  // COLLATE's name; 448 when SQL Server has no such collation
    void parseIndexOptions();           // WITH (...) / WITH FILLFACTOR = n, then ON filegroup
    void parseFileGroup(std::string_view keyword);
    std::vector<std::string> parseKeyColumns();
    DropTableStmt parseDropTable();
    SetStmt parseSet();
    ExecStmt parseExec(bool keywordSeen);
    WaitForStmt parseWaitFor();
    static bool parseDelay(std::string_view text, std::chrono::milliseconds& out);
    void parseTransactionName();
    void parseTableHints();

    ObjectName parseObjectName();
    TableRef parseTableRef(bool allowAlias);
    std::string parseIdentifier();
    bool atIdentifier(size_t k = 0);
    bool atAlias();
    ColumnType parseType(int columnNumber, const std::string& columnName, bool inCast);

    ExprPtr parseCondition();
    ExprPtr parseOr(bool condition);
    ExprPtr parseAnd(bool condition);
    ExprPtr parseNot(bool condition);
    ExprPtr parsePredicate(bool condition);
    ExprPtr parseValue() { return parseAdditive(false); }
    ExprPtr parseAdditive(bool condition);
    ExprPtr parseMultiplicative(bool condition);
    ExprPtr parseUnary(bool condition);
    ExprPtr parsePrimary(bool condition);
    ExprPtr parseLiteral(const Token& t);
    ExprPtr parseFunction(const Token& name);

    std::string_view text_;
    SqlLexer lexer_;
    bool quotedIdentifier_;
    std::deque<Token> lookahead_;
    size_t position_ = 0;  // where the next unread token starts
    Token last_;           // the most recently taken token
    int depth_ = 0;        // expression nesting, bounded so hostile input cannot exhaust the stack
};

}  // namespace standin
