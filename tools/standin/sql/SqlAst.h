#pragma once
// The parsed form of a batch: statements and expressions of the T-SQL subset. The executor binds
// expressions in place (column positions, result types) before it runs a statement.
#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/Engine.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace standin {

enum class ExprKind {
    Literal,     // value + type
    Column,      // parts: [qualifier...,] column
    Variable,    // @@NAME or @name
    Function,    // name (upper case), args
    Aggregate,   // COUNT/MIN/MAX/SUM/AVG; star for COUNT(*)
    Negate,      // -x
    Arithmetic,  // op: + - * / %
    Compare,     // op: = <> < > <= >= (!= !< !> normalised)
    And,
    Or,
    Not,
    IsNull,   // negated: IS NOT NULL
    Like,     // args: value, pattern[, escape]; negated: NOT LIKE
    In,       // args: value, list...; negated: NOT IN
    Between,  // args: value, low, high; negated: NOT BETWEEN
    Cast,     // args: value; castType
    Exists,   // subquery; negated: NOT EXISTS
};

struct SelectStmt;

struct Expr {
    ExprKind kind = ExprKind::Literal;
    std::string text;  // source text near the expression, for error messages
    // Literal
    Value value;
    ColumnType type;
    // Column / Variable / Function / Aggregate
    std::vector<std::string> parts;  // column name parts; function name in parts[0]
    bool star = false;               // COUNT(*)
    std::string op;
    bool negated = false;
    std::vector<std::unique_ptr<Expr>> args;
    ColumnType castType;
    std::shared_ptr<SelectStmt> subquery;  // EXISTS (SELECT ...), run when tested
    int depth = 1;                         // height of the tree below, bounded by the parser

    // Filled by binding.
    int columnIndex = -1;
    int aggregateIndex = -1;
    ColumnType resultType;
    bool nullable = true;
    ColumnType operandType;  // the type comparisons and arithmetic work in

    bool isPredicate() const {
        switch (kind) {
        case ExprKind::Compare:
        case ExprKind::And:
        case ExprKind::Or:
        case ExprKind::Not:
        case ExprKind::IsNull:
        case ExprKind::Like:
        case ExprKind::In:
        case ExprKind::Between:
        case ExprKind::Exists: return true;
        default: return false;
        }
    }
};
using ExprPtr = std::unique_ptr<Expr>;

struct ObjectName {
    std::vector<std::string> parts;  // up to database.schema.object; empty schema for db..object
    std::string text;                // as written, for "Invalid object name"
};

struct TableRef {
    ObjectName name;
    std::string alias;
};

struct SelectItem {
    ExprPtr expr;  // null for * and t.*
    std::string alias;
    bool hasAlias = false;
    bool star = false;
    std::string starQualifier;
};

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

struct SelectStmt {
    ExprPtr top;
    bool distinct = false;
    std::vector<SelectItem> items;
    std::optional<TableRef> from;
    ExprPtr where;
    std::vector<OrderItem> orderBy;
};

struct InsertStmt {
    ObjectName table;
    std::vector<std::string> columns;
    bool hasColumnList = false;
    std::vector<std::vector<ExprPtr>> rows;
    std::unique_ptr<SelectStmt> select;  // INSERT ... SELECT
    bool defaultValues = false;
};

struct Assignment {
    std::string column;
    ExprPtr value;
};

struct UpdateStmt {
    TableRef table;
    std::vector<Assignment> assignments;
    ExprPtr where;
};

struct DeleteStmt {
    TableRef table;
    ExprPtr where;
};

struct ColumnDefinition {
    std::string name;
    ColumnType type;
    std::optional<bool> nullable;
    bool identity = false;
    int64_t identitySeed = 1;
    int64_t identityIncrement = 1;
    bool primaryKey = false;
    bool unique = false;
    std::string constraintName;
    ExprPtr defaultValue;
    std::string defaultName;  // CONSTRAINT name DEFAULT ...
};

struct TableConstraint {
    std::string name;
    bool primary = false;
    std::vector<std::string> columns;
};

struct DefaultConstraint {  // ALTER TABLE ... ADD CONSTRAINT name DEFAULT (value) FOR column
    std::string name;
    ExprPtr value;
    std::string column;
};

struct CreateTableStmt {
    ObjectName name;
    std::vector<ColumnDefinition> columns;
    std::vector<TableConstraint> constraints;
};

struct AlterTableStmt {  // ADD of keys and defaults; nothing else changes a table here
    ObjectName table;
    std::vector<TableConstraint> keys;
    std::vector<DefaultConstraint> defaults;
};

struct CreateIndexStmt {  // a unique index is kept as a key; others are checked only
    std::string name;
    ObjectName table;
    bool unique = false;
    std::vector<std::string> columns;
};

struct CreateDatabaseStmt {
    std::string name;
    const Collation* collation = nullptr;
};

struct Statement;

struct IfStmt {  // IF condition statement [ELSE statement]
    ExprPtr condition;
    std::vector<Statement> then;
    std::vector<Statement> otherwise;
};

struct BlockStmt {  // BEGIN ... END
    std::vector<Statement> statements;
};

struct PrintStmt {
    ExprPtr value;
};

struct UnsupportedStmt {  // DROP PROCEDURE ...: compiles, and fails with 40517 if it runs
    std::string keyword;
};

struct DropTableStmt {
    std::vector<ObjectName> names;
    bool ifExists = false;
};

struct UseStmt {
    std::string database;
};

struct SetStmt {
    std::vector<std::string> options;  // upper case
    std::string value;                 // ON, OFF, a number or a word
    ObjectName table;                  // SET IDENTITY_INSERT table ON|OFF
};

struct TransactionStmt {
    enum class Kind { Begin, Commit, Rollback } kind = Kind::Begin;
};

// SET @variable = expression
struct AssignStmt {
    std::string variable;
    ExprPtr value;
};

// WAITFOR DELAY 'hh:mm[:ss[.mmm]]'
struct WaitForStmt {
    std::chrono::milliseconds delay{0};
};

struct ExecStmt {
    std::string procedure;
};

// One parameter of a parameterised request, as its declaration list names it: "@id int OUTPUT".
struct ParameterDeclaration {
    std::string name;
    ColumnType type;
    bool output = false;
};

struct Statement {
    std::variant<SelectStmt, InsertStmt, UpdateStmt, DeleteStmt, CreateTableStmt, DropTableStmt, UseStmt, SetStmt,
                 TransactionStmt, ExecStmt, AlterTableStmt, CreateIndexStmt, CreateDatabaseStmt, IfStmt, BlockStmt,
                 PrintStmt, UnsupportedStmt, AssignStmt, WaitForStmt>
        body;
    int line = 1;  // line of the batch the statement starts on
};

}  // namespace standin
