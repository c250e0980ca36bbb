#pragma once
// Binds expressions to a table (column positions, result types, SQL Server's type rules) and
// evaluates them against a row, with three-valued logic for conditions.
#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/SqlAst.h"
#include "tools/standin/sql/Table.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

class Catalog;

enum class Truth { False, True, Unknown };

struct BindScope {
    const Table* table = nullptr;  // the FROM table; null when there is none
    std::string tableName;         // the name it was given in the statement (last part)
    std::string alias;
    bool allowAggregates = false;              // select list of a query without GROUP BY
    bool valuesContext = false;                // INSERT ... VALUES: column names are not permitted
    std::vector<Expr*>* aggregates = nullptr;  // collects the aggregates found
};

class Evaluator {
public:
    Evaluator(Session& session, Catalog& catalog) : session_(session), catalog_(catalog) {}

    // Resolves names and types in place; throws SqlError (207, 4104, 402, 137, 195 ...).
    void bind(Expr& e, const BindScope& scope);
    // Whether the expression refers to no column (a constant for this statement).
    static bool isConstant(const Expr& e);
    static bool containsAggregate(const Expr& e);
    static const Expr* firstColumn(const Expr& e);
    // The batch variable of that name, or null.
    static Variable* findVariable(Session& session, std::string_view name);

    Value eval(const Expr& e, const Row* row) const;
    Truth test(const Expr& e, const Row* row) const;

    // Runs the subquery of EXISTS: whether it returns a row. The executor provides it.
    void setExistsRunner(std::function<bool(SelectStmt&)> runner) { existsRunner_ = std::move(runner); }

    // Results of the aggregates of the current query, indexed by Expr::aggregateIndex.
    void setAggregateResults(const std::vector<Value>* results) { aggregateResults_ = results; }

private:
    void bindLiteral(Expr& e) const;
    void bindColumn(Expr& e, const BindScope& scope) const;
    void bindAggregate(Expr& e, const BindScope& scope);
    void bindNegate(Expr& e, const BindScope& scope);
    void bindLike(Expr& e, const BindScope& scope);
    void bindInOrBetween(Expr& e, const BindScope& scope);
    void bindCast(Expr& e, const BindScope& scope);
    void bindFunction(Expr& e, const BindScope& scope);
    void bindVariable(Expr& e);
    void bindArithmetic(Expr& e);
    void bindComparison(Expr& e, std::string_view opName);
    Value evalFunction(const Expr& e, const Row* row) const;  // through Functions
    struct Functions;                                         // the built-in functions, by name
    Value evalVariable(const Expr& e) const;
    Value objectIdOf(const Expr& e, const Row* row) const;      // OBJECT_ID(name [, type])
    Value objectProperty(const Expr& e, const Row* row) const;  // OBJECTPROPERTY(id, property)
    Value evalArithmetic(const Expr& e, const Row* row) const;
    int compareOperands(const Value& a, const ColumnType& ta, const Value& b, const ColumnType& tb,
                        const ColumnType& operand) const;

    const Collation* databaseCollation() const;  // the current database's, for literals

    Session& session_;
    Catalog& catalog_;
    const std::vector<Value>* aggregateResults_ = nullptr;
    std::function<bool(SelectStmt&)> existsRunner_;
};

}  // namespace standin
