#pragma once
// Runs the statements of the T-SQL subset against the catalog and reports to a ResultSink. Each
// statement is all-or-nothing: its changes go to an undo log the caller keeps or takes back.
#include "tools/standin/sql/Catalog.h"
#include "tools/standin/sql/Evaluator.h"
#include "tools/standin/sql/SqlAst.h"
#include "tools/standin/sql/UndoLog.h"

#include <functional>
#include <memory>
#include <vector>

namespace standin {

class SqlExecutor {
public:
    SqlExecutor(Catalog& catalog, Session& session, ResultSink& sink);

    // Checks a statement against the tables as they are when its batch starts, as SQL Server
    // compiles a batch before running it (207, 213, 4104 ...). Statements on tables that do not
    // exist yet are checked when they run.
    void compile(Statement& statement);
    // Runs one statement other than transaction control; its changes are recorded in undo. The
    // caller sends done() with the result once the changes are safe. Throws SqlError; the caller
    // then takes back what undo holds.
    struct Result {
        int64_t count = 0;
        bool hasCount = false;
    };
    Result run(Statement& statement, UndoLog& undo);
    // The condition of an IF; throws SqlError.
    bool test(Expr& condition);

private:
    struct SelectPlan;
    struct InsertPlan;
    struct UpdatePlan;

    Table* findTable(const ObjectName& name);
    Table& requireTable(const ObjectName& name);
    Table& requireWritableTable(const ObjectName& name);  // 259 for a catalog view
    Table* systemView(const std::string& database, const std::string& schema, const std::string& name);
    std::string databaseOf(const ObjectName& name) const;

    std::unique_ptr<SelectPlan> prepareSelect(SelectStmt& s);
    int64_t runSelect(SelectPlan& plan, const std::function<void(const std::vector<Column>&)>& onColumns,
                      const std::function<void(const std::vector<Value>&)>& onRow);
    class RowEmitter;
    int64_t selectLimit(const SelectStmt& s) const;  // TOP and SET ROWCOUNT
    void emitAggregated(SelectPlan& plan, RowEmitter& emitter);
    void emitWithoutTable(SelectPlan& plan, RowEmitter& emitter);
    void emitInScanOrder(SelectPlan& plan, RowEmitter& emitter);
    void emitSorted(SelectPlan& plan, int64_t limit, RowEmitter& emitter);
    InsertPlan prepareInsert(InsertStmt& s);
    UpdatePlan prepareUpdate(UpdateStmt& s);

    Result runSelectStatement(SelectStmt& s);
    Result runInsert(InsertStmt& s, UndoLog& undo);
    Result runUpdate(UpdateStmt& s, UndoLog& undo);
    Result runDelete(DeleteStmt& s, UndoLog& undo);
    Result runCreateTable(CreateTableStmt& s, UndoLog& undo);
    Result runDropTable(DropTableStmt& s, UndoLog& undo);
    Result runAlterTable(AlterTableStmt& s, UndoLog& undo);
    Result runCreateIndex(CreateIndexStmt& s, UndoLog& undo);
    Result replaceTable(Table& old, std::unique_ptr<Table> table, UndoLog& undo);
    Result runCreateDatabase(CreateDatabaseStmt& s);
    Result runPrint(PrintStmt& s);
    Result runUse(UseStmt& s);
    Result runSet(SetStmt& s);
    Result runAssign(AssignStmt& s);
    Variable& bindAssignment(AssignStmt& s);

    // Rows of table that can satisfy where, found through a key index when where pins one.
    template <typename F>
    void forEachCandidate(Table& table, const Expr* where, F&& f);
    std::vector<RowHandle> matchingRows(Table& table, const Expr* where);

    Result counted(int64_t count);
    // A value stored into a column of table (INSERT, UPDATE).
    Value assign(const Value& v, const ColumnType& from, const Table& table, const Column& column);

    Catalog& catalog_;
    Session& session_;
    ResultSink& sink_;
    Evaluator evaluator_;
    std::vector<std::unique_ptr<Table>> views_;  // catalog view snapshots the batch's statements read
};

}  // namespace standin
