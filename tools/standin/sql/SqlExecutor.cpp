#include "tools/standin/sql/SqlExecutor.h"

#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/SqlError.h"
#include "tools/standin/sql/SqlValue.h"
#include "tools/standin/sql/Utf.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <set>

namespace standin {

namespace {

bool sameName(std::string_view a, std::string_view b) { return compareText(a, b) == 0; }

// A generated constraint name in SQL Server's pattern: PK__table__0123456789ABCDEF.
std::string generatedConstraintName(const char* prefix, const std::string& table, const std::string& column) {
    uint64_t h = 1469598103934665603ull;
    for (char c : table + "." + column + prefix) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    static const char* hex = "0123456789ABCDEF";
    std::string suffix;
    for (int i = 0; i < 16; ++i) suffix += hex[(h >> (60 - 4 * i)) & 15];
    return std::string(prefix) + "__" + table.substr(0, 8) + "__" + suffix;
}

struct Accumulator {
    int64_t count = 0;
    Value best;
    __int128 exactSum = 0;
    double floatSum = 0;
};

// Folds one row's argument value into an aggregate's running state; NULLs were skipped before.
void accumulateValue(Accumulator& st, const Expr& a, const Value& v) {
    const std::string& fn = a.parts[0];
    if (fn == "MIN" || fn == "MAX") {
        if (isNull(st.best)) {
            st.best = v;
            return;
        }
        const int c = compareValues(v, st.best, a.resultType);
        if ((fn == "MIN" && c < 0) || (fn == "MAX" && c > 0)) st.best = v;
    } else if (fn == "SUM" || fn == "AVG") {
        const Value cv = convertValue(v, a.args[0]->resultType, a.resultType, Conversion::Implicit);
        if (auto i64 = std::get_if<int64_t>(&cv))
            st.exactSum += *i64;
        else if (auto d = std::get_if<double>(&cv))
            st.floatSum += *d;
        else if (auto x = std::get_if<DecimalValue>(&cv))
            st.exactSum += x->unscaled;
    }
}

// Adds one row to every aggregate's running state.
void accumulateRow(const Evaluator& evaluator, const std::vector<Expr*>& aggregates, std::vector<Accumulator>& acc,
                   const Row* row) {
    for (size_t i = 0; i < aggregates.size(); ++i) {
        const Expr& a = *aggregates[i];
        if (a.star) {
            ++acc[i].count;
            continue;
        }
        const Value v = evaluator.eval(*a.args[0], row);
        if (isNull(v)) continue;
        ++acc[i].count;
        accumulateValue(acc[i], a, v);
    }
}

// SUM or AVG of at least one value, in the aggregate's result type.
Value sumOrAverage(const Expr& a, const Accumulator& st) {
    const bool avg = a.parts[0] == "AVG";
    switch (a.resultType.type) {
    case SqlType::Int:
    case SqlType::BigInt: {
        const __int128 v = avg ? st.exactSum / st.count : st.exactSum;
        const __int128 lim = a.resultType.type == SqlType::Int ? std::numeric_limits<int32_t>::max()
                                                               : std::numeric_limits<int64_t>::max();
        if (v > lim || v < -lim - 1) throw errors::arithmeticOverflow(typeName(a.resultType.type));
        return static_cast<int64_t>(v);
    }
    case SqlType::Float: return avg ? st.floatSum / st.count : st.floatSum;
    default: {
        const int scale = a.resultType.type == SqlType::Decimal ? a.resultType.scale : 4;
        __int128 v = st.exactSum;
        if (avg) {
            const int from = a.args[0]->resultType.type == SqlType::Decimal ? a.args[0]->resultType.scale : 4;
            for (int k = from; k < scale; ++k) v *= 10;
            v /= st.count;
        }
        return DecimalValue{v, scale};
    }
    }
}

// An aggregate's value once every row is in: NULL for SUM, AVG, MIN and MAX of no values.
Value aggregateResult(const Expr& a, const Accumulator& st) {
    const std::string& fn = a.parts[0];
    if (fn == "COUNT" || fn == "COUNT_BIG") {
        if (fn == "COUNT" && st.count > std::numeric_limits<int32_t>::max()) throw errors::arithmeticOverflow("int");
        return st.count;
    }
    if (fn == "MIN" || fn == "MAX") return st.best;
    if (st.count > 0) return sumOrAverage(a, st);
    return Value{};
}

// ORDER BY key order: NULLs first, then by the key's type.
int compareSortKeys(const Value& x, const Value& y, const ColumnType& type) {
    if (isNull(x) || isNull(y)) return isNull(x) == isNull(y) ? 0 : (isNull(x) ? -1 : 1);
    return compareValues(x, y, type);
}

}  // namespace

struct SqlExecutor::SelectPlan {
    SelectStmt* statement = nullptr;
    Table* table = nullptr;
    BindScope scope;
    std::vector<ExprPtr> owned;  // column references made for * items
    std::vector<Expr*> outputs;
    std::vector<Column> columns;
    std::vector<Expr*> orderKeys;
    std::vector<bool> descending;
    std::vector<Expr*> aggregates;
    bool aggregated = false;
    bool passThrough = false;  // SELECT * in table order: rows go out as stored
};

struct SqlExecutor::InsertPlan {
    Table* table = nullptr;
    std::vector<int> targets;            // table column of each supplied value
    std::unique_ptr<SelectPlan> source;  // INSERT ... SELECT
};

struct SqlExecutor::UpdatePlan {
    Table* table = nullptr;
    std::vector<int> targets;
    BindScope scope;
};

SqlExecutor::SqlExecutor(Catalog& catalog, Session& session, ResultSink& sink)
    : catalog_(catalog), session_(session), sink_(sink), evaluator_(session, catalog) {
    evaluator_.setExistsRunner([this](SelectStmt& s) {
        auto plan = prepareSelect(s);
        bool found = false;
        runSelect(
            *plan, [](const std::vector<Column>&) {}, [&](const std::vector<Value>&) { found = true; });
        return found;
    });
}

// ---- names ----

std::string SqlExecutor::databaseOf(const ObjectName& name) const {
    if (name.parts.size() >= 3) return name.parts[name.parts.size() - 3];
    return session_.database;
}

Table* SqlExecutor::findTable(const ObjectName& name) {
    if (name.parts.size() > 3) return nullptr;  // linked servers do not exist here
    const std::string schema = name.parts.size() >= 2 ? name.parts[name.parts.size() - 2] : std::string();
    if (Table* view = systemView(databaseOf(name), schema, name.parts.back())) return view;
    if (!schema.empty() && !sameName(schema, "dbo")) return nullptr;
    return catalog_.findTable(databaseOf(name), name.parts.back());
}

Table& SqlExecutor::requireTable(const ObjectName& name) {
    Table* t = findTable(name);
    if (!t) throw errors::invalidObject(name.text);
    return *t;
}

Table& SqlExecutor::requireWritableTable(const ObjectName& name) {
    Table& t = requireTable(name);
    for (const auto& view : views_)
        if (view.get() == &t) throw errors::adHocCatalogUpdate();
    return t;
}

// The catalog views the schema scripts' guards read, as a snapshot of the catalog: sysobjects,
// sys.objects, sys.tables, sys.indexes, sys.databases and sysdatabases.
Table* SqlExecutor::systemView(const std::string& database, const std::string& schema, const std::string& name) {
    const bool sys = sameName(schema, "sys");
    const bool dbo = schema.empty() || sameName(schema, "dbo");
    const Database* db = catalog_.findDatabase(database);
    if (!db) return nullptr;
    const ColumnType sysname = makeType(SqlType::NVarChar, 128);
    ColumnType type2 = makeType(SqlType::Char, 2);
    type2.collation = db->collation;
    const ColumnType intType = makeType(SqlType::Int);
    auto make = [&](std::vector<TableColumn> columns, std::vector<std::vector<Value>> rows) {
        auto t = std::make_unique<Table>(db->name, name, std::move(columns));
        t->insertRows(std::move(rows));
        views_.push_back(std::move(t));
        return views_.back().get();
    };
    auto padded = [](const std::string& type) { return type.size() == 1 ? type + " " : type; };
    const std::vector<CatalogObject> objects = catalog_.objects(*db);
    if ((dbo || sys) && sameName(name, "sysobjects")) {
        std::vector<std::vector<Value>> rows;
        for (const auto& o : objects)
            rows.push_back(
                {utf8ToUtf16(o.name), int64_t(o.id), padded(o.type), int64_t(1), int64_t(o.parent), padded(o.type)});
        return make({makeColumn("name", sysname, false), makeColumn("id", intType, false),
                     makeColumn("xtype", type2, false), makeColumn("uid", makeType(SqlType::SmallInt), false),
                     makeColumn("parent_obj", intType, false), makeColumn("type", type2, false)},
                    std::move(rows));
    }
    if (sys && (sameName(name, "objects") || sameName(name, "tables"))) {
        const bool tablesOnly = sameName(name, "tables");
        std::vector<std::vector<Value>> rows;
        for (const auto& o : objects) {
            if (tablesOnly && o.type != "U") continue;
            const char* desc = o.type == "U"    ? "USER_TABLE"
                               : o.type == "PK" ? "PRIMARY_KEY_CONSTRAINT"
                               : o.type == "UQ" ? "UNIQUE_CONSTRAINT"
                                                : "DEFAULT_CONSTRAINT";
            rows.push_back({utf8ToUtf16(o.name), int64_t(o.id), int64_t(1), int64_t(o.parent), padded(o.type),
                            utf8ToUtf16(desc), int64_t(0)});
        }
        return make({makeColumn("name", sysname, false), makeColumn("object_id", intType, false),
                     makeColumn("schema_id", intType, false), makeColumn("parent_object_id", intType, false),
                     makeColumn("type", type2, false), makeColumn("type_desc", makeType(SqlType::NVarChar, 60), false),
                     makeColumn("is_ms_shipped", makeType(SqlType::Bit), false)},
                    std::move(rows));
    }
    if (sys && sameName(name, "indexes")) {
        std::vector<std::vector<Value>> rows;
        for (const auto& [tableName, table] : db->tables) {
            int64_t indexId = 1;
            for (const auto& index : table->indexes())
                rows.push_back({int64_t(Catalog::objectId(db->name, table->name())), utf8ToUtf16(index.name), indexId++,
                                int64_t(index.primary ? 1 : 2), int64_t(1), int64_t(index.primary ? 1 : 0)});
        }
        return make({makeColumn("object_id", intType, false), makeColumn("name", sysname, true),
                     makeColumn("index_id", intType, false), makeColumn("type", makeType(SqlType::TinyInt), false),
                     makeColumn("is_unique", makeType(SqlType::Bit), false),
                     makeColumn("is_primary_key", makeType(SqlType::Bit), false)},
                    std::move(rows));
    }
    if ((sys && sameName(name, "databases")) || (dbo && sameName(name, "sysdatabases"))) {
        std::vector<std::vector<Value>> rows;
        int64_t id = 1;
        for (const auto& [dbName, other] : catalog_.databases())
            rows.push_back({utf8ToUtf16(other.name), id++, utf8ToUtf16(orDefault(other.collation).name)});
        return make({makeColumn("name", sysname, false), makeColumn(sys ? "database_id" : "dbid", intType, false),
                     makeColumn("collation_name", sysname, true)},
                    std::move(rows));
    }
    return nullptr;
}

Value SqlExecutor::assign(const Value& v, const ColumnType& from, const Table& table, const Column& column) {
    try {
        return convertValue(v, from, column.type, Conversion::Assignment);
    } catch (const SqlError& e) {
        if (e.message().number != errors::truncation().message().number) throw;
        // SQL Server 2019 at its default compatibility level (150) names where and what was cut.
        const Value cut = convertValue(v, from, column.type, Conversion::Explicit);
        throw errors::truncatedInColumn(table.fullName(), column.name, valueText(cut, column.type));
    }
}

SqlExecutor::Result SqlExecutor::counted(int64_t count) {
    session_.rowCount = count;
    return Result{count, true};
}

// ---- compile and dispatch ----

void SqlExecutor::compile(Statement& statement) {
    try {
        if (auto* s = std::get_if<SelectStmt>(&statement.body)) {
            if (!s->from || findTable(s->from->name)) prepareSelect(*s);
        } else if (auto* s = std::get_if<InsertStmt>(&statement.body)) {
            if (findTable(s->table) && (!s->select || !s->select->from || findTable(s->select->from->name)))
                prepareInsert(*s);
        } else if (auto* s = std::get_if<UpdateStmt>(&statement.body)) {
            if (findTable(s->table.name)) prepareUpdate(*s);
        } else if (auto* s = std::get_if<AssignStmt>(&statement.body)) {
            bindAssignment(*s);
        } else if (auto* s = std::get_if<DeleteStmt>(&statement.body)) {
            if (Table* t = findTable(s->table.name)) {
                if (s->where) {
                    BindScope scope;
                    scope.table = t;
                    scope.tableName = s->table.name.parts.back();
                    evaluator_.bind(*s->where, scope);
                }
            }
        }
    } catch (const SqlError& e) {
        // Only errors SQL Server finds while compiling stop the batch up front.
        const int n = e.message().number;
        if (n == 207 || n == 213 || n == 109 || n == 110 || n == 10709 || n == 264 || n == 4104 || n == 128 ||
            n == 137 || n == 195 || n == 174 || n == 402 || n == 8120 || n == 147 || n == 108 || n == 8117)
            throw;
    }
}

bool SqlExecutor::test(Expr& condition) {
    BindScope scope;
    scope.valuesContext = true;
    evaluator_.bind(condition, scope);
    return evaluator_.test(condition, nullptr) == Truth::True;
}

SqlExecutor::Result SqlExecutor::run(Statement& statement, UndoLog& undo) {
    return std::visit(
        [&](auto& s) -> Result {
            using T = std::decay_t<decltype(s)>;
            if constexpr (std::is_same_v<T, SelectStmt>)
                return runSelectStatement(s);
            else if constexpr (std::is_same_v<T, InsertStmt>)
                return runInsert(s, undo);
            else if constexpr (std::is_same_v<T, UpdateStmt>)
                return runUpdate(s, undo);
            else if constexpr (std::is_same_v<T, DeleteStmt>)
                return runDelete(s, undo);
            else if constexpr (std::is_same_v<T, CreateTableStmt>)
                return runCreateTable(s, undo);
            else if constexpr (std::is_same_v<T, DropTableStmt>)
                return runDropTable(s, undo);
            else if constexpr (std::is_same_v<T, UseStmt>)
                return runUse(s);
            else if constexpr (std::is_same_v<T, SetStmt>)
                return runSet(s);
            else if constexpr (std::is_same_v<T, ExecStmt>)
                throw errors::unknownProcedure(s.procedure);
            else if constexpr (std::is_same_v<T, AlterTableStmt>)
                return runAlterTable(s, undo);
            else if constexpr (std::is_same_v<T, CreateIndexStmt>)
                return runCreateIndex(s, undo);
            else if constexpr (std::is_same_v<T, CreateDatabaseStmt>)
                return runCreateDatabase(s);
            else if constexpr (std::is_same_v<T, PrintStmt>)
                return runPrint(s);
            else if constexpr (std::is_same_v<T, UnsupportedStmt>)
                throw errors::unsupportedStatement(s.keyword);
            else if constexpr (std::is_same_v<T, AssignStmt>)
                return runAssign(s);
            else
                throw errors::unsupported("this statement here");
        },
        statement.body);
}

// ---- row access ----

template <typename F>
void SqlExecutor::forEachCandidate(Table& table, const Expr* where, F&& f) {
    // Look for "column = constant" on a column with a key index of its own, among ANDed terms.
    std::function<const Expr*(const Expr*)> findKeyTerm = [&](const Expr* e) -> const Expr* {
        if (!e) return nullptr;
        if (e->kind == ExprKind::And) {
            if (const Expr* l = findKeyTerm(e->args[0].get())) return l;
            return findKeyTerm(e->args[1].get());
        }
        if (e->kind != ExprKind::Compare || e->op != "=") return nullptr;
        for (int side = 0; side < 2; ++side) {
            const Expr& col = *e->args[side];
            const Expr& other = *e->args[1 - side];
            if (col.kind != ExprKind::Column || other.kind != ExprKind::Literal || isNull(other.value)) continue;
            if (!table.singleColumnIndex(col.columnIndex)) continue;
            const SqlType ct = col.resultType.type, lt = other.resultType.type;
            // Only when the comparison happens in the column's own type does the index order apply.
            const bool textual = isTextualType(ct) && isTextualType(lt) && !isLongType(ct);
            const bool integral = isIntegerType(ct) && isIntegerType(lt) && typePrecedence(lt) <= typePrecedence(ct);
            if (textual || integral || ct == lt) return e;
        }
        return nullptr;
    };
    if (const Expr* term = findKeyTerm(where)) {
        const bool left = term->args[0]->kind == ExprKind::Column;
        const Expr& col = *term->args[left ? 0 : 1];
        const Expr& lit = *term->args[left ? 1 : 0];
        const KeyIndex* index = table.singleColumnIndex(col.columnIndex);
        std::optional<Value> key;
        try {
            key = convertValue(lit.value, lit.resultType, col.resultType, Conversion::Implicit);
        } catch (const SqlError&) {
            key.reset();  // the scan below reports the error the way SQL Server would
        }
        if (key) {
            auto it = index->entries.find(std::vector<Value>{*key});
            if (it != index->entries.end()) f(it->second);
            return;
        }
    }
    table.forEachRow([&](RowHandle h) { return f(h); });
}

std::vector<RowHandle> SqlExecutor::matchingRows(Table& table, const Expr* where) {
    std::vector<RowHandle> rows;
    forEachCandidate(table, where, [&](RowHandle h) {
        if (!where || evaluator_.test(*where, &*h) == Truth::True) rows.push_back(h);
        return true;
    });
    return rows;
}

// ---- SELECT ----

std::unique_ptr<SqlExecutor::SelectPlan> SqlExecutor::prepareSelect(SelectStmt& s) {
    auto plan = std::make_unique<SelectPlan>();
    plan->statement = &s;
    if (s.from) {
        plan->table = &requireTable(s.from->name);
        plan->scope.table = plan->table;
        plan->scope.tableName = s.from->name.parts.back();
        plan->scope.alias = s.from->alias;
    }
    plan->aggregated = std::any_of(s.items.begin(), s.items.end(),
                                   [](const SelectItem& i) { return i.expr && Evaluator::containsAggregate(*i.expr); });
    BindScope itemScope = plan->scope;
    itemScope.allowAggregates = plan->aggregated;
    itemScope.aggregates = &plan->aggregates;

    bool identityOrder = plan->table != nullptr;
    int expectedColumn = 0;
    for (auto& item : s.items) {
        if (item.star) {
            if (!plan->table) throw errors::noTableToSelectFrom();
            if (!item.starQualifier.empty()) {
                const std::string& expected = s.from->alias.empty() ? plan->scope.tableName : s.from->alias;
                if (!sameName(item.starQualifier, expected)) throw errors::unboundIdentifier(item.starQualifier);
            }
            if (plan->aggregated)
                throw errors::notInAggregate(plan->table->schemaQualifiedName() + "." +
                                             plan->table->columns()[0].column.name);
            for (size_t c = 0; c < plan->table->columns().size(); ++c) {
                auto e = std::make_unique<Expr>();
                e->kind = ExprKind::Column;
                e->columnIndex = static_cast<int>(c);
                e->resultType = plan->table->columns()[c].column.type;
                e->nullable = plan->table->columns()[c].column.nullable;
                e->parts.push_back(plan->table->columns()[c].column.name);
                plan->outputs.push_back(e.get());
                plan->columns.push_back(plan->table->columns()[c].column);
                if (static_cast<int>(c) != expectedColumn++) identityOrder = false;
                plan->owned.push_back(std::move(e));
            }
            continue;
        }
        evaluator_.bind(*item.expr, itemScope);
        if (plan->aggregated) {
            // Outside an aggregate a column has no single value for the one result row.
            if (const Expr* c = Evaluator::firstColumn(*item.expr))
                throw errors::notInAggregate(plan->table->schemaQualifiedName() + "." +
                                             plan->table->columns()[c->columnIndex].column.name);
        }
        Column col;
        if (item.hasAlias)
            col.name = item.alias;
        else if (item.expr->kind == ExprKind::Column)
            col.name = item.expr->parts.back();
        col.type = item.expr->resultType;
        col.nullable = item.expr->nullable;
        if (item.expr->kind == ExprKind::Column && plan->table) {
            col.identity = plan->table->columns()[item.expr->columnIndex].column.identity;
        }
        if (col.type.type == SqlType::VarChar && col.type.length == 0) col.type.length = 1;
        plan->outputs.push_back(item.expr.get());
        plan->columns.push_back(col);
        identityOrder = false;
    }
    plan->passThrough =
        identityOrder && plan->table && expectedColumn == static_cast<int>(plan->table->columns().size());

    if (s.where) {
        BindScope whereScope = plan->scope;
        evaluator_.bind(*s.where, whereScope);
    }
    if (s.top) {
        evaluator_.bind(*s.top, BindScope{});
        if (!Evaluator::isConstant(*s.top)) throw errors::syntaxNear(s.top->text);
    }
    for (auto& o : s.orderBy) {
        Expr* key = nullptr;
        if (o.expr->kind == ExprKind::Literal && std::holds_alternative<int64_t>(o.expr->value)) {
            const int64_t pos = std::get<int64_t>(o.expr->value);
            if (pos < 1 || pos > static_cast<int64_t>(plan->outputs.size())) throw errors::orderByPosition(pos);
            key = plan->outputs[pos - 1];
        } else if (o.expr->kind == ExprKind::Column && o.expr->parts.size() == 1) {
            for (size_t i = 0; i < s.items.size() && !key; ++i) {
                // s.items and outputs differ in length only with * items; aliases live on plain items.
                if (s.items[i].hasAlias && sameName(s.items[i].alias, o.expr->parts[0])) key = s.items[i].expr.get();
            }
        }
        if (!key) {
            BindScope orderScope = plan->scope;
            orderScope.allowAggregates = plan->aggregated;
            orderScope.aggregates = &plan->aggregates;
            evaluator_.bind(*o.expr, orderScope);
            if (s.distinct) {
                const bool listed = std::any_of(plan->outputs.begin(), plan->outputs.end(), [&](const Expr* out) {
                    return out->kind == ExprKind::Column && o.expr->kind == ExprKind::Column &&
                           out->columnIndex == o.expr->columnIndex;
                });
                if (!listed) throw errors::orderByItemsMustAppear();
            }
            key = o.expr.get();
        }
        plan->orderKeys.push_back(key);
        plan->descending.push_back(o.descending);
    }
    return plan;
}

// Sends a SELECT's rows on: evaluates the output list, drops repeats under DISTINCT and stops at
// the TOP / ROWCOUNT limit.
class SqlExecutor::RowEmitter {
public:
    RowEmitter(const SelectPlan& plan, const Evaluator& evaluator, int64_t limit,
               const std::function<void(const std::vector<Value>&)>& onRow)
        : plan_(plan), evaluator_(evaluator), limit_(limit), onRow_(onRow), out_(plan.outputs.size()) {
        if (plan.statement->distinct) {
            KeyLess less;
            for (const auto& c : plan.columns) less.types.push_back(c.type);
            seen_.emplace(less);
        }
    }

    // Emits the row made from row (null: a SELECT without a table); false once the limit is reached.
    bool emit(const Row* row) {
        if (count_ >= limit_) return false;
        if (plan_.passThrough && row && !seen_) {
            onRow_(row->values);
        } else {
            for (size_t i = 0; i < plan_.outputs.size(); ++i) {
                const Expr& e = *plan_.outputs[i];
                // Plain columns are copied into the reused row, keeping its strings' buffers.
                if (e.kind == ExprKind::Column && row)
                    out_[i] = row->values[e.columnIndex];
                else
                    out_[i] = evaluator_.eval(e, row);
            }
            if (seen_ && !seen_->insert(out_).second) return true;
            onRow_(out_);
        }
        ++count_;
        return count_ < limit_;
    }

    int64_t count() const { return count_; }

private:
    const SelectPlan& plan_;
    const Evaluator& evaluator_;
    const int64_t limit_;
    const std::function<void(const std::vector<Value>&)>& onRow_;
    std::vector<Value> out_;
    int64_t count_ = 0;
    std::optional<std::set<std::vector<Value>, KeyLess>> seen_;
};

int64_t SqlExecutor::selectLimit(const SelectStmt& s) const {
    int64_t limit = std::numeric_limits<int64_t>::max();
    if (s.top) {
        const Value v = convertValue(evaluator_.eval(*s.top, nullptr), s.top->resultType, makeType(SqlType::BigInt),
                                     Conversion::Implicit);
        if (isNull(v)) throw errors::negativeTop();
        if (std::get<int64_t>(v) < 0) throw errors::negativeTop();
        limit = std::get<int64_t>(v);
    }
    if (session_.rowCountLimit > 0) limit = std::min(limit, session_.rowCountLimit);
    return limit;
}

int64_t SqlExecutor::runSelect(SelectPlan& plan, const std::function<void(const std::vector<Column>&)>& onColumns,
                               const std::function<void(const std::vector<Value>&)>& onRow) {
    const int64_t limit = selectLimit(*plan.statement);
    onColumns(plan.columns);
    RowEmitter emitter(plan, evaluator_, limit, onRow);
    if (plan.aggregated)
        emitAggregated(plan, emitter);
    else if (!plan.table)
        emitWithoutTable(plan, emitter);
    else if (plan.orderKeys.empty())
        emitInScanOrder(plan, emitter);
    else
        emitSorted(plan, limit, emitter);
    return emitter.count();
}

// One row: the aggregates over the rows WHERE keeps, which the output list then reads.
void SqlExecutor::emitAggregated(SelectPlan& plan, RowEmitter& emitter) {
    const SelectStmt& s = *plan.statement;
    std::vector<Accumulator> acc(plan.aggregates.size());
    if (plan.table) {
        forEachCandidate(*plan.table, s.where.get(), [&](RowHandle h) {
            if (!s.where || evaluator_.test(*s.where, &*h) == Truth::True)
                accumulateRow(evaluator_, plan.aggregates, acc, &*h);
            return true;
        });
    } else if (!s.where || evaluator_.test(*s.where, nullptr) == Truth::True) {
        accumulateRow(evaluator_, plan.aggregates, acc, nullptr);
    }
    std::vector<Value> results(plan.aggregates.size());
    for (size_t i = 0; i < plan.aggregates.size(); ++i) results[i] = aggregateResult(*plan.aggregates[i], acc[i]);
    evaluator_.setAggregateResults(&results);
    try {
        emitter.emit(nullptr);
    } catch (...) {
        evaluator_.setAggregateResults(nullptr);
        throw;
    }
    evaluator_.setAggregateResults(nullptr);
}

void SqlExecutor::emitWithoutTable(SelectPlan& plan, RowEmitter& emitter) {
    const SelectStmt& s = *plan.statement;
    if (!s.where || evaluator_.test(*s.where, nullptr) == Truth::True) emitter.emit(nullptr);
}

void SqlExecutor::emitInScanOrder(SelectPlan& plan, RowEmitter& emitter) {
    const SelectStmt& s = *plan.statement;
    forEachCandidate(*plan.table, s.where.get(), [&](RowHandle h) {
        if (s.where && evaluator_.test(*s.where, &*h) != Truth::True) return true;
        return emitter.emit(&*h);
    });
}

// ORDER BY: sort positions of the rows by their keys; rows themselves are not copied.
void SqlExecutor::emitSorted(SelectPlan& plan, int64_t limit, RowEmitter& emitter) {
    const SelectStmt& s = *plan.statement;
    const size_t width = plan.orderKeys.size();
    std::vector<Value> keys;
    std::vector<RowHandle> handles;
    forEachCandidate(*plan.table, s.where.get(), [&](RowHandle h) {
        if (s.where && evaluator_.test(*s.where, &*h) != Truth::True) return true;
        for (const Expr* k : plan.orderKeys) keys.push_back(evaluator_.eval(*k, &*h));
        handles.push_back(h);
        return true;
    });
    std::vector<size_t> order(handles.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto less = [&](size_t a, size_t b) {
        for (size_t i = 0; i < width; ++i) {
            const int c = compareSortKeys(keys[a * width + i], keys[b * width + i], plan.orderKeys[i]->resultType);
            if (c != 0) return plan.descending[i] ? c > 0 : c < 0;
        }
        return a < b;  // ties keep the scan order
    };
    if (limit < static_cast<int64_t>(order.size()) && !s.distinct) {
        std::partial_sort(order.begin(), order.begin() + limit, order.end(), less);
        order.resize(static_cast<size_t>(limit));
    } else {
        std::sort(order.begin(), order.end(), less);
    }
    for (size_t i : order)
        if (!emitter.emit(&*handles[i])) break;
}

SqlExecutor::Result SqlExecutor::runSelectStatement(SelectStmt& s) {
    auto plan = prepareSelect(s);
    const int64_t count = runSelect(
        *plan, [&](const std::vector<Column>& cols) { sink_.columns(cols); },
        [&](const std::vector<Value>& row) { sink_.row(row); });
    return counted(count);
}

// ---- INSERT ----

SqlExecutor::InsertPlan SqlExecutor::prepareInsert(InsertStmt& s) {
    InsertPlan plan;
    plan.table = &requireWritableTable(s.table);
    Table& t = *plan.table;
    const bool identityInsert = t.identity() && sameName(session_.identityInsertTable, t.fullName());
    if (s.hasColumnList) {
        for (const auto& name : s.columns) {
            const int c = t.findColumn(name);
            if (c < 0) throw errors::invalidColumn(name);
            if (std::find(plan.targets.begin(), plan.targets.end(), c) != plan.targets.end())
                throw errors::columnListedTwice(t.columns()[c].column.name);
            plan.targets.push_back(c);
        }
    } else {
        for (size_t c = 0; c < t.columns().size(); ++c)
            if (!t.columns()[c].column.identity) plan.targets.push_back(static_cast<int>(c));
    }
    if (s.select) {
        plan.source = prepareSelect(*s.select);
        if (plan.source->columns.size() != plan.targets.size()) {
            if (!s.hasColumnList) throw errors::columnCountMismatch();
            if (plan.source->columns.size() < plan.targets.size()) throw errors::moreInsertColumnsThanValues();
            throw errors::fewerInsertColumnsThanValues();
        }
    } else if (!s.defaultValues) {
        const size_t width = s.rows.front().size();
        for (const auto& row : s.rows)
            if (row.size() != width) throw errors::rowValueCountsDiffer();
        if (width != plan.targets.size()) {
            if (!s.hasColumnList) throw errors::columnCountMismatch();
            if (width < plan.targets.size()) throw errors::moreInsertColumnsThanValues();
            throw errors::fewerInsertColumnsThanValues();
        }
        BindScope scope;
        scope.valuesContext = true;
        for (auto& row : s.rows)
            for (auto& v : row)
                if (v->op != "DEFAULT") evaluator_.bind(*v, scope);
    }
    for (int c : plan.targets) {
        if (t.columns()[c].column.identity && !identityInsert) {
            // With the value supplied as DEFAULT nothing explicit reaches the column; SQL Server still refuses.
            throw errors::identityInsertOff(t.name());
        }
    }
    return plan;
}

SqlExecutor::Result SqlExecutor::runInsert(InsertStmt& s, UndoLog& undo) {
    InsertPlan plan = prepareInsert(s);
    Table& t = *plan.table;
    const auto& cols = t.columns();

    // Supplied values with their types, one vector per new row.
    std::vector<std::vector<std::pair<Value, ColumnType>>> supplied;
    std::vector<std::vector<bool>> isDefault;
    if (plan.source) {
        std::vector<Column> sourceColumns;
        runSelect(
            *plan.source, [&](const std::vector<Column>& c) { sourceColumns = c; },
            [&](const std::vector<Value>& row) {
                std::vector<std::pair<Value, ColumnType>> r;
                r.reserve(row.size());
                for (size_t i = 0; i < row.size(); ++i) r.emplace_back(row[i], sourceColumns[i].type);
                supplied.push_back(std::move(r));
                isDefault.emplace_back(row.size(), false);
            });
    } else if (s.defaultValues) {
        supplied.emplace_back();
        isDefault.emplace_back();
    } else {
        for (auto& row : s.rows) {
            std::vector<std::pair<Value, ColumnType>> r;
            std::vector<bool> d;
            for (auto& v : row) {
                if (v->op == "DEFAULT") {
                    r.emplace_back(Value{}, makeType(SqlType::Int));
                    d.push_back(true);
                } else {
                    r.emplace_back(evaluator_.eval(*v, nullptr), v->resultType);
                    d.push_back(false);
                }
            }
            supplied.push_back(std::move(r));
            isDefault.push_back(std::move(d));
        }
    }

    std::vector<std::vector<Value>> newRows;
    newRows.reserve(supplied.size());
    std::optional<int64_t> lastIdentity;
    for (size_t r = 0; r < supplied.size(); ++r) {
        std::vector<Value> values(cols.size());
        std::vector<bool> given(cols.size(), false);
        for (size_t i = 0; i < plan.targets.size() && i < supplied[r].size(); ++i) {
            const int c = plan.targets[i];
            given[c] = true;
            if (isDefault[r][i]) {
                if (cols[c].defaultValue) values[c] = *cols[c].defaultValue;
                continue;
            }
            values[c] = assign(supplied[r][i].first, supplied[r][i].second, t, cols[c].column);
            if (cols[c].column.identity && !isNull(values[c])) {
                const Value asBig =
                    convertValue(values[c], cols[c].column.type, makeType(SqlType::BigInt), Conversion::Implicit);
                t.noteExplicitIdentity(std::get<int64_t>(asBig));
                lastIdentity = std::get<int64_t>(asBig);
            }
        }
        for (size_t c = 0; c < cols.size(); ++c) {
            if (given[c]) continue;
            if (cols[c].column.identity) {
                const int64_t id = t.nextIdentity();
                values[c] =
                    convertValue(Value{id}, makeType(SqlType::BigInt), cols[c].column.type, Conversion::Implicit);
                lastIdentity = id;
            } else if (cols[c].defaultValue) {
                values[c] = *cols[c].defaultValue;
            }
        }
        for (size_t c = 0; c < cols.size(); ++c)
            if (isNull(values[c]) && !cols[c].column.nullable)
                throw errors::nullNotAllowed(cols[c].column.name, t.fullName(), false);
        newRows.push_back(std::move(values));
    }
    const size_t count = newRows.size();
    std::vector<RowHandle> added = t.insertRows(std::move(newRows));
    undo.recordInsert(t, std::move(added));
    if (count > 0) {
        session_.lastIdentity = t.identity() ? lastIdentity : std::nullopt;
        session_.scopeIdentity = session_.lastIdentity;
    }
    return counted(static_cast<int64_t>(count));
}

// ---- UPDATE / DELETE ----

SqlExecutor::UpdatePlan SqlExecutor::prepareUpdate(UpdateStmt& s) {
    UpdatePlan plan;
    plan.table = &requireWritableTable(s.table.name);
    plan.scope.table = plan.table;
    plan.scope.tableName = s.table.name.parts.back();
    for (auto& a : s.assignments) {
        const int c = plan.table->findColumn(a.column);
        if (c < 0) throw errors::invalidColumn(a.column);
        if (std::find(plan.targets.begin(), plan.targets.end(), c) != plan.targets.end())
            throw errors::columnSetTwice(plan.table->columns()[c].column.name);
        if (plan.table->columns()[c].column.identity)
            throw errors::identityUpdate(plan.table->columns()[c].column.name);
        plan.targets.push_back(c);
        evaluator_.bind(*a.value, plan.scope);
    }
    if (s.where) evaluator_.bind(*s.where, plan.scope);
    return plan;
}

SqlExecutor::Result SqlExecutor::runUpdate(UpdateStmt& s, UndoLog& undo) {
    UpdatePlan plan = prepareUpdate(s);
    Table& t = *plan.table;
    const auto& cols = t.columns();
    const std::vector<RowHandle> rows = matchingRows(t, s.where.get());
    std::vector<std::pair<RowHandle, std::vector<Value>>> changes;
    changes.reserve(rows.size());
    for (RowHandle h : rows) {
        std::vector<Value> values = h->values;
        for (size_t i = 0; i < plan.targets.size(); ++i) {
            const int c = plan.targets[i];
            const Expr& e = *s.assignments[i].value;
            values[c] = assign(evaluator_.eval(e, &*h), e.resultType, t, cols[c].column);
            if (isNull(values[c]) && !cols[c].column.nullable)
                throw errors::nullNotAllowed(cols[c].column.name, t.fullName(), true);
        }
        changes.emplace_back(h, std::move(values));
    }
    t.updateRows(changes);
    const auto count = static_cast<int64_t>(changes.size());
    undo.recordUpdate(t, std::move(changes));
    return counted(count);
}

SqlExecutor::Result SqlExecutor::runDelete(DeleteStmt& s, UndoLog& undo) {
    Table& t = requireWritableTable(s.table.name);
    if (s.where) {
        BindScope scope;
        scope.table = &t;
        scope.tableName = s.table.name.parts.back();
        evaluator_.bind(*s.where, scope);
    }
    const std::vector<RowHandle> rows = matchingRows(t, s.where.get());
    RowList removed = t.deleteRows(rows);
    undo.recordDelete(t, std::move(removed));
    return counted(static_cast<int64_t>(rows.size()));
}

// ---- CREATE / DROP TABLE ----

SqlExecutor::Result SqlExecutor::runCreateTable(CreateTableStmt& s, UndoLog& undo) {
    const ObjectName& name = s.name;
    if (name.parts.size() > 3) throw errors::invalidObject(name.text);
    if (name.parts.size() >= 2) {
        const std::string& schema = name.parts[name.parts.size() - 2];
        if (!schema.empty() && !sameName(schema, "dbo")) throw errors::schemaMissing(schema);
    }
    Database* db = catalog_.findDatabase(databaseOf(name));
    if (!db) throw errors::databaseMissing(databaseOf(name));
    const std::string tableName = name.parts.back();
    if (db->tables.count(tableName)) throw errors::objectExists(tableName);

    std::vector<TableColumn> columns;
    bool haveIdentity = false;
    for (auto& def : s.columns) {
        for (const auto& c : columns)
            if (sameName(c.column.name, def.name)) throw errors::duplicateColumnName(def.name, tableName);
        TableColumn col;
        col.column.name = def.name;
        col.column.type = def.type;
        // A text column without COLLATE takes the database's collation.
        if (isTextualType(def.type.type) && !col.column.type.collation) col.column.type.collation = db->collation;
        col.column.identity = def.identity;
        col.defaultName = def.defaultName;
        if (def.identity) {
            if (haveIdentity) throw errors::multipleIdentity(tableName);
            haveIdentity = true;
            const bool integral = isIntegerType(def.type.type) && def.type.type != SqlType::Bit;
            const bool wholeDecimal = def.type.type == SqlType::Decimal && def.type.scale == 0;
            if ((!integral && !wholeDecimal) || def.nullable.value_or(false)) throw errors::badIdentityType(def.name);
        }
        col.column.nullable = def.nullable.value_or(!(def.identity || def.primaryKey));
        if (def.primaryKey && def.nullable.value_or(false)) throw errors::nullablePrimaryKey(tableName);
        if (def.defaultValue) {
            BindScope scope;
            scope.valuesContext = true;
            evaluator_.bind(*def.defaultValue, scope);
            col.defaultValue = convertValue(evaluator_.eval(*def.defaultValue, nullptr), def.defaultValue->resultType,
                                            col.column.type, Conversion::Implicit);
        }
        columns.push_back(std::move(col));
    }
    auto table = std::make_unique<Table>(db->name, tableName, std::move(columns));
    if (table->identity()) {
        const ColumnDefinition& def = s.columns[table->identity()->column];
        table->identity()->seed = def.identitySeed;
        table->identity()->increment = def.identityIncrement;
    }
    bool havePrimary = false;
    auto addKey = [&](const std::string& constraintName, bool primary, const std::vector<std::string>& names) {
        std::vector<int> cols;
        for (const auto& n : names) {
            const int c = table->findColumn(n);
            if (c < 0) throw errors::constraintColumnMissing(n);
            const Column& col = table->columns()[c].column;
            if (isLongType(col.type.type) || col.type.length < 0) throw errors::invalidKeyColumn(col.name, tableName);
            if (primary && col.nullable) {
                const auto& def = s.columns[c];
                if (def.nullable.value_or(false)) throw errors::nullablePrimaryKey(tableName);
            }
            cols.push_back(c);
        }
        if (primary) {
            if (havePrimary) throw errors::multiplePrimaryKeys(tableName);
            havePrimary = true;
        }
        const std::string keyName = !constraintName.empty()
                                        ? constraintName
                                        : generatedConstraintName(primary ? "PK" : "UQ", tableName, names.front());
        table->addIndex(keyName, primary, cols);
    };
    for (const auto& def : s.columns) {
        if (def.primaryKey) addKey(def.constraintName, true, {def.name});
    }
    for (const auto& c : s.constraints) {
        if (c.primary) addKey(c.name, true, c.columns);
    }
    for (const auto& def : s.columns) {
        if (def.unique) addKey(def.primaryKey ? std::string() : def.constraintName, false, {def.name});
    }
    for (const auto& c : s.constraints) {
        if (!c.primary) addKey(c.name, false, c.columns);
    }
    Table& added = catalog_.addTable(std::move(table));
    undo.recordCreate(added);
    session_.rowCount = 0;
    return Result{};
}

// ---- ALTER TABLE, CREATE INDEX, CREATE DATABASE, PRINT ----

// Keys and defaults are added by building the table anew with them and putting it in the old one's
// place, so the change is all-or-nothing through the same undo records as CREATE and DROP.
SqlExecutor::Result SqlExecutor::runAlterTable(AlterTableStmt& s, UndoLog& undo) {
    Table& old = requireWritableTable(s.table);
    std::vector<TableColumn> columns = old.columns();
    const Database& db = *catalog_.findDatabase(old.database());
    auto nameTaken = [&](const std::string& name) {
        for (const auto& o : catalog_.objects(db))
            if (sameName(o.name, name)) return true;
        return false;
    };
    for (auto& d : s.defaults) {
        const int c = old.findColumn(d.column);
        if (c < 0) throw errors::invalidDefaultColumn(d.column, old.name());
        if (columns[c].defaultValue) throw errors::defaultExists();
        if (nameTaken(d.name)) throw errors::objectExists(d.name);
        BindScope scope;
        scope.valuesContext = true;
        evaluator_.bind(*d.value, scope);
        columns[c].defaultValue = convertValue(evaluator_.eval(*d.value, nullptr), d.value->resultType,
                                               columns[c].column.type, Conversion::Implicit);
        columns[c].defaultName = d.name;
    }
    auto table = std::make_unique<Table>(old.database(), old.name(), std::move(columns));
    if (old.identity()) table->identity() = old.identity();
    for (const auto& index : old.indexes()) table->addIndex(index.name, index.primary, index.columns);
    for (const auto& key : s.keys) {
        if (nameTaken(key.name)) throw errors::objectExists(key.name);
        if (key.primary && table->primaryIndex()) throw errors::primaryKeyExists(old.name());
        std::vector<int> cols;
        for (const auto& n : key.columns) {
            const int c = table->findColumn(n);
            if (c < 0) throw errors::constraintColumnMissing(n);
            const Column& col = table->columns()[c].column;
            if (isLongType(col.type.type) || col.type.length < 0) throw errors::invalidKeyColumn(col.name, old.name());
            if (key.primary && col.nullable) throw errors::nullablePrimaryKey(old.name());
            cols.push_back(c);
        }
        table->addIndex(key.name, key.primary, std::move(cols));
    }
    return replaceTable(old, std::move(table), undo);
}

SqlExecutor::Result SqlExecutor::replaceTable(Table& old, std::unique_ptr<Table> table, UndoLog& undo) {
    std::vector<std::vector<Value>> rows;
    rows.reserve(old.rowCount());
    for (auto it = old.rowsBegin(); it != old.rowsEnd(); ++it) rows.push_back(it->values);
    try {
        table->insertRows(std::move(rows));
    } catch (const SqlError& e) {
        if (e.message().number != 2627) throw;
        // The key 2627 names ("... The duplicate key value is (x).") is the one the new index repeats.
        const std::string& text = e.message().text;
        const size_t at = text.rfind('(');
        const std::string key = at == std::string::npos ? std::string() : text.substr(at, text.size() - at - 1);
        throw errors::duplicateKeyOnIndex(old.schemaQualifiedName(), table->indexes().back().name, key);
    }
    undo.recordDrop(catalog_.removeTable(old.database(), old.name()));
    undo.recordCreate(catalog_.addTable(std::move(table)));
    session_.rowCount = 0;
    return Result{};
}

SqlExecutor::Result SqlExecutor::runCreateIndex(CreateIndexStmt& s, UndoLog& undo) {
    Table& old = requireWritableTable(s.table);
    std::vector<int> cols;
    for (const auto& n : s.columns) {
        const int c = old.findColumn(n);
        if (c < 0) throw errors::indexColumnMissing(n);
        cols.push_back(c);
    }
    for (const auto& index : old.indexes())
        if (sameName(index.name, s.name)) throw errors::indexExists(s.name, old.name());
    // An index that is not unique changes no result; only a unique one is kept, as a key.
    if (!s.unique) {
        session_.rowCount = 0;
        return Result{};
    }
    auto table = std::make_unique<Table>(old.database(), old.name(), old.columns());
    if (old.identity()) table->identity() = old.identity();
    for (const auto& index : old.indexes()) table->addIndex(index.name, index.primary, index.columns);
    table->addIndex(s.name, false, std::move(cols));
    return replaceTable(old, std::move(table), undo);
}

SqlExecutor::Result SqlExecutor::runCreateDatabase(CreateDatabaseStmt& s) {
    if (session_.inTransaction) throw errors::createDatabaseInTransaction();
    if (catalog_.findDatabase(s.name)) throw errors::databaseExists(s.name);
    catalog_.addDatabase(s.name, s.collation ? s.collation : catalog_.serverCollation());
    session_.rowCount = 0;
    return Result{};
}

SqlExecutor::Result SqlExecutor::runPrint(PrintStmt& s) {
    BindScope scope;
    scope.valuesContext = true;
    evaluator_.bind(*s.value, scope);
    const Value v = evaluator_.eval(*s.value, nullptr);
    Message m;
    m.number = 0;
    m.state = 1;
    m.severity = 0;
    m.text = isNull(v) ? std::string() : valueText(v, s.value->resultType);
    sink_.message(m);
    return Result{};
}

SqlExecutor::Result SqlExecutor::runDropTable(DropTableStmt& s, UndoLog& undo) {
    for (const auto& name : s.names) {
        Table* t = findTable(name);
        if (!t) {
            if (s.ifExists) continue;
            throw errors::cannotDropTable(name.text);
        }
        if (sameName(session_.identityInsertTable, t->fullName())) session_.identityInsertTable.clear();
        undo.recordDrop(catalog_.removeTable(t->database(), t->name()));
    }
    session_.rowCount = 0;
    return Result{};
}

// ---- USE / SET ----

SqlExecutor::Result SqlExecutor::runUse(UseStmt& s) {
    Database* db = catalog_.findDatabase(s.database);
    if (!db) throw errors::databaseMissing(s.database);
    const std::string old = session_.database;
    session_.database = db->name;
    sink_.databaseChanged(old, db->name);
    sink_.message(errors::changedDatabase(db->name));
    session_.rowCount = 0;
    return Result{};
}

Variable& SqlExecutor::bindAssignment(AssignStmt& s) {
    Variable* v = Evaluator::findVariable(session_, s.variable);
    if (!v) throw errors::undeclaredVariable(s.variable);
    evaluator_.bind(*s.value, BindScope{});
    if (s.value->isPredicate()) throw errors::syntaxNear(s.value->text);
    return *v;
}

SqlExecutor::Result SqlExecutor::runAssign(AssignStmt& s) {
    Variable& v = bindAssignment(s);
    v.value = convertValue(evaluator_.eval(*s.value, nullptr), s.value->resultType, v.type, Conversion::Implicit);
    session_.rowCount = 1;
    return Result{};
}

SqlExecutor::Result SqlExecutor::runSet(SetStmt& s) {
    const bool on = s.value == "ON";
    for (const auto& option : s.options) {
        if (option == "QUOTED_IDENTIFIER")
            session_.quotedIdentifier = on;
        else if (option == "ANSI_DEFAULTS" && on)
            session_.quotedIdentifier = true;
        else if (option == "NOCOUNT")
            session_.noCount = on;
        else if (option == "XACT_ABORT")
            session_.xactAbort = on;
        else if (option == "TEXTSIZE" || option == "ROWCOUNT") {
            int64_t n = 0;
            try {
                n = std::stoll(s.value);
            } catch (const std::exception&) {
                throw errors::syntaxNear(s.value);
            }
            if (option == "TEXTSIZE")
                session_.textSize = n <= 0 ? 4096 : std::min<int64_t>(n, 2147483647);
            else
                session_.rowCountLimit = std::max<int64_t>(0, n);
        } else if (option == "IDENTITY_INSERT") {
            Table& t = requireTable(s.table);
            if (!t.identity()) throw errors::noIdentityProperty(t.name());
            if (on)
                session_.identityInsertTable = t.fullName();
            else if (sameName(session_.identityInsertTable, t.fullName()))
                session_.identityInsertTable.clear();
        }
    }
    session_.rowCount = 0;
    return Result{};
}

}  // namespace standin
