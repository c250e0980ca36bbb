#include "tools/standin/sql/Evaluator.h"

#include "tools/standin/sql/Catalog.h"
#include "tools/standin/sql/CodePage.h"
#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/SqlError.h"
#include "tools/standin/sql/SqlValue.h"
#include "tools/standin/sql/Utf.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>
#include <optional>
#include <random>
#include <unordered_map>

namespace standin {

namespace {

__int128 pow10(int n) {
    __int128 r = 1;
    for (int i = 0; i < n; ++i) r *= 10;
    return r;
}

std::string operatorName(std::string_view op) {
    if (op == "=") return "equal to";
    if (op == "<>") return "not equal to";
    if (op == "<") return "less than";
    if (op == ">") return "greater than";
    if (op == "<=") return "less than or equal to";
    if (op == ">=") return "greater than or equal to";
    if (op == "+") return "add";
    if (op == "-") return "subtract";
    if (op == "*") return "multiply";
    if (op == "/") return "divide";
    if (op == "%") return "modulo";
    return std::string(op);
}

ColumnType nvarchar(int length) { return makeType(SqlType::NVarChar, length); }

DateTimeValue now(bool utc) {
    const auto tp = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(tp.time_since_epoch()).count();
    std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    if (utc)
        gmtime_r(&secs, &tm);
    else
        localtime_r(&secs, &tm);
    return makeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                        static_cast<int>(ms % 1000));
}

std::string textOf(const Value& v) {
    if (auto s = std::get_if<std::string>(&v)) return *s;
    if (auto u = std::get_if<std::u16string>(&v)) return utf16ToUtf8(*u);
    return {};
}

Value textLike(const std::string& s, const ColumnType& type) {
    if (isNCharType(type.type)) return utf8ToUtf16(s);
    return s;
}

ColumnType textResult(const ColumnType& t) {
    ColumnType r = makeType(SqlType::VarChar, 8000);
    if (isNCharType(t.type)) r = makeType(SqlType::NVarChar, t.length < 0 ? -1 : t.length);
    if (isCharType(t.type)) r = makeType(SqlType::VarChar, t.length < 0 ? -1 : t.length);
    r.collation = t.collation;
    r.coercible = t.coercible;
    return r;
}

int checkedInt(const Value& v) {
    if (isNull(v)) return 0;
    if (auto i = std::get_if<int64_t>(&v)) return static_cast<int>(std::clamp<int64_t>(*i, -1000000000, 1000000000));
    return 0;
}

}  // namespace

// ---- binding ----

const Collation* Evaluator::databaseCollation() const {
    const Database* db = catalog_.findDatabase(session_.database);
    return db ? db->collation : nullptr;
}

bool Evaluator::isConstant(const Expr& e) {
    if (e.kind == ExprKind::Column || e.kind == ExprKind::Aggregate) return false;
    return std::all_of(e.args.begin(), e.args.end(), [](const ExprPtr& a) { return isConstant(*a); });
}

bool Evaluator::containsAggregate(const Expr& e) {
    if (e.kind == ExprKind::Aggregate) return true;
    return std::any_of(e.args.begin(), e.args.end(), [](const ExprPtr& a) { return containsAggregate(*a); });
}

const Expr* Evaluator::firstColumn(const Expr& e) {
    if (e.kind == ExprKind::Column) return &e;
    if (e.kind == ExprKind::Aggregate) return nullptr;
    for (const auto& a : e.args)
        if (const Expr* c = firstColumn(*a)) return c;
    return nullptr;
}

void Evaluator::bind(Expr& e, const BindScope& scope) {
    switch (e.kind) {
    case ExprKind::Literal: bindLiteral(e); return;
    case ExprKind::Column: bindColumn(e, scope); return;
    case ExprKind::Variable: bindVariable(e); return;
    case ExprKind::Function: bindFunction(e, scope); return;
    case ExprKind::Aggregate: bindAggregate(e, scope); return;
    case ExprKind::Negate: bindNegate(e, scope); return;
    case ExprKind::Arithmetic:
        for (auto& a : e.args) bind(*a, scope);
        bindArithmetic(e);
        return;
    case ExprKind::Compare:
        for (auto& a : e.args) bind(*a, scope);
        bindComparison(e, operatorName(e.op));
        return;
    case ExprKind::And:
    case ExprKind::Or:
    case ExprKind::Not:
        for (auto& a : e.args) bind(*a, scope);
        e.resultType = makeType(SqlType::Bit);
        return;
    case ExprKind::Exists:  // the subquery is bound when it runs
        e.resultType = makeType(SqlType::Bit);
        return;
    case ExprKind::IsNull:
        bind(*e.args[0], scope);
        e.resultType = makeType(SqlType::Bit);
        return;
    case ExprKind::Like: bindLike(e, scope); return;
    case ExprKind::In:
    case ExprKind::Between: bindInOrBetween(e, scope); return;
    case ExprKind::Cast: bindCast(e, scope); return;
    }
}

void Evaluator::bindLiteral(Expr& e) const {
    e.resultType = e.type;
    e.nullable = isNull(e.value);
    if (isTextualType(e.type.type)) {
        // A literal takes the current database's collation; a char literal is held in its code
        // page from the start, as SQL Server compiles it.
        e.resultType.collation = databaseCollation();
        e.resultType.coercible = true;
        if (auto* text = std::get_if<std::string>(&e.value)) {
            const uint16_t codePage = orDefault(e.resultType.collation).codePage;
            *text = storeInCodePage(*text, codePage);
            e.resultType.length = std::max(1, static_cast<int>(codePageLength(*text, codePage)));
        }
    }
}

void Evaluator::bindColumn(Expr& e, const BindScope& scope) const {
    if (scope.valuesContext) throw errors::notPermittedInContext(e.parts.back());
    if (!scope.table) {
        if (e.parts.size() > 1) throw errors::unboundIdentifier(e.text);
        throw errors::invalidColumn(e.parts.back());
    }
    if (e.parts.size() > 1) {
        // The qualifier must name the table (by alias when it has one) as written.
        const std::string& qualifier = e.parts[e.parts.size() - 2];
        const std::string& expected = scope.alias.empty() ? scope.tableName : scope.alias;
        if (compareText(qualifier, expected) != 0) throw errors::unboundIdentifier(e.text);
    }
    const int index = scope.table->findColumn(e.parts.back());
    if (index < 0) throw errors::invalidColumn(e.parts.back());
    const Column& c = scope.table->columns()[index].column;
    e.columnIndex = index;
    e.resultType = c.type;
    e.nullable = c.nullable;
}

void Evaluator::bindAggregate(Expr& e, const BindScope& scope) {
    if (!scope.allowAggregates) throw errors::aggregateInWhere();
    BindScope inner = scope;
    inner.allowAggregates = false;
    const std::string& name = e.parts[0];
    if (e.star) {
        e.resultType = makeType(name == "COUNT_BIG" ? SqlType::BigInt : SqlType::Int);
        e.nullable = false;
    } else {
        bind(*e.args[0], inner);
        if (e.args[0]->isPredicate()) throw errors::syntaxNear(")");
        const ColumnType& t = e.args[0]->resultType;
        if (name == "COUNT" || name == "COUNT_BIG") {
            e.resultType = makeType(name == "COUNT_BIG" ? SqlType::BigInt : SqlType::Int);
            e.nullable = false;
        } else if (name == "MIN" || name == "MAX") {
            if (isLongType(t.type)) throw errors::incompatibleInOperator(typeName(t.type), typeName(t.type), name);
            e.resultType = t;
            e.nullable = true;
        } else {  // SUM, AVG
            if (!isNumericType(t.type) || t.type == SqlType::Bit)
                throw SqlError(8117, 16, 1,
                               std::string("Operand data type ") + typeName(t.type) + " is invalid for " +
                                   (name == "SUM" ? "sum" : "avg") + " operator.",
                               ErrorReach::Batch);
            if (isIntegerType(t.type))
                e.resultType = makeType(t.type == SqlType::BigInt ? SqlType::BigInt : SqlType::Int);
            else if (t.type == SqlType::Decimal)
                e.resultType = makeType(SqlType::Decimal, 0, 38, name == "AVG" ? std::max(6, t.scale) : t.scale);
            else if (t.type == SqlType::Money || t.type == SqlType::SmallMoney)
                e.resultType = makeType(SqlType::Money);
            else
                e.resultType = makeType(SqlType::Float);
            e.nullable = true;
        }
    }
    if (scope.aggregates) {
        e.aggregateIndex = static_cast<int>(scope.aggregates->size());
        scope.aggregates->push_back(&e);
    }
}

void Evaluator::bindNegate(Expr& e, const BindScope& scope) {
    bind(*e.args[0], scope);
    const ColumnType& t = e.args[0]->resultType;
    if (!isNumericType(t.type) && !isTextualType(t.type))
        throw SqlError(8117, 16, 1,
                       std::string("Operand data type ") + typeName(t.type) + " is invalid for minus operator.",
                       ErrorReach::Batch);
    e.resultType =
        isTextualType(t.type) ? makeType(SqlType::Float) : (t.type == SqlType::Bit ? makeType(SqlType::Int) : t);
    e.nullable = e.args[0]->nullable;
}

void Evaluator::bindLike(Expr& e, const BindScope& scope) {
    for (auto& a : e.args) bind(*a, scope);
    bool wide = false;
    for (auto& a : e.args) {
        const SqlType t = a->resultType.type;
        if (isBinaryType(t) && t != SqlType::Image) continue;
        if (t == SqlType::Image || t == SqlType::UniqueIdentifier)
            throw errors::incompatibleInOperator(typeName(e.args[0]->resultType.type),
                                                 typeName(e.args[1]->resultType.type), "like");
        wide = wide || isNCharType(t);
    }
    e.operandType = makeType(wide ? SqlType::NVarChar : SqlType::VarChar, -1);
    e.operandType.collation = commonType(e.args[0]->resultType, e.args[1]->resultType).collation;
    e.resultType = makeType(SqlType::Bit);
}

void Evaluator::bindInOrBetween(Expr& e, const BindScope& scope) {
    for (auto& a : e.args) bind(*a, scope);
    ColumnType common = e.args[0]->resultType;
    for (size_t i = 1; i < e.args.size(); ++i) common = commonType(common, e.args[i]->resultType);
    for (auto& a : e.args) {
        if (isLongType(a->resultType.type) || !implicitlyConvertible(a->resultType.type, common.type))
            throw errors::incompatibleInOperator(typeName(e.args[0]->resultType.type), typeName(a->resultType.type),
                                                 "equal to");
    }
    e.operandType = common;
    e.resultType = makeType(SqlType::Bit);
}

void Evaluator::bindCast(Expr& e, const BindScope& scope) {
    bind(*e.args[0], scope);
    if (e.args[0]->isPredicate()) throw errors::syntaxNear(e.text);
    e.resultType = e.castType;
    if (isTextualType(e.castType.type) && !e.castType.collation) {
        // CAST to a text type gives the database's collation, as a literal has it.
        e.resultType.collation = databaseCollation();
        e.resultType.coercible = true;
    }
    e.nullable = e.args[0]->nullable;
}

void Evaluator::bindComparison(Expr& e, std::string_view opName) {
    const ColumnType& a = e.args[0]->resultType;
    const ColumnType& b = e.args[1]->resultType;
    if (isLongType(a.type) || isLongType(b.type))
        throw errors::incompatibleInOperator(typeName(a.type), typeName(b.type), opName);
    const ColumnType common = commonType(a, b);
    if (!implicitlyConvertible(a.type, common.type) || !implicitlyConvertible(b.type, common.type))
        throw errors::incompatibleInOperator(typeName(a.type), typeName(b.type), opName);
    e.operandType = common;
    e.resultType = makeType(SqlType::Bit);
}

void Evaluator::bindArithmetic(Expr& e) {
    const ColumnType& a = e.args[0]->resultType;
    const ColumnType& b = e.args[1]->resultType;
    e.nullable = e.args[0]->nullable || e.args[1]->nullable;
    const std::string opName = operatorName(e.op);
    auto incompatible = [&] { return errors::incompatibleInOperator(typeName(a.type), typeName(b.type), opName); };
    if (isLongType(a.type) || isLongType(b.type) || a.type == SqlType::UniqueIdentifier ||
        b.type == SqlType::UniqueIdentifier)
        throw incompatible();
    if (isTextualType(a.type) && isTextualType(b.type)) {
        if (e.op != "+") throw incompatible();
        const bool wide = isNCharType(a.type) || isNCharType(b.type);
        const int len = (a.length < 0 || b.length < 0) ? -1 : std::min(wide ? 4000 : 8000, a.length + b.length);
        e.resultType = makeType(wide ? SqlType::NVarChar : SqlType::VarChar, len);
        e.operandType = e.resultType;
        return;
    }
    if (isBinaryType(a.type) && isBinaryType(b.type)) {
        if (e.op != "+") throw incompatible();
        e.resultType =
            makeType(SqlType::VarBinary, (a.length < 0 || b.length < 0) ? -1 : std::min(8000, a.length + b.length));
        e.operandType = e.resultType;
        return;
    }
    if (isDateType(a.type) || isDateType(b.type)) {
        if (e.op != "+" && e.op != "-") throw incompatible();
        if (isDateType(a.type) && isDateType(b.type) && e.op == "+") throw incompatible();
        e.resultType = makeType(SqlType::DateTime);
        e.operandType = makeType(SqlType::Float);
        return;
    }
    ColumnType common = commonType(a, b);
    if (isBinaryType(common.type) || isTextualType(common.type)) throw incompatible();
    if (e.op == "%" && (common.type == SqlType::Real || common.type == SqlType::Float)) throw incompatible();
    if (common.type == SqlType::Bit) common = makeType(SqlType::Int);
    if (common.type == SqlType::Decimal) {
        const ColumnType da =
            a.type == SqlType::Decimal ? a : makeType(SqlType::Decimal, 0, a.type == SqlType::BigInt ? 19 : 10, 0);
        const ColumnType db =
            b.type == SqlType::Decimal ? b : makeType(SqlType::Decimal, 0, b.type == SqlType::BigInt ? 19 : 10, 0);
        int scale = std::max(da.scale, db.scale);
        if (e.op == "*") scale = std::min(38, da.scale + db.scale);
        if (e.op == "/") scale = std::min(38, std::max(6, da.scale + db.precision + 1));
        common = makeType(SqlType::Decimal, 0, 38, std::min(scale, 38));
    }
    e.operandType = common;
    e.resultType = common;
}

Variable* Evaluator::findVariable(Session& session, std::string_view name) {
    for (auto& v : session.variables)
        if (compareText(v.name, name) == 0) return &v;
    return nullptr;
}

void Evaluator::bindVariable(Expr& e) {
    const std::string& name = e.parts[0];
    if (const Variable* v = findVariable(session_, name)) {
        e.resultType = v->type;
        e.nullable = true;
        return;
    }
    e.nullable = false;
    if (name == "@@IDENTITY") {
        e.resultType = makeType(SqlType::Decimal, 0, 38, 0);
        e.nullable = true;
    } else if (name == "@@ROWCOUNT" || name == "@@TRANCOUNT" || name == "@@ERROR" || name == "@@TEXTSIZE" ||
               name == "@@OPTIONS" || name == "@@LOCK_TIMEOUT" || name == "@@MICROSOFTVERSION" || name == "@@PROCID" ||
               name == "@@NESTLEVEL" || name == "@@MAX_CONNECTIONS")
        e.resultType = makeType(SqlType::Int);
    else if (name == "@@SPID" || name == "@@LANGID")
        e.resultType = makeType(SqlType::SmallInt);
    else if (name == "@@MAX_PRECISION" || name == "@@DATEFIRST")
        e.resultType = makeType(SqlType::TinyInt);
    else if (name == "@@VERSION")
        e.resultType = nvarchar(300);
    else if (name == "@@SERVERNAME" || name == "@@SERVICENAME" || name == "@@LANGUAGE")
        e.resultType = nvarchar(128);
    else
        throw errors::undeclaredVariable(e.text);
}

void Evaluator::bindFunction(Expr& e, const BindScope& scope) {
    for (auto& a : e.args) {
        bind(*a, scope);
        if (a->isPredicate()) throw errors::syntaxNear(e.text);
    }
    const std::string& name = e.parts[0];
    const size_t n = e.args.size();
    auto arity = [&](size_t lo, size_t hi) {
        if (n < lo || n > hi)
            throw SqlError(174, 15, 1,
                           "The " + std::string(e.text) + " function requires " + std::to_string(lo) + " argument(s).",
                           ErrorReach::Batch);
    };
    auto argType = [&](size_t i) -> const ColumnType& { return e.args[i]->resultType; };
    e.nullable = true;
    if (name == "GETDATE" || name == "GETUTCDATE" || name == "SYSDATETIME" || name == "CURRENT_TIMESTAMP") {
        arity(0, 0);
        e.resultType = makeType(SqlType::DateTime);
        e.nullable = false;
    } else if (name == "DB_NAME") {
        arity(0, 1);
        e.resultType = nvarchar(128);
    } else if (name == "DB_ID") {
        arity(0, 1);
        e.resultType = makeType(SqlType::SmallInt);
    } else if (name == "SCOPE_IDENTITY") {
        arity(0, 0);
        e.resultType = makeType(SqlType::Decimal, 0, 38, 0);
    } else if (name == "SERVERPROPERTY") {
        // sql_variant on a real server; the properties asked for are all text.
        arity(1, 1);
        e.resultType = nvarchar(128);
    } else if (name == "IDENT_CURRENT") {
        arity(1, 1);
        e.resultType = makeType(SqlType::Decimal, 0, 38, 0);
    } else if (name == "ISNULL") {
        arity(2, 2);
        e.resultType = argType(0);
        e.operandType = argType(0);
        e.nullable = e.args[0]->nullable && e.args[1]->nullable;
    } else if (name == "COALESCE") {
        if (n < 1) arity(2, 100);
        ColumnType common = argType(0);
        for (size_t i = 1; i < n; ++i) common = commonType(common, argType(i));
        e.resultType = common;
        e.operandType = common;
    } else if (name == "NULLIF") {
        arity(2, 2);
        e.resultType = argType(0);
        e.operandType = commonType(argType(0), argType(1));
    } else if (name == "LEN" || name == "DATALENGTH") {
        arity(1, 1);
        e.resultType = makeType(SqlType::Int);
    } else if (name == "UPPER" || name == "LOWER" || name == "LTRIM" || name == "RTRIM") {
        arity(1, 1);
        e.resultType = textResult(argType(0));
    } else if (name == "SUBSTRING") {
        arity(3, 3);
        e.resultType = textResult(argType(0));
    } else if (name == "LEFT" || name == "RIGHT") {
        arity(2, 2);
        e.resultType = textResult(argType(0));
    } else if (name == "ABS") {
        arity(1, 1);
        if (!isNumericType(argType(0).type))
            throw errors::incompatibleInOperator(typeName(argType(0).type), typeName(argType(0).type), "abs");
        e.resultType = argType(0);
    } else if (name == "SUSER_SNAME" || name == "SUSER_NAME" || name == "SYSTEM_USER" || name == "USER_NAME" ||
               name == "CURRENT_USER" || name == "SESSION_USER" || name == "USER" || name == "HOST_NAME" ||
               name == "APP_NAME") {
        arity(0, 1);
        e.resultType = nvarchar(128);
    } else if (name == "OBJECT_ID") {
        arity(1, 2);
        e.resultType = makeType(SqlType::Int);
    } else if (name == "OBJECTPROPERTY") {
        arity(2, 2);
        e.resultType = makeType(SqlType::Int);
    } else if (name == "DATABASEPROPERTYEX") {
        arity(2, 2);
        e.resultType = nvarchar(128);
    } else if (name == "NEWID") {
        arity(0, 0);
        e.resultType = makeType(SqlType::UniqueIdentifier);
        e.nullable = false;
    } else {
        throw errors::unknownFunction(e.text);
    }
}

// ---- catalog functions ----

namespace {
// The parts of an object name given as text: "[dbo].[t]", "lin2db..t", "t".
std::vector<std::string> nameParts(const std::string& text) {
    std::vector<std::string> parts(1);
    char closing = 0;
    for (char c : text) {
        if (closing) {
            if (c == closing)
                closing = 0;
            else
                parts.back() += c;
        } else if (c == '[') {
            closing = ']';
        } else if (c == '"') {
            closing = '"';
        } else if (c == '.') {
            parts.emplace_back();
        } else if (c != ' ') {
            parts.back() += c;
        }
    }
    return parts;
}
}  // namespace

Value Evaluator::objectIdOf(const Expr& e, const Row* row) const {
    const Value v = eval(*e.args[0], row);
    if (isNull(v)) return Value{};
    const std::vector<std::string> parts =
        nameParts(textOf(convertValue(v, e.args[0]->resultType, nvarchar(-1), Conversion::Implicit)));
    std::string type;
    if (e.args.size() > 1) {
        const Value t = eval(*e.args[1], row);
        if (!isNull(t)) type = textOf(convertValue(t, e.args[1]->resultType, nvarchar(-1), Conversion::Implicit));
    }
    if (parts.size() > 3) return Value{};
    if (parts.size() >= 2 && !parts[parts.size() - 2].empty() && compareText(parts[parts.size() - 2], "dbo") != 0)
        return Value{};
    const Database* db = catalog_.findDatabase(parts.size() == 3 ? parts[0] : session_.database);
    if (!db) return Value{};
    for (const CatalogObject& o : catalog_.objects(*db))
        if (compareText(o.name, parts.back()) == 0 && (type.empty() || compareText(o.type, type) == 0))
            return int64_t(o.id);
    return Value{};
}

Value Evaluator::objectProperty(const Expr& e, const Row* row) const {
    const Value id =
        convertValue(eval(*e.args[0], row), e.args[0]->resultType, makeType(SqlType::Int), Conversion::Implicit);
    const Value p = eval(*e.args[1], row);
    if (isNull(id) || isNull(p)) return Value{};
    const std::string property = textOf(convertValue(p, e.args[1]->resultType, nvarchar(-1), Conversion::Implicit));
    const Database* db = catalog_.findDatabase(session_.database);
    if (!db) return Value{};
    for (const CatalogObject& o : catalog_.objects(*db)) {
        if (o.id != std::get<int64_t>(id)) continue;
        auto is = [&](std::initializer_list<const char*> types) {
            for (const char* t : types)
                if (o.type == t) return int64_t(1);
            return int64_t(0);
        };
        if (compareText(property, "IsUserTable") == 0 || compareText(property, "IsTable") == 0) return is({"U"});
        if (compareText(property, "IsPrimaryKey") == 0) return is({"PK"});
        if (compareText(property, "IsUniqueCnst") == 0) return is({"UQ"});
        if (compareText(property, "IsDefaultCnst") == 0) return is({"D"});
        if (compareText(property, "IsConstraint") == 0) return is({"PK", "UQ", "D"});
        if (compareText(property, "IsProcedure") == 0 || compareText(property, "IsView") == 0 ||
            compareText(property, "IsTrigger") == 0 || compareText(property, "IsScalarFunction") == 0)
            return int64_t(0);
        return Value{};
    }
    return Value{};
}

// ---- evaluation ----

Truth Evaluator::test(const Expr& e, const Row* row) const {
    switch (e.kind) {
    case ExprKind::And: {
        const Truth a = test(*e.args[0], row);
        if (a == Truth::False) return Truth::False;
        const Truth b = test(*e.args[1], row);
        if (b == Truth::False) return Truth::False;
        return (a == Truth::True && b == Truth::True) ? Truth::True : Truth::Unknown;
    }
    case ExprKind::Or: {
        const Truth a = test(*e.args[0], row);
        if (a == Truth::True) return Truth::True;
        const Truth b = test(*e.args[1], row);
        if (b == Truth::True) return Truth::True;
        return (a == Truth::False && b == Truth::False) ? Truth::False : Truth::Unknown;
    }
    case ExprKind::Not: {
        const Truth a = test(*e.args[0], row);
        return a == Truth::Unknown ? a : (a == Truth::True ? Truth::False : Truth::True);
    }
    case ExprKind::Exists: {
        if (!existsRunner_) throw errors::unsupported("EXISTS here");
        return (existsRunner_(*e.subquery) != e.negated) ? Truth::True : Truth::False;
    }
    case ExprKind::IsNull: {
        const bool null = isNull(eval(*e.args[0], row));
        return (null != e.negated) ? Truth::True : Truth::False;
    }
    case ExprKind::Compare: {
        const Value a = eval(*e.args[0], row);
        if (isNull(a)) return Truth::Unknown;
        const Value b = eval(*e.args[1], row);
        if (isNull(b)) return Truth::Unknown;
        const int c = compareOperands(a, e.args[0]->resultType, b, e.args[1]->resultType, e.operandType);
        bool r = false;
        if (e.op == "=")
            r = c == 0;
        else if (e.op == "<>")
            r = c != 0;
        else if (e.op == "<")
            r = c < 0;
        else if (e.op == ">")
            r = c > 0;
        else if (e.op == "<=")
            r = c <= 0;
        else if (e.op == ">=")
            r = c >= 0;
        return r ? Truth::True : Truth::False;
    }
    case ExprKind::Like: {
        const Value v = eval(*e.args[0], row);
        const Value p = eval(*e.args[1], row);
        if (isNull(v) || isNull(p)) return Truth::Unknown;
        const ColumnType text = makeType(SqlType::NVarChar, -1);
        const auto vt = std::get<std::u16string>(convertValue(v, e.args[0]->resultType, text, Conversion::Implicit));
        const auto pt = std::get<std::u16string>(convertValue(p, e.args[1]->resultType, text, Conversion::Implicit));
        char32_t escape = 0;
        if (e.args.size() > 2) {
            const Value esc = eval(*e.args[2], row);
            if (isNull(esc)) return Truth::Unknown;
            const auto et =
                std::get<std::u16string>(convertValue(esc, e.args[2]->resultType, text, Conversion::Implicit));
            if (et.size() != 1)
                throw SqlError(
                    506, 16, 1,
                    "The invalid escape character \"" + utf16ToUtf8(et) + "\" was specified in a LIKE predicate.",
                    ErrorReach::Batch);
            escape = et[0];
        }
        const bool m = likeMatch(toCodePoints(vt), toCodePoints(pt), escape, orDefault(e.operandType.collation));
        return (m != e.negated) ? Truth::True : Truth::False;
    }
    case ExprKind::In: {
        const Value v = eval(*e.args[0], row);
        if (isNull(v)) return Truth::Unknown;
        bool sawNull = false;
        for (size_t i = 1; i < e.args.size(); ++i) {
            const Value x = eval(*e.args[i], row);
            if (isNull(x)) {
                sawNull = true;
                continue;
            }
            if (compareOperands(v, e.args[0]->resultType, x, e.args[i]->resultType, e.operandType) == 0)
                return e.negated ? Truth::False : Truth::True;
        }
        if (sawNull) return Truth::Unknown;
        return e.negated ? Truth::True : Truth::False;
    }
    case ExprKind::Between: {
        const Value v = eval(*e.args[0], row);
        const Value lo = eval(*e.args[1], row);
        const Value hi = eval(*e.args[2], row);
        if (isNull(v) || isNull(lo) || isNull(hi)) return Truth::Unknown;
        const bool in = compareOperands(v, e.args[0]->resultType, lo, e.args[1]->resultType, e.operandType) >= 0 &&
                        compareOperands(v, e.args[0]->resultType, hi, e.args[2]->resultType, e.operandType) <= 0;
        return (in != e.negated) ? Truth::True : Truth::False;
    }
    default: return Truth::Unknown;
    }
}

int Evaluator::compareOperands(const Value& a, const ColumnType& ta, const Value& b, const ColumnType& tb,
                               const ColumnType& operand) const {
    // Values already in the same representation compare directly: no copy for the usual
    // column = literal test over many rows.
    if (a.index() == b.index() && (isTextualType(operand.type) == (std::holds_alternative<std::string>(a) ||
                                                                   std::holds_alternative<std::u16string>(a))))
        return compareValues(a, b, operand);
    const Value ca = convertValue(a, ta, operand, Conversion::Implicit);
    const Value cb = convertValue(b, tb, operand, Conversion::Implicit);
    return compareValues(ca, cb, operand);
}

Value Evaluator::eval(const Expr& e, const Row* row) const {
    switch (e.kind) {
    case ExprKind::Literal: return e.value;
    case ExprKind::Column: return row ? row->values[e.columnIndex] : Value{};
    case ExprKind::Variable: return evalVariable(e);
    case ExprKind::Function: return evalFunction(e, row);
    case ExprKind::Aggregate:
        if (aggregateResults_ && e.aggregateIndex >= 0 &&
            e.aggregateIndex < static_cast<int>(aggregateResults_->size()))
            return (*aggregateResults_)[e.aggregateIndex];
        return Value{};
    case ExprKind::Negate: {
        Value v = eval(*e.args[0], row);
        if (isNull(v)) return v;
        v = convertValue(v, e.args[0]->resultType, e.resultType, Conversion::Implicit);
        if (auto i = std::get_if<int64_t>(&v)) {
            if (e.resultType.type == SqlType::Int && *i == std::numeric_limits<int32_t>::min())
                throw errors::arithmeticOverflow("int");
            if (*i == std::numeric_limits<int64_t>::min()) throw errors::arithmeticOverflow("bigint");
            if (e.resultType.type == SqlType::TinyInt && *i != 0) throw errors::arithmeticOverflow("tinyint");
            return -*i;
        }
        if (auto d = std::get_if<double>(&v)) return -*d;
        if (auto x = std::get_if<DecimalValue>(&v)) return DecimalValue{-x->unscaled, x->scale};
        return v;
    }
    case ExprKind::Arithmetic: return evalArithmetic(e, row);
    case ExprKind::Cast:
        return convertValue(eval(*e.args[0], row), e.args[0]->resultType, e.resultType, Conversion::Explicit);
    default: {
        // A predicate used as a value does not occur: the parser keeps them apart.
        return Value{};
    }
    }
}

Value Evaluator::evalVariable(const Expr& e) const {
    const std::string& name = e.parts[0];
    if (const Variable* v = findVariable(session_, name)) return v->value;
    if (name == "@@IDENTITY") {
        if (!session_.lastIdentity) return Value{};
        return DecimalValue{*session_.lastIdentity, 0};
    }
    if (name == "@@ROWCOUNT") return session_.rowCount;
    if (name == "@@TRANCOUNT") return int64_t(session_.transactionLevel);
    if (name == "@@ERROR") return int64_t(session_.lastError);
    if (name == "@@TEXTSIZE") return session_.textSize;
    if (name == "@@OPTIONS") return int64_t(session_.quotedIdentifier ? 5496 : 5240);
    if (name == "@@LOCK_TIMEOUT") return int64_t(-1);
    if (name == "@@MICROSOFTVERSION")
        return int64_t(ServerRelease::kMajor) << 24 | int64_t(ServerRelease::kMinor) << 16 | ServerRelease::kBuild;
    if (name == "@@PROCID" || name == "@@NESTLEVEL") return int64_t(0);
    if (name == "@@MAX_CONNECTIONS") return int64_t(32767);
    if (name == "@@SPID") return int64_t(session_.spid);
    if (name == "@@LANGID") return int64_t(0);
    if (name == "@@MAX_PRECISION") return int64_t(38);
    if (name == "@@DATEFIRST") return int64_t(7);
    if (name == "@@VERSION") return utf8ToUtf16(ServerRelease::kVersionText);
    if (name == "@@SERVERNAME") return utf8ToUtf16(session_.serverName);
    if (name == "@@SERVICENAME") return utf8ToUtf16("MSSQLSERVER");
    if (name == "@@LANGUAGE") return utf8ToUtf16("us_english");
    return Value{};
}

// The built-in functions, one handler each, found by name through a table.
struct Evaluator::Functions {
    using Handler = Value (*)(const Evaluator& ev, const Expr& e, const Row* row);
    static Handler find(const std::string& name);

    static Value arg(const Evaluator& ev, const Expr& e, const Row* row, size_t i) { return ev.eval(*e.args[i], row); }
    // Argument i converted to type, as the function reads it.
    static Value argAs(const Evaluator& ev, const Expr& e, const Row* row, size_t i, const ColumnType& type) {
        return convertValue(arg(ev, e, row, i), e.args[i]->resultType, type, Conversion::Implicit);
    }
    // Argument i as nvarchar(max) text, or null when it is NULL.
    static std::optional<std::u16string> wideText(const Evaluator& ev, const Expr& e, const Row* row, size_t i) {
        const Value v = arg(ev, e, row, i);
        if (isNull(v)) return std::nullopt;
        return std::get<std::u16string>(
            convertValue(v, e.args[i]->resultType, makeType(SqlType::NVarChar, -1), Conversion::Implicit));
    }
    // Argument i as an int, or null when it is NULL.
    static std::optional<int> intArg(const Evaluator& ev, const Expr& e, const Row* row, size_t i) {
        const Value v = arg(ev, e, row, i);
        if (isNull(v)) return std::nullopt;
        return checkedInt(convertValue(v, e.args[i]->resultType, makeType(SqlType::Int), Conversion::Implicit));
    }
    // Argument i as varchar(max) text, or null when it is NULL.
    static std::optional<std::string> narrowText(const Evaluator& ev, const Expr& e, const Row* row, size_t i) {
        const Value v = arg(ev, e, row, i);
        if (isNull(v)) return std::nullopt;
        return textOf(convertValue(v, e.args[i]->resultType, makeType(SqlType::VarChar, -1), Conversion::Implicit));
    }

    static Value localNow(const Evaluator&, const Expr&, const Row*) { return now(false); }
    static Value utcNow(const Evaluator&, const Expr&, const Row*) { return now(true); }

    static Value dbName(const Evaluator& ev, const Expr& e, const Row* row) {
        if (e.args.empty()) return utf8ToUtf16(ev.session_.database);
        const Value id = argAs(ev, e, row, 0, makeType(SqlType::Int));
        if (isNull(id)) return Value{};
        const int64_t n = std::get<int64_t>(id);
        if (n == 1) return utf8ToUtf16("master");
        if (n == 5) return utf8ToUtf16("lin2db");
        if (n == 6) return utf8ToUtf16("lin2world");
        return Value{};
    }

    static Value dbId(const Evaluator& ev, const Expr& e, const Row* row) {
        std::string db = ev.session_.database;
        if (!e.args.empty()) {
            const auto named = narrowText(ev, e, row, 0);
            if (!named) return Value{};
            db = *named;
        }
        if (compareText(db, "master") == 0) return int64_t(1);
        if (compareText(db, "lin2db") == 0) return int64_t(5);
        if (compareText(db, "lin2world") == 0) return int64_t(6);
        return Value{};
    }

    static Value objectId(const Evaluator& ev, const Expr& e, const Row* row) { return ev.objectIdOf(e, row); }
    static Value objectPropertyValue(const Evaluator& ev, const Expr& e, const Row* row) {
        return ev.objectProperty(e, row);
    }

    // Only the property Collation is known.
    static Value databaseProperty(const Evaluator& ev, const Expr& e, const Row* row) {
        const Value a = arg(ev, e, row, 0), b = arg(ev, e, row, 1);
        if (isNull(a) || isNull(b)) return Value{};
        const Database* db = ev.catalog_.findDatabase(
            textOf(convertValue(a, e.args[0]->resultType, nvarchar(-1), Conversion::Implicit)));
        const std::string property = textOf(convertValue(b, e.args[1]->resultType, nvarchar(-1), Conversion::Implicit));
        if (!db || compareText(property, "Collation") != 0) return Value{};
        return utf8ToUtf16(orDefault(db->collation).name);
    }

    static Value scopeIdentity(const Evaluator& ev, const Expr&, const Row*) {
        if (!ev.session_.scopeIdentity) return Value{};
        return DecimalValue{*ev.session_.scopeIdentity, 0};
    }

    static Value serverProperty(const Evaluator& ev, const Expr& e, const Row* row) {
        const auto property = narrowText(ev, e, row, 0);
        if (!property) return Value{};
        if (compareText(*property, "ProductVersion") == 0) return utf8ToUtf16(ServerRelease::kProductVersion);
        if (compareText(*property, "ProductMajorVersion") == 0)
            return utf8ToUtf16(std::to_string(ServerRelease::kMajor));
        if (compareText(*property, "ProductLevel") == 0) return utf8ToUtf16("RTM");
        if (compareText(*property, "Edition") == 0) return utf8ToUtf16("Developer Edition (64-bit)");
        if (compareText(*property, "ServerName") == 0 || compareText(*property, "MachineName") == 0)
            return utf8ToUtf16(ev.session_.serverName);
        return Value{};
    }

    // IDENT_CURRENT('[db.][schema.]table'): the last identity value given, or the seed before any.
    static Value identCurrent(const Evaluator& ev, const Expr& e, const Row* row) {
        const auto text = narrowText(ev, e, row, 0);
        if (!text) return Value{};
        std::vector<std::string> parts;
        size_t start = 0;
        while (true) {
            const size_t dot = text->find('.', start);
            parts.push_back(text->substr(start, dot - start));
            if (dot == std::string::npos) break;
            start = dot + 1;
        }
        const std::string db = parts.size() >= 3 ? parts[parts.size() - 3] : ev.session_.database;
        const Table* t = ev.catalog_.findTable(db, parts.back());
        if (!t || !t->identity()) return Value{};
        const IdentitySpec& id = *t->identity();
        return DecimalValue{id.used ? id.last : id.seed, 0};
    }

    static Value isNullFunction(const Evaluator& ev, const Expr& e, const Row* row) {
        const Value a = arg(ev, e, row, 0);
        if (!isNull(a)) return a;
        return argAs(ev, e, row, 1, e.resultType);
    }

    static Value coalesce(const Evaluator& ev, const Expr& e, const Row* row) {
        for (size_t i = 0; i < e.args.size(); ++i) {
            const Value v = arg(ev, e, row, i);
            if (!isNull(v)) return convertValue(v, e.args[i]->resultType, e.resultType, Conversion::Implicit);
        }
        return Value{};
    }

    static Value nullIf(const Evaluator& ev, const Expr& e, const Row* row) {
        const Value a = arg(ev, e, row, 0), b = arg(ev, e, row, 1);
        if (isNull(a) || isNull(b)) return a;
        return ev.compareOperands(a, e.args[0]->resultType, b, e.args[1]->resultType, e.operandType) == 0 ? Value{} : a;
    }

    // Characters without the trailing blanks.
    static Value len(const Evaluator& ev, const Expr& e, const Row* row) {
        auto t = wideText(ev, e, row, 0);
        if (!t) return Value{};
        while (!t->empty() && t->back() == u' ') t->pop_back();
        return int64_t(t->size());
    }

    // Bytes of the value as stored: text in its code page, N-types two per character.
    static Value dataLength(const Evaluator& ev, const Expr& e, const Row* row) {
        const Value v = arg(ev, e, row, 0);
        if (isNull(v)) return v;
        const ColumnType& type = e.args[0]->resultType;
        if (auto s = std::get_if<std::string>(&v))
            return int64_t(codePageLength(*s, orDefault(type.collation).codePage));
        if (auto u = std::get_if<std::u16string>(&v)) return int64_t(u->size() * 2);
        if (auto b = std::get_if<std::vector<uint8_t>>(&v)) return int64_t(b->size());
        return fixedLength(type);
    }
    static Value fixedLength(const ColumnType& type) {
        switch (type.type) {
        case SqlType::TinyInt:
        case SqlType::Bit: return int64_t(1);
        case SqlType::SmallInt: return int64_t(2);
        case SqlType::Int:
        case SqlType::Real:
        case SqlType::SmallMoney:
        case SqlType::SmallDateTime: return int64_t(4);
        case SqlType::UniqueIdentifier: return int64_t(16);
        case SqlType::Decimal:
            return int64_t(type.precision <= 9 ? 5 : type.precision <= 19 ? 9 : type.precision <= 28 ? 13 : 17);
        default: return int64_t(8);
        }
    }

    static Value upper(const Evaluator& ev, const Expr& e, const Row* row) {
        auto t = wideText(ev, e, row, 0);
        if (!t) return Value{};
        for (auto& c : *t) c = static_cast<char16_t>(upperCase(c));
        return textLike(utf16ToUtf8(*t), e.resultType);
    }
    static Value lower(const Evaluator& ev, const Expr& e, const Row* row) {
        auto t = wideText(ev, e, row, 0);
        if (!t) return Value{};
        for (auto& c : *t) c = static_cast<char16_t>(lowerCase(c));
        return textLike(utf16ToUtf8(*t), e.resultType);
    }
    static Value ltrim(const Evaluator& ev, const Expr& e, const Row* row) {
        auto t = wideText(ev, e, row, 0);
        if (!t) return Value{};
        t->erase(0, std::min(t->find_first_not_of(u' '), t->size()));
        return textLike(utf16ToUtf8(*t), e.resultType);
    }
    static Value rtrim(const Evaluator& ev, const Expr& e, const Row* row) {
        auto t = wideText(ev, e, row, 0);
        if (!t) return Value{};
        while (!t->empty() && t->back() == u' ') t->pop_back();
        return textLike(utf16ToUtf8(*t), e.resultType);
    }

    static Value substring(const Evaluator& ev, const Expr& e, const Row* row) {
        auto t = wideText(ev, e, row, 0);
        if (!t) return Value{};
        const auto start = intArg(ev, e, row, 1);
        if (!start) return Value{};
        const auto len = intArg(ev, e, row, 2);
        if (!len) return Value{};
        if (*len < 0)
            throw SqlError(537, 16, 3, "Invalid length parameter passed to the LEFT or SUBSTRING function.",
                           ErrorReach::Statement);
        const long long from = std::max<long long>(1, *start),
                        to = static_cast<long long>(*start) + *len;  // [from, to)
        if (to <= from || from > static_cast<long long>(t->size()))
            t->clear();
        else
            *t = t->substr(static_cast<size_t>(from - 1),
                           static_cast<size_t>(std::min<long long>(to, t->size() + 1) - from));
        return textLike(utf16ToUtf8(*t), e.resultType);
    }

    // LEFT and RIGHT: the first or last n characters.
    static Value edge(const Evaluator& ev, const Expr& e, const Row* row) {
        const std::string& name = e.parts[0];
        auto t = wideText(ev, e, row, 0);
        if (!t) return Value{};
        const auto n = intArg(ev, e, row, 1);
        if (!n) return Value{};
        if (*n < 0)
            throw SqlError(536, 16, 1, "Invalid length parameter passed to the " + name + " function.",
                           ErrorReach::Statement);
        const size_t k = std::min<size_t>(static_cast<size_t>(*n), t->size());
        *t = name == "LEFT" ? t->substr(0, k) : t->substr(t->size() - k);
        return textLike(utf16ToUtf8(*t), e.resultType);
    }

    static Value absolute(const Evaluator& ev, const Expr& e, const Row* row) {
        const Value v = arg(ev, e, row, 0);
        if (auto i = std::get_if<int64_t>(&v)) {
            if (*i == std::numeric_limits<int64_t>::min() ||
                (e.resultType.type == SqlType::Int && *i == std::numeric_limits<int32_t>::min()))
                throw errors::arithmeticOverflow(typeName(e.resultType.type));
            return *i < 0 ? -*i : *i;
        }
        if (auto d = std::get_if<double>(&v)) return std::fabs(*d);
        if (auto x = std::get_if<DecimalValue>(&v))
            return DecimalValue{x->unscaled < 0 ? -x->unscaled : x->unscaled, x->scale};
        return v;
    }

    static Value login(const Evaluator& ev, const Expr&, const Row*) { return utf8ToUtf16(ev.session_.login); }
    static Value databaseUser(const Evaluator&, const Expr&, const Row*) { return utf8ToUtf16("dbo"); }
    static Value emptyText(const Evaluator&, const Expr&, const Row*) { return std::u16string(); }

    // A random (version 4) GUID.
    static Value newId(const Evaluator&, const Expr&, const Row*) {
        static thread_local std::mt19937_64 rng{std::random_device{}()};
        Guid g{};
        for (auto& b : g) b = static_cast<uint8_t>(rng());
        g[7] = static_cast<uint8_t>((g[7] & 0x0F) | 0x40);
        g[8] = static_cast<uint8_t>((g[8] & 0x3F) | 0x80);
        return g;
    }
};

Evaluator::Functions::Handler Evaluator::Functions::find(const std::string& name) {
    static const std::unordered_map<std::string, Handler> handlers = {
        {"GETDATE", localNow},
        {"SYSDATETIME", localNow},
        {"CURRENT_TIMESTAMP", localNow},
        {"GETUTCDATE", utcNow},
        {"DB_NAME", dbName},
        {"DB_ID", dbId},
        {"OBJECT_ID", objectId},
        {"OBJECTPROPERTY", objectPropertyValue},
        {"DATABASEPROPERTYEX", databaseProperty},
        {"SCOPE_IDENTITY", scopeIdentity},
        {"SERVERPROPERTY", serverProperty},
        {"IDENT_CURRENT", identCurrent},
        {"ISNULL", isNullFunction},
        {"COALESCE", coalesce},
        {"NULLIF", nullIf},
        {"LEN", len},
        {"DATALENGTH", dataLength},
        {"UPPER", upper},
        {"LOWER", lower},
        {"LTRIM", ltrim},
        {"RTRIM", rtrim},
        {"SUBSTRING", substring},
        {"LEFT", edge},
        {"RIGHT", edge},
        {"ABS", absolute},
        {"SUSER_SNAME", login},
        {"SUSER_NAME", login},
        {"SYSTEM_USER", login},
        {"USER_NAME", databaseUser},
        {"CURRENT_USER", databaseUser},
        {"SESSION_USER", databaseUser},
        {"USER", databaseUser},
        {"HOST_NAME", emptyText},
        {"APP_NAME", emptyText},
        {"NEWID", newId},
    };
    const auto it = handlers.find(name);
    return it == handlers.end() ? nullptr : it->second;
}

// A function binding accepted but this evaluator does not know is NULL.
Value Evaluator::evalFunction(const Expr& e, const Row* row) const {
    const Functions::Handler handler = Functions::find(e.parts[0]);
    return handler ? handler(*this, e, row) : Value{};
}

Value Evaluator::evalArithmetic(const Expr& e, const Row* row) const {
    const Value a = eval(*e.args[0], row);
    const Value b = eval(*e.args[1], row);
    if (isNull(a) || isNull(b)) return Value{};
    const ColumnType& t = e.operandType;
    const std::string& op = e.op;
    if (isTextualType(t.type)) {
        const Value ca = convertValue(a, e.args[0]->resultType, t, Conversion::Implicit);
        const Value cb = convertValue(b, e.args[1]->resultType, t, Conversion::Implicit);
        if (auto s = std::get_if<std::string>(&ca)) return *s + std::get<std::string>(cb);
        return std::get<std::u16string>(ca) + std::get<std::u16string>(cb);
    }
    if (isBinaryType(t.type)) {
        auto x = std::get<std::vector<uint8_t>>(a);
        const auto& y = std::get<std::vector<uint8_t>>(b);
        x.insert(x.end(), y.begin(), y.end());
        return x;
    }
    if (isDateType(e.resultType.type)) {
        const double x = std::get<double>(convertValue(a, e.args[0]->resultType, t, Conversion::Explicit));
        const double y = std::get<double>(convertValue(b, e.args[1]->resultType, t, Conversion::Explicit));
        return convertValue(op == "+" ? x + y : x - y, t, e.resultType, Conversion::Explicit);
    }
    const Value ca = convertValue(a, e.args[0]->resultType, t, Conversion::Implicit);
    const Value cb = convertValue(b, e.args[1]->resultType, t, Conversion::Implicit);
    if (isIntegerType(t.type)) {
        const int64_t x = std::get<int64_t>(ca), y = std::get<int64_t>(cb);
        __int128 r = 0;
        if (op == "+")
            r = __int128(x) + y;
        else if (op == "-")
            r = __int128(x) - y;
        else if (op == "*")
            r = __int128(x) * y;
        else {
            if (y == 0) throw errors::divideByZero();
            r = op == "/" ? __int128(x) / y : __int128(x) % y;
        }
        const IntegerRange range = integerRange(t.type);
        if (r < range.lowest || r > range.highest) throw errors::arithmeticOverflow(typeName(t.type));
        return static_cast<int64_t>(r);
    }
    if (t.type == SqlType::Real || t.type == SqlType::Float) {
        const double x = std::get<double>(ca), y = std::get<double>(cb);
        double r = 0;
        if (op == "+")
            r = x + y;
        else if (op == "-")
            r = x - y;
        else if (op == "*")
            r = x * y;
        else {
            if (y == 0) throw errors::divideByZero();
            r = x / y;
        }
        if (!std::isfinite(r)) throw errors::arithmeticOverflow(typeName(t.type));
        return r;
    }
    // decimal and money: exact arithmetic on unscaled values
    const auto& x = std::get<DecimalValue>(ca);
    const auto& y = std::get<DecimalValue>(cb);
    const int scale = (t.type == SqlType::Decimal) ? t.scale : 4;
    const __int128 limit = pow10(38);
    auto align = [&](const DecimalValue& d, int to) -> __int128 {
        __int128 v = d.unscaled;
        for (int i = d.scale; i < to; ++i) {
            if (v > limit || v < -limit) throw errors::arithmeticOverflow(typeName(t.type));
            v *= 10;
        }
        for (int i = to; i < d.scale; ++i) v /= 10;
        return v;
    };
    __int128 r = 0;
    if (op == "+" || op == "-") {
        const __int128 ax = align(x, scale), ay = align(y, scale);
        r = op == "+" ? ax + ay : ax - ay;
    } else if (op == "*") {
        __int128 p = 0;
        if (__builtin_mul_overflow(x.unscaled, y.unscaled, &p)) throw errors::arithmeticOverflow(typeName(t.type));
        r = align(DecimalValue{p, x.scale + y.scale}, scale);
    } else {
        if (y.unscaled == 0) throw errors::divideByZero();
        // x / y at the result scale: (x * 10^(scale + y.scale - x.scale)) / y
        const __int128 num = align(x, scale + y.scale);
        r = op == "/" ? num / y.unscaled : align(x, scale) % align(y, scale);
    }
    if (r >= limit || r <= -limit) throw errors::arithmeticOverflow(typeName(t.type));
    if (t.type == SqlType::Money &&
        (r > std::numeric_limits<int64_t>::max() || r < std::numeric_limits<int64_t>::min()))
        throw errors::arithmeticOverflow("money");
    return DecimalValue{r, scale};
}

}  // namespace standin
