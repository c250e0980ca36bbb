#include "tools/standin/sql/SqlParser.h"

#include "tools/standin/sql/SqlError.h"
#include "tools/standin/sql/SqlValue.h"
#include "tools/standin/sql/Utf.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <set>

namespace standin {

namespace {

constexpr int kMaxDepth = 200;

std::string upper(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
    return out;
}

struct DepthGuard {
    int& depth;
    explicit DepthGuard(int& d, std::string_view near) : depth(d) {
        if (++depth > kMaxDepth) {
            --depth;
            // SQL Server's own limit on nesting gives a different error; a syntax error is as good here.
            throw errors::syntaxNear(near);
        }
    }
    ~DepthGuard() { --depth; }
};

const std::set<std::string> kBooleanSetOptions = {"QUOTED_IDENTIFIER",
                                                  "ANSI_NULLS",
                                                  "ANSI_WARNINGS",
                                                  "ANSI_PADDING",
                                                  "ANSI_NULL_DFLT_ON",
                                                  "ANSI_NULL_DFLT_OFF",
                                                  "ANSI_DEFAULTS",
                                                  "CONCAT_NULL_YIELDS_NULL",
                                                  "ARITHABORT",
                                                  "ARITHIGNORE",
                                                  "NUMERIC_ROUNDABORT",
                                                  "NOCOUNT",
                                                  "XACT_ABORT",
                                                  "IMPLICIT_TRANSACTIONS",
                                                  "CURSOR_CLOSE_ON_COMMIT",
                                                  "FMTONLY",
                                                  "NOEXEC",
                                                  "PARSEONLY",
                                                  "SHOWPLAN_TEXT",
                                                  "SHOWPLAN_ALL",
                                                  "SHOWPLAN_XML",
                                                  "FORCEPLAN",
                                                  "NO_BROWSETABLE",
                                                  "REMOTE_PROC_TRANSACTIONS",
                                                  "STATISTICS"};
const std::set<std::string> kValueSetOptions = {
    "TEXTSIZE",    "ROWCOUNT",  "LOCK_TIMEOUT",      "LANGUAGE",
    "DATEFORMAT",  "DATEFIRST", "DEADLOCK_PRIORITY", "QUERY_GOVERNOR_COST_LIMIT",
    "CONTEXT_INFO"};
// Expression trees are walked recursively when bound, evaluated and freed; SQL Server also refuses
// statements nested too deeply (error 191).
constexpr int kMaxExprDepth = 1000;

ExprPtr limitDepth(ExprPtr e) {
    int depth = 0;
    for (const auto& a : e->args) depth = std::max(depth, a->depth);
    e->depth = depth + 1;
    if (e->depth > kMaxExprDepth)
        throw SqlError(191, 15, 1,
                       "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into "
                       "smaller queries.",
                       ErrorReach::Batch);
    return e;
}

const std::set<std::string> kAggregates = {"COUNT", "MIN", "MAX", "SUM", "AVG", "COUNT_BIG"};

}  // namespace

SqlParser::SqlParser(std::string_view batch, bool quotedIdentifier)
    : text_(batch), lexer_(batch), quotedIdentifier_(quotedIdentifier) {}

const Token& SqlParser::peek(size_t k) {
    while (lookahead_.size() <= k) {
        const size_t from = lookahead_.empty() ? position_ : lookahead_.back().end;
        if (!lookahead_.empty() && lookahead_.back().kind == TokenKind::End) return lookahead_.back();
        lookahead_.push_back(lexer_.read(from, quotedIdentifier_));
    }
    return lookahead_[k];
}

Token SqlParser::take() {
    Token t = peek();
    if (t.kind != TokenKind::End) {
        lookahead_.pop_front();
        position_ = t.end;
        last_ = t;
    }
    return t;
}

bool SqlParser::acceptWord(std::string_view word) {
    if (peek().isWord(word)) {
        take();
        return true;
    }
    return false;
}

bool SqlParser::acceptSymbol(std::string_view symbol) {
    if (peek().isSymbol(symbol)) {
        take();
        return true;
    }
    return false;
}

void SqlParser::expectWord(std::string_view word) {
    if (!acceptWord(word)) fail();
}

void SqlParser::expectSymbol(std::string_view symbol) {
    if (!acceptSymbol(symbol)) fail();
}

void SqlParser::fail() {
    const Token& t = peek();
    // At the end of the batch SQL Server names the last token it read.
    failAt(t.kind == TokenKind::End ? last_ : t);
}

void SqlParser::failAt(const Token& t) {
    if (t.kind == TokenKind::Identifier && isReservedKeyword(t.text)) throw errors::syntaxNearKeyword(t.text);
    if (t.kind == TokenKind::Binary) throw errors::syntaxNear("0x" + t.text);
    throw errors::syntaxNear(t.text);
}

void SqlParser::setQuotedIdentifier(bool on) {
    quotedIdentifier_ = on;
    lookahead_.clear();  // tokens after this point are read again under the new rule
}

int SqlParser::lineOf(size_t offset) const {
    offset = std::min(offset, text_.size());
    return 1 + static_cast<int>(std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

std::vector<Statement> SqlParser::parseBatch() {
    std::vector<Statement> statements;
    try {
        bool first = true;
        while (true) {
            while (acceptSymbol(";")) {}
            if (peek().kind == TokenKind::End) break;
            const int line = lineOf(peek().begin);
            Statement s = parseStatement(first);
            s.line = line;
            statements.push_back(std::move(s));
            first = false;
        }
    } catch (SqlError& e) {
        e.setLine(lineOf(lookahead_.empty() ? position_ : lookahead_.front().begin));
        throw;
    }
    return statements;
}

std::vector<ParameterDeclaration> SqlParser::parseParameterDeclarations() {
    std::vector<ParameterDeclaration> declarations;
    if (peek().kind == TokenKind::End) return declarations;
    do {
        const Token name = take();
        if (name.kind != TokenKind::Variable || name.text.rfind("@@", 0) == 0) failAt(name);
        acceptWord("AS");
        ParameterDeclaration d;
        d.name = name.text;
        if (peek().isWord("DATETIME2") || peek().isWord("DATE") || peek().isWord("TIME") ||
            peek().isWord("DATETIMEOFFSET")) {
            // Drivers declare date and time values so; the engine's one date type takes them.
            take();
            if (acceptSymbol("(")) {
                take();
                expectSymbol(")");
            }
            d.type = makeType(SqlType::DateTime);
        } else {
            d.type = parseType(static_cast<int>(declarations.size()) + 1, name.text, false);
        }
        d.output = acceptWord("OUTPUT") || acceptWord("OUT");
        declarations.push_back(std::move(d));
    } while (acceptSymbol(","));
    if (peek().kind != TokenKind::End) fail();
    return declarations;
}

Statement SqlParser::parseStatement(bool firstInBatch) {
    Statement s;
    const Token& t = peek();
    if (t.isWord("SELECT"))
        s.body = parseSelect();
    else if (t.isWord("INSERT"))
        s.body = parseInsert();
    else if (t.isWord("UPDATE"))
        s.body = parseUpdate();
    else if (t.isWord("DELETE"))
        s.body = parseDelete();
    else if (t.isWord("CREATE"))
        s = parseCreate();
    else if (t.isWord("ALTER"))
        s.body = parseAlterTable();
    else if (t.isWord("DROP") && !peek(1).isWord("TABLE") && peek(1).kind == TokenKind::Identifier && atIdentifier(2)) {
        // DROP PROCEDURE, VIEW, TRIGGER ...: the guarded drops of generated scripts must compile.
        take();
        const std::string keyword = "DROP " + upper(take().text);
        do {
            parseObjectName();
        } while (acceptSymbol(","));
        s.body = UnsupportedStmt{keyword};
    } else if (t.isWord("DROP"))
        s.body = parseDropTable();
    else if (t.isWord("GRANT") || t.isWord("DENY") || t.isWord("REVOKE"))
        throw errors::unsupportedStatement(upper(t.text));
    else if (t.isWord("IF"))
        s.body = parseIf();
    else if (t.isWord("BEGIN") && !peek(1).isWord("TRAN") && !peek(1).isWord("TRANSACTION") &&
             !peek(1).isWord("DISTRIBUTED")) {
        take();
        BlockStmt block;
        while (true) {
            while (acceptSymbol(";")) {}
            if (acceptWord("END")) break;
            if (peek().kind == TokenKind::End) fail();
            block.statements.push_back(parseNested());
        }
        s.body = std::move(block);
    } else if (t.isWord("PRINT")) {
        take();
        s.body = PrintStmt{parseValue()};
    } else if (t.isWord("USE")) {
        take();
        UseStmt use;
        use.database = parseIdentifier();
        s.body = std::move(use);
    } else if (t.isWord("SET") && peek(1).kind == TokenKind::Variable && peek(1).text.rfind("@@", 0) != 0) {
        take();
        AssignStmt a;
        a.variable = take().text;
        expectSymbol("=");
        a.value = parseValue();
        s.body = std::move(a);
    } else if (t.isWord("SET"))
        s.body = parseSet();
    else if (t.isWord("BEGIN")) {
        take();
        acceptWord("DISTRIBUTED");
        if (!acceptWord("TRAN") && !acceptWord("TRANSACTION")) fail();
        parseTransactionName();
        s.body = TransactionStmt{TransactionStmt::Kind::Begin};
    } else if (t.isWord("COMMIT") || t.isWord("ROLLBACK")) {
        const bool commit = t.isWord("COMMIT");
        take();
        if (acceptWord("TRAN") || acceptWord("TRANSACTION"))
            parseTransactionName();
        else
            acceptWord("WORK");
        s.body = TransactionStmt{commit ? TransactionStmt::Kind::Commit : TransactionStmt::Kind::Rollback};
    } else if (t.isWord("WAITFOR")) {
        s.body = parseWaitFor();
    } else if (t.isWord("EXEC") || t.isWord("EXECUTE")) {
        take();
        s.body = parseExec(true);
    } else if (firstInBatch && (t.kind == TokenKind::QuotedIdentifier ||
                                (t.kind == TokenKind::Identifier && !isReservedKeyword(t.text)))) {
        // A batch may start with a procedure name alone.
        s.body = parseExec(false);
    } else {
        fail();
    }
    return s;
}

Statement SqlParser::parseNested() {
    DepthGuard guard(depth_, peek().text);  // nested IF and BEGIN ... END are bounded like expressions
    const int line = lineOf(peek().begin);
    Statement s = parseStatement(false);
    s.line = line;
    return s;
}

IfStmt SqlParser::parseIf() {
    expectWord("IF");
    IfStmt s;
    s.condition = parseCondition();
    while (acceptSymbol(";")) {}
    s.then.push_back(parseNested());
    while (peek().isSymbol(";") && peek(1).isWord("ELSE")) take();
    if (acceptWord("ELSE")) {
        while (acceptSymbol(";")) {}
        s.otherwise.push_back(parseNested());
    }
    return s;
}

Statement SqlParser::parseCreate() {
    Statement s;
    const Token& next = peek(1);
    if (next.isWord("TABLE")) {
        s.body = parseCreateTable();
    } else if (next.isWord("INDEX") || next.isWord("UNIQUE") || next.isWord("CLUSTERED") ||
               next.isWord("NONCLUSTERED")) {
        s.body = parseCreateIndex();
    } else if (next.isWord("DATABASE")) {
        take();
        take();
        CreateDatabaseStmt db;
        db.name = parseIdentifier();
        if (acceptWord("COLLATE")) db.collation = parseCollation();
        s.body = std::move(db);
    } else if (next.kind == TokenKind::Identifier) {
        // Procedures, views, triggers, functions ...: outside what the stand-in keeps.
        throw errors::unsupportedStatement("CREATE " + upper(next.text));
    } else {
        take();
        fail();
    }
    return s;
}

const Collation* SqlParser::parseCollation() {
    const Token name = take();
    if (name.kind != TokenKind::Identifier && name.kind != TokenKind::QuotedIdentifier) failAt(name);
    const Collation* c = findCollation(name.text);
    if (!c) throw errors::invalidCollation(name.text);
    return c;
}

void SqlParser::parseIndexOptions() {
    // WITH (PAD_INDEX = OFF, FILLFACTOR = 90, ...) or the older WITH FILLFACTOR = 90, PAD_INDEX, ...
    if (acceptWord("WITH")) {
        const bool parenthesised = acceptSymbol("(");
        do {
            const Token option = take();
            if (option.kind != TokenKind::Identifier) failAt(option);
            if (acceptSymbol("=")) {
                const Token value = take();
                if (value.kind != TokenKind::Identifier && value.kind != TokenKind::Integer) failAt(value);
            }
        } while (acceptSymbol(","));
        if (parenthesised) expectSymbol(")");
    }
    parseFileGroup("ON");
}

void SqlParser::parseFileGroup(std::string_view keyword) {
    // ON [PRIMARY], TEXTIMAGE_ON [PRIMARY]: the stand-in has one place for everything.
    if (peek().isWord(keyword) && (atIdentifier(1) || peek(1).isWord("PRIMARY") || peek(1).kind == TokenKind::String)) {
        take();
        take();
    }
}

std::vector<std::string> SqlParser::parseKeyColumns() {
    std::vector<std::string> columns;
    expectSymbol("(");
    do {
        columns.push_back(parseIdentifier());
        if (!acceptWord("ASC")) acceptWord("DESC");
    } while (acceptSymbol(","));
    expectSymbol(")");
    return columns;
}

CreateIndexStmt SqlParser::parseCreateIndex() {
    expectWord("CREATE");
    CreateIndexStmt s;
    s.unique = acceptWord("UNIQUE");
    if (!acceptWord("CLUSTERED")) acceptWord("NONCLUSTERED");
    expectWord("INDEX");
    s.name = parseIdentifier();
    expectWord("ON");
    s.table = parseObjectName();
    s.columns = parseKeyColumns();
    if (acceptWord("INCLUDE")) parseKeyColumns();
    if (peek().isWord("WHERE")) throw errors::unsupportedStatement("filtered index");
    parseIndexOptions();
    return s;
}

AlterTableStmt SqlParser::parseAlterTable() {
    expectWord("ALTER");
    if (!peek().isWord("TABLE")) {
        if (peek().kind == TokenKind::Identifier) throw errors::unsupportedStatement("ALTER " + upper(peek().text));
        fail();
    }
    take();
    AlterTableStmt s;
    s.table = parseObjectName();
    if (acceptWord("WITH")) {
        if (!acceptWord("NOCHECK")) expectWord("CHECK");
    }
    if (!peek().isWord("ADD")) {
        throw errors::unsupportedStatement("ALTER TABLE " +
                                           (peek().kind == TokenKind::End ? std::string() : upper(peek().text)));
    }
    take();
    do {
        if (!acceptWord("CONSTRAINT")) throw errors::unsupportedStatement("ALTER TABLE ADD column");
        const std::string name = parseIdentifier();
        if (acceptWord("DEFAULT")) {
            DefaultConstraint d;
            d.name = name;
            d.value = parseValue();
            expectWord("FOR");
            d.column = parseIdentifier();
            s.defaults.push_back(std::move(d));
        } else if (peek().isWord("PRIMARY") || peek().isWord("UNIQUE")) {
            TableConstraint c;
            c.name = name;
            c.primary = acceptWord("PRIMARY");
            if (c.primary)
                expectWord("KEY");
            else
                take();
            if (!acceptWord("CLUSTERED")) acceptWord("NONCLUSTERED");
            c.columns = parseKeyColumns();
            parseIndexOptions();
            s.keys.push_back(std::move(c));
        } else if (peek().kind == TokenKind::Identifier) {
            throw errors::unsupportedStatement(peek().isWord("FOREIGN") ? "FOREIGN KEY" : upper(peek().text));
        } else {
            fail();
        }
    } while (acceptSymbol(","));
    return s;
}

WaitForStmt SqlParser::parseWaitFor() {
    expectWord("WAITFOR");
    expectWord("DELAY");
    const Token t = take();
    if (t.kind != TokenKind::String) failAt(t);
    WaitForStmt w;
    if (!parseDelay(t.text, w.delay))
        throw SqlError(148, 15, 1, "Incorrect time syntax in time string '" + t.text + "' used with WAITFOR.",
                       ErrorReach::Batch);
    return w;
}

void SqlParser::parseTransactionName() {
    const Token& t = peek();
    if (t.kind == TokenKind::Variable || t.kind == TokenKind::QuotedIdentifier ||
        (t.kind == TokenKind::Identifier && !isReservedKeyword(t.text)))
        take();
}

ExecStmt SqlParser::parseExec(bool keywordSeen) {
    (void)keywordSeen;
    ExecStmt e;
    ObjectName name = parseObjectName();
    e.procedure = name.text;
    // Arguments: [@name =] value, separated by commas; they are parsed only to find the statement's end.
    if (peek().kind != TokenKind::End && !peek().isSymbol(";") &&
        !(peek().kind == TokenKind::Identifier && isReservedKeyword(peek().text))) {
        do {
            if (peek().kind == TokenKind::Variable && peek(1).isSymbol("=")) {
                take();
                take();
            }
            if (peek().kind == TokenKind::Identifier && !isReservedKeyword(peek().text) && !peek(1).isSymbol("(") &&
                !peek(1).isSymbol(".")) {
                take();  // bare words are strings in procedure arguments
            } else {
                parseValue();
            }
            if (acceptWord("OUTPUT") || acceptWord("OUT")) {}
        } while (acceptSymbol(","));
    }
    return e;
}

// hh:mm[:ss[.fff]] below 24 hours, the form WAITFOR DELAY takes.
bool SqlParser::parseDelay(std::string_view text, std::chrono::milliseconds& out) {
    int fields[3] = {0, 0, 0};
    int count = 0;
    size_t i = 0;
    while (count < 3) {
        const size_t start = i;
        int value = 0;
        while (i < text.size() && i - start < 2 && std::isdigit(static_cast<unsigned char>(text[i])))
            value = value * 10 + (text[i++] - '0');
        if (i == start) return false;
        fields[count++] = value;
        if (i == text.size() || text[i] != ':') break;
        ++i;
    }
    int millis = 0;
    if (count == 3 && i < text.size() && text[i] == '.') {
        ++i;
        int scale = 100;
        const size_t start = i;
        while (i < text.size() && i - start < 3 && std::isdigit(static_cast<unsigned char>(text[i]))) {
            millis += (text[i++] - '0') * scale;
            scale /= 10;
        }
        if (i == start) return false;
    }
    if (i != text.size() || count < 2 || fields[0] > 23 || fields[1] > 59 || fields[2] > 59) return false;
    out = std::chrono::hours(fields[0]) + std::chrono::minutes(fields[1]) + std::chrono::seconds(fields[2]) +
          std::chrono::milliseconds(millis);
    return true;
}

// ---- names ----

bool SqlParser::atIdentifier(size_t k) {
    const Token& t = peek(k);
    return t.kind == TokenKind::QuotedIdentifier || (t.kind == TokenKind::Identifier && !isReservedKeyword(t.text));
}

std::string SqlParser::parseIdentifier() {
    if (!atIdentifier()) fail();
    return take().text;
}

ObjectName SqlParser::parseObjectName() {
    ObjectName name;
    const size_t begin = peek().begin;
    name.parts.push_back(parseIdentifier());
    while (peek().isSymbol(".")) {
        take();
        if (peek().isSymbol(".")) {  // db..table: the schema is left out
            name.parts.emplace_back();
            continue;
        }
        name.parts.push_back(parseIdentifier());
        if (name.parts.size() > 4) fail();
    }
    if (name.parts.back().empty()) fail();
    name.text = std::string(text_.substr(begin, position_ - begin));
    // Names in messages are shown without brackets, as SQL Server does.
    std::string plain;
    for (size_t i = 0; i < name.parts.size(); ++i) {
        if (i) plain += '.';
        plain += name.parts[i];
    }
    name.text = plain;
    return name;
}

bool SqlParser::atAlias() {
    const Token& t = peek();
    if (t.kind == TokenKind::QuotedIdentifier) return true;
    return t.kind == TokenKind::Identifier && !isReservedKeyword(t.text);
}

TableRef SqlParser::parseTableRef(bool allowAlias) {
    TableRef ref;
    ref.name = parseObjectName();
    if (allowAlias) {
        if (acceptWord("AS"))
            ref.alias = parseIdentifier();
        else if (atAlias())
            ref.alias = take().text;
    }
    parseTableHints();
    return ref;
}

void SqlParser::parseTableHints() {
    // WITH (NOLOCK) and friends change locking only, which the stand-in does not have.
    if (peek().isWord("WITH") && peek(1).isSymbol("(")) {
        take();
        take();
        do {
            if (peek().kind != TokenKind::Identifier) fail();
            take();
        } while (acceptSymbol(","));
        expectSymbol(")");
    }
}

ColumnType SqlParser::parseType(int columnNumber, const std::string& columnName, bool inCast) {
    const Token nameToken = peek();
    if (nameToken.kind != TokenKind::Identifier && nameToken.kind != TokenKind::QuotedIdentifier) fail();
    take();
    std::string name = upper(nameToken.text);
    if (name == "DOUBLE" && acceptWord("PRECISION")) name = "FLOAT";
    ColumnType t;
    int defaultLength = inCast ? 30 : 1;
    auto lengthArg = [&](int max, SqlType type) {
        t.type = type;
        t.length = defaultLength;
        if (acceptSymbol("(")) {
            if (acceptWord("MAX")) {
                t.length = -1;
            } else {
                const Token n = take();
                if (n.kind != TokenKind::Integer) failAt(n);
                int64_t v = 0;
                std::from_chars(n.text.data(), n.text.data() + n.text.size(), v);
                if (v < 1 || n.text.size() > 9) failAt(n);
                if (v > max) throw errors::sizeTooLarge(columnName, v, max);
                t.length = static_cast<int>(v);
            }
            expectSymbol(")");
        }
    };
    if (name == "INT" || name == "INTEGER")
        t.type = SqlType::Int;
    else if (name == "SMALLINT")
        t.type = SqlType::SmallInt;
    else if (name == "TINYINT")
        t.type = SqlType::TinyInt;
    else if (name == "BIGINT")
        t.type = SqlType::BigInt;
    else if (name == "BIT")
        t.type = SqlType::Bit;
    else if (name == "REAL")
        t.type = SqlType::Real;
    else if (name == "FLOAT") {
        t.type = SqlType::Float;
        if (acceptSymbol("(")) {
            const Token n = take();
            if (n.kind != TokenKind::Integer) failAt(n);
            const int bits = std::atoi(n.text.c_str());
            if (bits < 1 || bits > 53 || n.text.size() > 2) failAt(n);
            if (bits <= 24) t.type = SqlType::Real;
            expectSymbol(")");
        }
    } else if (name == "MONEY")
        t.type = SqlType::Money;
    else if (name == "SMALLMONEY")
        t.type = SqlType::SmallMoney;
    else if (name == "DECIMAL" || name == "DEC" || name == "NUMERIC") {
        t.type = SqlType::Decimal;
        t.precision = 18;
        t.scale = 0;
        if (acceptSymbol("(")) {
            const Token p = take();
            if (p.kind != TokenKind::Integer || p.text.size() > 2) failAt(p);
            t.precision = std::atoi(p.text.c_str());
            if (acceptSymbol(",")) {
                const Token sc = take();
                if (sc.kind != TokenKind::Integer || sc.text.size() > 2) failAt(sc);
                t.scale = std::atoi(sc.text.c_str());
            }
            if (t.precision < 1 || t.precision > 38 || t.scale > t.precision) failAt(p);
            expectSymbol(")");
        }
    } else if (name == "DATETIME")
        t.type = SqlType::DateTime;
    else if (name == "SMALLDATETIME")
        t.type = SqlType::SmallDateTime;
    else if (name == "CHAR" || name == "CHARACTER")
        lengthArg(8000, SqlType::Char);
    else if (name == "VARCHAR")
        lengthArg(8000, SqlType::VarChar);
    else if (name == "NCHAR")
        lengthArg(4000, SqlType::NChar);
    else if (name == "NVARCHAR")
        lengthArg(4000, SqlType::NVarChar);
    else if (name == "SYSNAME") {
        t.type = SqlType::NVarChar;
        t.length = 128;
    } else if (name == "BINARY")
        lengthArg(8000, SqlType::Binary);
    else if (name == "VARBINARY")
        lengthArg(8000, SqlType::VarBinary);
    else if (name == "TEXT") {
        t.type = SqlType::Text;
        t.length = -1;
    } else if (name == "NTEXT") {
        t.type = SqlType::NText;
        t.length = -1;
    } else if (name == "IMAGE") {
        t.type = SqlType::Image;
        t.length = -1;
    } else if (name == "UNIQUEIDENTIFIER")
        t.type = SqlType::UniqueIdentifier;
    else if (inCast)
        throw errors::unknownType(nameToken.text);
    else
        throw errors::unknownColumnType(columnNumber, nameToken.text);
    if ((t.type == SqlType::Char || t.type == SqlType::NChar || t.type == SqlType::Binary) && t.length < 0)
        failAt(last_);
    return t;
}

// ---- statements ----

SelectStmt SqlParser::parseSelect() {
    expectWord("SELECT");
    SelectStmt s;
    if (acceptWord("DISTINCT"))
        s.distinct = true;
    else
        acceptWord("ALL");
    if (acceptWord("TOP")) {
        if (acceptSymbol("(")) {
            s.top = parseValue();
            expectSymbol(")");
        } else {
            const Token n = peek();
            if (n.kind != TokenKind::Integer && n.kind != TokenKind::Decimal && n.kind != TokenKind::Float) fail();
            s.top = parseLiteral(take());
        }
        if (peek().isWord("PERCENT")) throw errors::unsupported("TOP ... PERCENT");
        if (peek().isWord("WITH")) throw errors::unsupported("TOP ... WITH TIES");
    }
    do {
        SelectItem item;
        if (peek().isSymbol("*")) {
            take();
            item.star = true;
        } else if (atIdentifier() && peek(1).isSymbol(".") && peek(2).isSymbol("*")) {
            item.star = true;
            item.starQualifier = take().text;
            take();
            take();
        } else if (atIdentifier() && peek(1).isSymbol(".") && atIdentifier(2) && peek(3).isSymbol(".") &&
                   peek(4).isSymbol("*")) {
            take();
            take();
            item.star = true;
            item.starQualifier = take().text;
            take();
            take();
        } else if ((atIdentifier() || peek().kind == TokenKind::String) && peek(1).isSymbol("=")) {
            item.alias = take().text;  // alias = expression
            item.hasAlias = true;
            take();
            item.expr = parseValue();
        } else {
            item.expr = parseValue();
            if (acceptWord("AS")) {
                const Token a = peek();
                if (a.kind != TokenKind::String && !atIdentifier()) fail();
                item.alias = take().text;
                item.hasAlias = true;
            } else if (atAlias() || peek().kind == TokenKind::String) {
                item.alias = take().text;
                item.hasAlias = true;
            }
        }
        s.items.push_back(std::move(item));
    } while (acceptSymbol(","));
    if (peek().isWord("INTO")) throw errors::unsupported("SELECT ... INTO");
    if (acceptWord("FROM")) {
        s.from = parseTableRef(true);
        if (peek().isSymbol(",") || peek().isWord("JOIN") || peek().isWord("INNER") || peek().isWord("LEFT") ||
            peek().isWord("RIGHT") || peek().isWord("CROSS") || peek().isWord("FULL"))
            throw errors::unsupported("joins");
    }
    if (acceptWord("WHERE")) s.where = parseCondition();
    if (peek().isWord("GROUP") || peek().isWord("HAVING")) throw errors::unsupported("GROUP BY");
    if (acceptWord("ORDER")) {
        expectWord("BY");
        do {
            OrderItem o;
            o.expr = parseValue();
            if (acceptWord("DESC"))
                o.descending = true;
            else
                acceptWord("ASC");
            s.orderBy.push_back(std::move(o));
        } while (acceptSymbol(","));
    }
    if (peek().isWord("UNION") || peek().isWord("EXCEPT") || peek().isWord("INTERSECT"))
        throw errors::unsupported("UNION");
    return s;
}

InsertStmt SqlParser::parseInsert() {
    expectWord("INSERT");
    InsertStmt s;
    acceptWord("INTO");
    s.table = parseObjectName();
    parseTableHints();
    if (peek().isSymbol("(")) {
        take();
        s.hasColumnList = true;
        do {
            // Column names may be qualified; the last part names the column.
            std::string col = parseIdentifier();
            while (acceptSymbol(".")) col = parseIdentifier();
            s.columns.push_back(col);
        } while (acceptSymbol(","));
        expectSymbol(")");
    }
    if (acceptWord("VALUES")) {
        do {
            expectSymbol("(");
            std::vector<ExprPtr> row;
            do {
                if (peek().isWord("DEFAULT")) {
                    take();
                    auto e = std::make_unique<Expr>();
                    e->kind = ExprKind::Literal;
                    e->op = "DEFAULT";
                    e->text = "DEFAULT";
                    row.push_back(std::move(e));
                } else {
                    row.push_back(parseValue());
                }
            } while (acceptSymbol(","));
            expectSymbol(")");
            s.rows.push_back(std::move(row));
        } while (acceptSymbol(","));
    } else if (peek().isWord("SELECT")) {
        s.select = std::make_unique<SelectStmt>(parseSelect());
    } else if (acceptWord("DEFAULT")) {
        expectWord("VALUES");
        s.defaultValues = true;
    } else {
        fail();
    }
    return s;
}

UpdateStmt SqlParser::parseUpdate() {
    expectWord("UPDATE");
    UpdateStmt s;
    s.table = parseTableRef(false);
    expectWord("SET");
    do {
        Assignment a;
        a.column = parseIdentifier();
        while (acceptSymbol(".")) a.column = parseIdentifier();
        expectSymbol("=");
        a.value = parseValue();
        s.assignments.push_back(std::move(a));
    } while (acceptSymbol(","));
    if (peek().isWord("FROM")) throw errors::unsupported("UPDATE ... FROM");
    if (acceptWord("WHERE")) s.where = parseCondition();
    return s;
}

DeleteStmt SqlParser::parseDelete() {
    expectWord("DELETE");
    DeleteStmt s;
    acceptWord("FROM");
    s.table = parseTableRef(false);
    if (peek().isWord("FROM")) throw errors::unsupported("DELETE ... FROM ... FROM");
    if (acceptWord("WHERE")) s.where = parseCondition();
    return s;
}

CreateTableStmt SqlParser::parseCreateTable() {
    expectWord("CREATE");
    if (!peek().isWord("TABLE")) {
        if (atIdentifier() || peek().kind == TokenKind::Identifier) throw errors::unsupported("CREATE " + peek().text);
        fail();
    }
    take();
    CreateTableStmt s;
    s.name = parseObjectName();
    expectSymbol("(");
    do {
        std::string constraintName;
        if (acceptWord("CONSTRAINT")) constraintName = parseIdentifier();
        if (peek().isWord("PRIMARY") || peek().isWord("UNIQUE")) {
            TableConstraint c;
            c.name = constraintName;
            if (acceptWord("PRIMARY")) {
                expectWord("KEY");
                c.primary = true;
            } else {
                take();
            }
            if (!acceptWord("CLUSTERED")) acceptWord("NONCLUSTERED");
            c.columns = parseKeyColumns();
            parseIndexOptions();
            s.constraints.push_back(std::move(c));
            continue;
        }
        if (peek().isWord("FOREIGN") || peek().isWord("CHECK"))
            throw errors::unsupportedStatement(peek().isWord("CHECK") ? "CHECK" : "FOREIGN KEY");
        if (!constraintName.empty()) fail();
        ColumnDefinition col;
        col.name = parseIdentifier();
        col.type = parseType(static_cast<int>(s.columns.size()) + 1, col.name, false);
        while (true) {
            std::string name;
            if (acceptWord("CONSTRAINT")) name = parseIdentifier();
            if (acceptWord("NULL")) {
                col.nullable = true;
            } else if (peek().isWord("NOT") && peek(1).isWord("NULL")) {
                take();
                take();
                col.nullable = false;
            } else if (acceptWord("IDENTITY")) {
                col.identity = true;
                if (acceptSymbol("(")) {
                    auto number = [&]() -> int64_t {
                        bool negative = acceptSymbol("-");
                        const Token n = take();
                        if (n.kind != TokenKind::Integer || n.text.size() > 18) failAt(n);
                        int64_t v = 0;
                        std::from_chars(n.text.data(), n.text.data() + n.text.size(), v);
                        return negative ? -v : v;
                    };
                    col.identitySeed = number();
                    expectSymbol(",");
                    col.identityIncrement = number();
                    expectSymbol(")");
                    if (col.identityIncrement == 0) failAt(last_);
                }
            } else if (peek().isWord("NOT") && peek(1).isWord("FOR")) {
                take();
                take();
                expectWord("REPLICATION");
            } else if (acceptWord("ROWGUIDCOL")) {
            } else if (acceptWord("PRIMARY")) {
                expectWord("KEY");
                if (!acceptWord("CLUSTERED")) acceptWord("NONCLUSTERED");
                parseIndexOptions();
                col.primaryKey = true;
                col.constraintName = name;
            } else if (acceptWord("UNIQUE")) {
                if (!acceptWord("CLUSTERED")) acceptWord("NONCLUSTERED");
                parseIndexOptions();
                col.unique = true;
                if (!col.primaryKey) col.constraintName = name;
            } else if (acceptWord("DEFAULT")) {
                col.defaultValue = parseValue();
                col.defaultName = name;
            } else if (acceptWord("COLLATE")) {
                if (!isTextualType(col.type.type)) throw errors::collationOnNonText(col.name);
                col.type.collation = parseCollation();
            } else if (peek().isWord("REFERENCES") || peek().isWord("CHECK") || peek().isWord("FOREIGN")) {
                throw errors::unsupportedStatement(peek().isWord("CHECK") ? "CHECK" : "FOREIGN KEY");
            } else if (!name.empty()) {
                fail();
            } else {
                break;
            }
        }
        s.columns.push_back(std::move(col));
    } while (acceptSymbol(","));
    expectSymbol(")");
    parseFileGroup("ON");
    parseFileGroup("TEXTIMAGE_ON");
    return s;
}

DropTableStmt SqlParser::parseDropTable() {
    expectWord("DROP");
    if (!peek().isWord("TABLE")) {
        if (peek().kind == TokenKind::Identifier) throw errors::unsupported("DROP " + peek().text);
        fail();
    }
    take();
    DropTableStmt s;
    if (peek().isWord("IF") && peek(1).isWord("EXISTS")) {
        take();
        take();
        s.ifExists = true;
    }
    do {
        s.names.push_back(parseObjectName());
    } while (acceptSymbol(","));
    return s;
}

SetStmt SqlParser::parseSet() {
    expectWord("SET");
    SetStmt s;
    const Token first = peek();
    if (first.kind == TokenKind::Variable) {
        if (first.text.rfind("@@", 0) == 0) fail();
        throw errors::undeclaredVariable(first.text);
    }
    if (first.kind != TokenKind::Identifier) fail();
    const std::string name = upper(first.text);
    if (name == "TRANSACTION") {
        take();
        expectWord("ISOLATION");
        expectWord("LEVEL");
        s.options.push_back("TRANSACTION ISOLATION LEVEL");
        if (acceptWord("READ")) {
            if (!acceptWord("COMMITTED") && !acceptWord("UNCOMMITTED")) fail();
        } else if (acceptWord("REPEATABLE")) {
            expectWord("READ");
        } else if (!acceptWord("SNAPSHOT") && !acceptWord("SERIALIZABLE")) {
            fail();
        }
        return s;
    }
    if (name == "IDENTITY_INSERT") {
        take();
        s.options.push_back(name);
        s.table = parseObjectName();
        if (acceptWord("ON"))
            s.value = "ON";
        else if (acceptWord("OFF"))
            s.value = "OFF";
        else
            fail();
        return s;
    }
    if (kValueSetOptions.count(name)) {
        take();
        s.options.push_back(name);
        const Token v = peek();
        if (v.isSymbol("-")) {
            take();
            const Token n = take();
            if (n.kind != TokenKind::Integer) failAt(n);
            s.value = "-" + n.text;
        } else if (v.kind == TokenKind::Integer || v.kind == TokenKind::Identifier || v.kind == TokenKind::String ||
                   v.kind == TokenKind::QuotedIdentifier || v.kind == TokenKind::Binary) {
            s.value = take().text;
        } else {
            fail();
        }
        return s;
    }
    do {
        const Token opt = take();
        if (opt.kind != TokenKind::Identifier) failAt(opt);
        const std::string option = upper(opt.text);
        if (!kBooleanSetOptions.count(option)) throw errors::unknownSetOption(opt.text);
        if (option == "STATISTICS") {
            const Token kind = take();
            if (kind.kind != TokenKind::Identifier) failAt(kind);
        }
        s.options.push_back(option);
    } while (acceptSymbol(","));
    if (acceptWord("ON"))
        s.value = "ON";
    else if (acceptWord("OFF"))
        s.value = "OFF";
    else
        fail();
    // QUOTED_IDENTIFIER acts when the batch is read, so the rest of this batch already follows it.
    if (std::find(s.options.begin(), s.options.end(), "QUOTED_IDENTIFIER") != s.options.end())
        setQuotedIdentifier(s.value == "ON");
    if (std::find(s.options.begin(), s.options.end(), "ANSI_DEFAULTS") != s.options.end() && s.value == "ON")
        setQuotedIdentifier(true);
    return s;
}

// ---- expressions ----

ExprPtr SqlParser::parseCondition() {
    ExprPtr e = parseOr(true);
    if (!e->isPredicate()) {
        const Token& next = peek();
        throw errors::nonBooleanCondition(next.kind == TokenKind::End ? last_.text : next.text);
    }
    return limitDepth(std::move(e));
}

ExprPtr SqlParser::parseOr(bool condition) {
    ExprPtr left = parseAnd(condition);
    while (condition && peek().isWord("OR")) {
        take();
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Or;
        e->args.push_back(std::move(left));
        e->args.push_back(parseAnd(condition));
        if (!e->args[0]->isPredicate() || !e->args[1]->isPredicate()) fail();
        left = limitDepth(std::move(e));
    }
    return left;
}

ExprPtr SqlParser::parseAnd(bool condition) {
    ExprPtr left = parseNot(condition);
    while (condition && peek().isWord("AND")) {
        take();
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::And;
        e->args.push_back(std::move(left));
        e->args.push_back(parseNot(condition));
        if (!e->args[0]->isPredicate() || !e->args[1]->isPredicate()) fail();
        left = limitDepth(std::move(e));
    }
    return left;
}

ExprPtr SqlParser::parseNot(bool condition) {
    if (condition && peek().isWord("NOT")) {
        DepthGuard guard(depth_, peek().text);
        take();
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Not;
        e->args.push_back(parseNot(condition));
        if (!e->args[0]->isPredicate()) fail();
        return limitDepth(std::move(e));
    }
    return parsePredicate(condition);
}

ExprPtr SqlParser::parsePredicate(bool condition) {
    if (condition && peek().isWord("EXISTS") && peek(1).isSymbol("(")) {
        take();
        take();
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Exists;
        e->text = "EXISTS";
        e->subquery = std::make_shared<SelectStmt>(parseSelect());
        expectSymbol(")");
        return limitDepth(std::move(e));
    }
    ExprPtr left = parseAdditive(condition);
    if (!condition || left->isPredicate()) return left;
    const Token& t = peek();
    auto make = [&](ExprKind kind) {
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->args.push_back(std::move(left));
        return limitDepth(std::move(e));
    };
    if (t.kind == TokenKind::Symbol &&
        (t.text == "=" || t.text == "<>" || t.text == "!=" || t.text == "<" || t.text == ">" || t.text == "<=" ||
         t.text == ">=" || t.text == "!<" || t.text == "!>")) {
        std::string op = take().text;
        if (op == "!=") op = "<>";
        if (op == "!<") op = ">=";
        if (op == "!>") op = "<=";
        auto e = make(ExprKind::Compare);
        e->op = op;
        e->args.push_back(parseAdditive(false));
        return limitDepth(std::move(e));
    }
    if (t.isWord("IS")) {
        take();
        auto e = make(ExprKind::IsNull);
        e->negated = acceptWord("NOT");
        expectWord("NULL");
        return limitDepth(std::move(e));
    }
    bool negated = false;
    if (t.isWord("NOT") && (peek(1).isWord("LIKE") || peek(1).isWord("IN") || peek(1).isWord("BETWEEN"))) {
        take();
        negated = true;
    }
    if (acceptWord("LIKE")) {
        auto e = make(ExprKind::Like);
        e->negated = negated;
        e->args.push_back(parseAdditive(false));
        if (acceptWord("ESCAPE")) e->args.push_back(parseAdditive(false));
        return limitDepth(std::move(e));
    }
    if (acceptWord("IN")) {
        auto e = make(ExprKind::In);
        e->negated = negated;
        expectSymbol("(");
        if (peek().isWord("SELECT")) throw errors::unsupported("subqueries");
        do {
            e->args.push_back(parseValue());
        } while (acceptSymbol(","));
        expectSymbol(")");
        return limitDepth(std::move(e));
    }
    if (acceptWord("BETWEEN")) {
        auto e = make(ExprKind::Between);
        e->negated = negated;
        e->args.push_back(parseAdditive(false));
        expectWord("AND");
        e->args.push_back(parseAdditive(false));
        return limitDepth(std::move(e));
    }
    // Not a predicate: inside parentheses it may still be the left side of one; the caller decides.
    return left;
}

ExprPtr SqlParser::parseAdditive(bool condition) {
    ExprPtr left = parseMultiplicative(condition);
    while (peek().isSymbol("+") || peek().isSymbol("-") || peek().isSymbol("&") || peek().isSymbol("|") ||
           peek().isSymbol("^")) {
        if (left->isPredicate()) fail();
        const Token op = take();
        if (op.text == "&" || op.text == "|" || op.text == "^") throw errors::unsupported("bitwise operators");
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Arithmetic;
        e->op = op.text;
        e->text = op.text;
        e->args.push_back(std::move(left));
        e->args.push_back(parseMultiplicative(false));
        left = limitDepth(std::move(e));
    }
    return left;
}

ExprPtr SqlParser::parseMultiplicative(bool condition) {
    ExprPtr left = parseUnary(condition);
    while (peek().isSymbol("*") || peek().isSymbol("/") || peek().isSymbol("%")) {
        if (left->isPredicate()) fail();
        const Token op = take();
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Arithmetic;
        e->op = op.text;
        e->text = op.text;
        e->args.push_back(std::move(left));
        e->args.push_back(parseUnary(false));
        left = limitDepth(std::move(e));
    }
    return left;
}

ExprPtr SqlParser::parseUnary(bool condition) {
    if (peek().isSymbol("-") || peek().isSymbol("+") || peek().isSymbol("~")) {
        DepthGuard guard(depth_, peek().text);
        const Token op = take();
        if (op.text == "~") throw errors::unsupported("bitwise operators");
        ExprPtr operand = parseUnary(false);
        if (op.text == "+") return operand;
        // A minus in front of a number literal is part of the literal.
        if (operand->kind == ExprKind::Literal && operand->op.empty() && !isNull(operand->value)) {
            if (auto i = std::get_if<int64_t>(&operand->value)) {
                operand->value = -*i;
                operand->text = "-" + operand->text;
                return operand;
            }
            if (auto d = std::get_if<DecimalValue>(&operand->value)) {
                d->unscaled = -d->unscaled;
                operand->text = "-" + operand->text;
                return operand;
            }
            if (auto f = std::get_if<double>(&operand->value)) {
                *f = -*f;
                operand->text = "-" + operand->text;
                return operand;
            }
        }
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Negate;
        e->text = "-";
        e->args.push_back(std::move(operand));
        return limitDepth(std::move(e));
    }
    (void)condition;
    return parsePrimary(condition);
}

ExprPtr SqlParser::parseLiteral(const Token& t) {
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::Literal;
    e->text = t.kind == TokenKind::Binary ? "0x" + t.text : t.text;
    switch (t.kind) {
    case TokenKind::Integer: {
        // Integers that do not fit int are numeric, as in SQL Server.
        std::string digits = t.text;
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
        if (digits.size() <= 10) {
            const int64_t v = std::stoll(digits);
            if (v <= 2147483647) {
                e->value = v;
                e->type = makeType(SqlType::Int);
                return limitDepth(std::move(e));
            }
        }
        if (digits.size() > 38) failAt(t);
        __int128 v = 0;
        for (char c : digits) v = v * 10 + (c - '0');
        e->value = DecimalValue{v, 0};
        e->type = makeType(SqlType::Decimal, 0, static_cast<int>(digits.size()), 0);
        return limitDepth(std::move(e));
    }
    case TokenKind::Decimal: {
        const size_t point = t.text.find('.');
        std::string intPart = t.text.substr(0, point), frac = t.text.substr(point + 1);
        intPart.erase(0, std::min(intPart.find_first_not_of('0'), intPart.size()));
        if (intPart.size() + frac.size() > 38) failAt(t);
        __int128 v = 0;
        for (char c : intPart + frac) v = v * 10 + (c - '0');
        e->value = DecimalValue{v, static_cast<int>(frac.size())};
        e->type = makeType(SqlType::Decimal, 0, std::max<int>(1, static_cast<int>(intPart.size() + frac.size())),
                           static_cast<int>(frac.size()));
        if (e->type.precision < e->type.scale) e->type.precision = e->type.scale;
        return limitDepth(std::move(e));
    }
    case TokenKind::Float: {
        std::string text = t.text;
        if (text.back() == 'e' || text.back() == 'E' || text.back() == '+' || text.back() == '-') text += '0';
        const double d = std::strtod(text.c_str(), nullptr);
        if (!std::isfinite(d)) failAt(t);
        e->value = d;
        e->type = makeType(SqlType::Float);
        return limitDepth(std::move(e));
    }
    case TokenKind::String:
        if (t.national) {
            std::u16string u = utf8ToUtf16(t.text);
            e->type = makeType(SqlType::NVarChar, std::max<int>(1, static_cast<int>(u.size())));
            e->value = std::move(u);
        } else {
            e->type = makeType(SqlType::VarChar, std::max<int>(1, static_cast<int>(utf8Length(t.text))));
            e->value = t.text;
        }
        return limitDepth(std::move(e));
    case TokenKind::Binary: {
        // An odd number of digits gets a leading zero: 0x0 is one zero byte.
        std::string hex = t.text.size() % 2 ? "0" + t.text : t.text;
        std::vector<uint8_t> bytes;
        bytes.reserve(hex.size() / 2);
        for (size_t i = 0; i < hex.size(); i += 2)
            bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        e->type = makeType(SqlType::VarBinary, std::max<int>(1, static_cast<int>(bytes.size())));
        e->value = std::move(bytes);
        return limitDepth(std::move(e));
    }
    default: failAt(t);
    }
}

ExprPtr SqlParser::parsePrimary(bool condition) {
    const Token t = peek();
    DepthGuard guard(depth_, t.text);
    switch (t.kind) {
    case TokenKind::Integer:
    case TokenKind::Decimal:
    case TokenKind::Float:
    case TokenKind::String:
    case TokenKind::Binary: return parseLiteral(take());
    case TokenKind::Variable: {
        take();
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Variable;
        e->parts.push_back(upper(t.text));
        e->text = t.text;
        return limitDepth(std::move(e));
    }
    case TokenKind::Symbol:
        if (t.text == "(") {
            take();
            if (peek().isWord("SELECT")) throw errors::unsupported("subqueries");
            ExprPtr inner = condition ? parseOr(true) : parseAdditive(false);
            expectSymbol(")");
            return inner;
        }
        fail();
    case TokenKind::QuotedIdentifier:
    case TokenKind::Identifier: {
        if (t.kind == TokenKind::Identifier) {
            const std::string word = upper(t.text);
            if (word == "NULL") {
                take();
                auto e = std::make_unique<Expr>();
                e->kind = ExprKind::Literal;
                e->type = makeType(SqlType::Int);
                e->text = "NULL";
                return limitDepth(std::move(e));
            }
            if (peek(1).isSymbol("(")) return parseFunction(take());
            if (word == "CURRENT_TIMESTAMP" || word == "CURRENT_USER" || word == "SESSION_USER" ||
                word == "SYSTEM_USER" || word == "USER") {
                take();
                auto e = std::make_unique<Expr>();
                e->kind = ExprKind::Function;
                e->parts.push_back(word == "CURRENT_TIMESTAMP" ? "GETDATE" : word);
                e->text = t.text;
                return limitDepth(std::move(e));
            }
            if (isReservedKeyword(t.text)) fail();
        }
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Column;
        e->parts.push_back(take().text);
        while (peek().isSymbol(".") && (peek(1).kind == TokenKind::QuotedIdentifier ||
                                        (peek(1).kind == TokenKind::Identifier && !isReservedKeyword(peek(1).text)))) {
            take();
            e->parts.push_back(take().text);
            if (e->parts.size() > 4) fail();
        }
        for (size_t i = 0; i < e->parts.size(); ++i) {
            if (i) e->text += '.';
            e->text += e->parts[i];
        }
        return limitDepth(std::move(e));
    }
    case TokenKind::End: fail();
    }
    fail();
}

ExprPtr SqlParser::parseFunction(const Token& nameToken) {
    const std::string name = upper(nameToken.text);
    expectSymbol("(");
    auto e = std::make_unique<Expr>();
    e->parts.push_back(name);
    e->text = nameToken.text;
    if (name == "CAST") {
        e->kind = ExprKind::Cast;
        e->args.push_back(parseValue());
        expectWord("AS");
        e->castType = parseType(0, std::string(), true);
        expectSymbol(")");
        return limitDepth(std::move(e));
    }
    if (name == "CONVERT") {
        e->kind = ExprKind::Cast;
        e->castType = parseType(0, std::string(), true);
        expectSymbol(",");
        e->args.push_back(parseValue());
        if (acceptSymbol(",")) parseValue();  // style: only the default styles are produced
        expectSymbol(")");
        return limitDepth(std::move(e));
    }
    if (kAggregates.count(name)) {
        e->kind = ExprKind::Aggregate;
        if (peek().isSymbol("*")) {
            if (name != "COUNT" && name != "COUNT_BIG") fail();
            take();
            e->star = true;
        } else {
            if (acceptWord("DISTINCT")) throw errors::unsupported("aggregates over DISTINCT values");
            acceptWord("ALL");
            e->args.push_back(parseValue());
        }
        expectSymbol(")");
        return limitDepth(std::move(e));
    }
    if (isReservedKeyword(nameToken.text) && name != "COALESCE" && name != "NULLIF" && name != "LEFT" &&
        name != "RIGHT" && name != "USER")
        failAt(nameToken);
    e->kind = ExprKind::Function;
    if (!peek().isSymbol(")")) {
        do {
            e->args.push_back(parseValue());
        } while (acceptSymbol(","));
    }
    expectSymbol(")");
    return limitDepth(std::move(e));
}

}  // namespace standin
