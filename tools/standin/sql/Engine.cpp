#include "tools/standin/sql/Engine.h"

#include "tools/standin/sql/AccountTablesScript.h"
#include "tools/standin/sql/Catalog.h"
#include "tools/standin/sql/Collation.h"
#include "tools/standin/sql/DataFile.h"
#include "tools/standin/sql/DemoData.h"
#include "tools/standin/sql/SchemaScript.h"
#include "tools/standin/sql/SqlError.h"
#include "tools/standin/sql/SqlExecutor.h"
#include "tools/standin/sql/SqlParser.h"
#include "tools/standin/sql/SqlValue.h"
#include "tools/standin/sql/UndoLog.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>

namespace standin {

namespace {

// Keeps the errors a script's batch reports; everything else a schema script produces is dropped.
class ScriptSink : public ResultSink {
public:
    std::vector<Message> errors;
    void columns(const std::vector<Column>&) override {}
    void row(const std::vector<Value>&) override {}
    void done(int64_t, bool, bool) override {}
    void message(const Message& m) override {
        if (m.severity > 10) errors.push_back(m);
    }
    void databaseChanged(const std::string&, const std::string&) override {}
};

}  // namespace

struct Engine::Impl {
    std::mutex mutex;
    Catalog catalog;
    std::optional<std::string> dataFile;
    std::map<int64_t, UndoLog> transactions;  // open transactions by descriptor
    int64_t nextTransactionId = 1;
    std::vector<std::string> report;

    void persist() {
        if (!dataFile) return;
        std::vector<const UndoLog*> open;
        for (const auto& [id, log] : transactions) open.push_back(&log);
        DataFile::save(*dataFile, catalog, open);
    }

    // Tables dropped earlier can go once no transaction can take the drop back or point at them.
    void releaseRetired() {
        if (transactions.empty()) catalog.clearRetired();
    }

    void begin(Session& session, ResultSink* sink) {
        if (session.transactionLevel++ == 0) {
            session.inTransaction = true;
            session.transactionId = nextTransactionId++;
            transactions[session.transactionId];
            if (sink) sink->transactionChanged(ResultSink::TransactionChange::Began, session.transactionId);
        }
    }

    void commit(Session& session, ResultSink* sink) {
        if (session.transactionLevel == 0) throw errors::commitWithoutBegin();
        if (--session.transactionLevel > 0) return;
        const int64_t id = session.transactionId;
        auto it = transactions.find(id);
        const bool changed = it != transactions.end() && !it->second.empty();
        if (it != transactions.end()) {
            it->second.commit(catalog);
            transactions.erase(it);
        }
        session.inTransaction = false;
        session.transactionId = 0;
        if (changed) persist();
        releaseRetired();
        if (sink) sink->transactionChanged(ResultSink::TransactionChange::Committed, id);
    }

    void rollback(Session& session, ResultSink* sink) {
        if (session.transactionLevel == 0) throw errors::rollbackWithoutBegin();
        const int64_t id = session.transactionId;
        auto it = transactions.find(id);
        if (it != transactions.end()) {
            it->second.rollback(catalog);
            transactions.erase(it);
        }
        session.transactionLevel = 0;
        session.inTransaction = false;
        session.transactionId = 0;
        releaseRetired();
        if (sink) sink->transactionChanged(ResultSink::TransactionChange::RolledBack, id);
    }

    // Reports an error; a batch-aborting one (or any under XACT_ABORT) also rolls back the open
    // transaction before the statement's DONE, as SQL Server orders it. True when the batch ends.
    bool fail(Session& session, ResultSink& sink, const SqlError& e, bool running) {
        sink.message(e.message());
        const bool abortsTransaction = running && (e.reach() == ErrorReach::Transaction || session.xactAbort);
        if (e.reach() == ErrorReach::Statement && !abortsTransaction) sink.message(errors::statementTerminated());
        session.lastError = e.message().number;
        session.rowCount = 0;
        if (abortsTransaction && session.transactionLevel > 0) rollback(session, &sink);
        sink.done(0, false, true);
        return abortsTransaction || e.reach() != ErrorReach::Statement;
    }

    // WAITFOR DELAY lets other sessions run meanwhile, as SQL Server does; the batch's plans are
    // bound again when their statements run, so nothing they hold goes stale.
    static void waitFor(std::unique_lock<std::mutex>& lock, const WaitForStmt& w, ResultSink& sink) {
        lock.unlock();
        try {
            sink.wait(w.delay);
        } catch (...) {
            lock.lock();
            throw;
        }
        lock.lock();
    }

    BatchOutcome execute(std::unique_lock<std::mutex>& lock, Session& session, std::string_view batch,
                         ResultSink& sink) {
        BatchOutcome outcome;
        session.scopeIdentity.reset();
        std::vector<Statement> statements;
        SqlExecutor executor(catalog, session, sink);
        try {
            statements = SqlParser(batch, session.quotedIdentifier).parseBatch();
            for (auto& s : statements) executor.compile(s);
        } catch (const SqlError& e) {
            fail(session, sink, e, false);
            outcome.aborted = true;
            outcome.lastError = e.message().number;
            return outcome;
        }
        runStatements(lock, session, statements, executor, sink, false, outcome);
        return outcome;
    }

    // Runs statements one by one; false when an error ended the batch (outcome says which). Statements
    // inside IF and BEGIN ... END are compiled when they run, since the tables they name may only exist by then.
    bool runStatements(std::unique_lock<std::mutex>& lock, Session& session, std::vector<Statement>& statements,
                       SqlExecutor& executor, ResultSink& sink, bool compileEach, BatchOutcome& outcome) {
        for (auto& statement : statements) {
            if (auto* block = std::get_if<BlockStmt>(&statement.body)) {
                if (!runStatements(lock, session, block->statements, executor, sink, true, outcome)) return false;
                continue;
            }
            if (auto* branch = std::get_if<IfStmt>(&statement.body)) {
                bool taken = false;
                try {
                    taken = executor.test(*branch->condition);
                } catch (SqlError& e) {
                    e.setLine(statement.line);
                    outcome.lastError = e.message().number;
                    if (fail(session, sink, e, true)) {
                        outcome.aborted = true;
                        return false;
                    }
                    continue;
                }
                if (!runStatements(lock, session, taken ? branch->then : branch->otherwise, executor, sink, true,
                                   outcome))
                    return false;
                continue;
            }
            UndoLog changes;
            try {
                // A table rebuilt for a new key would leave another transaction's undo records on the
                // old one; SQL Server's schema lock makes such a change wait, here it times out at once.
                if ((std::holds_alternative<AlterTableStmt>(statement.body) ||
                     std::holds_alternative<CreateIndexStmt>(statement.body)) &&
                    std::any_of(transactions.begin(), transactions.end(),
                                [&](const auto& t) { return t.first != session.transactionId; }))
                    throw errors::lockTimeout();
                if (compileEach) executor.compile(statement);
                SqlExecutor::Result result;
                if (auto* t = std::get_if<TransactionStmt>(&statement.body)) {
                    switch (t->kind) {
                    case TransactionStmt::Kind::Begin: begin(session, &sink); break;
                    case TransactionStmt::Kind::Commit: commit(session, &sink); break;
                    case TransactionStmt::Kind::Rollback: rollback(session, &sink); break;
                    }
                    session.rowCount = 0;
                } else if (auto* w = std::get_if<WaitForStmt>(&statement.body)) {
                    waitFor(lock, *w, sink);
                    session.rowCount = 0;
                } else {
                    result = executor.run(statement, changes);
                }
                if (!changes.empty()) {
                    if (session.inTransaction) {
                        transactions[session.transactionId].append(std::move(changes));
                    } else {
                        changes.commit(catalog);
                        // What a client is told succeeded is on disk first.
                        persist();
                        releaseRetired();
                    }
                } else if (std::holds_alternative<CreateDatabaseStmt>(statement.body)) {
                    persist();
                }
                session.lastError = 0;
                sink.done(result.count, result.hasCount && !session.noCount, false);
            } catch (SqlError& e) {
                changes.rollback(catalog);
                e.setLine(statement.line);
                outcome.lastError = e.message().number;
                if (fail(session, sink, e, true)) {
                    outcome.aborted = true;
                    return false;
                }
            } catch (...) {
                changes.rollback(catalog);
                throw;
            }
        }
        return true;
    }

    // Runs a script batch by batch as the administrator; each error of a batch is reported, and what
    // the error ended is skipped, as sqlcmd goes on with the next batch.
    void runScript(const std::string& name, std::string_view script) {
        Session session;
        std::unique_lock lock(mutex);
        for (const ScriptBatch& batch : splitBatches(script)) {
            for (int i = 0; i < batch.repeat; ++i) {
                ScriptSink sink;
                execute(lock, session, batch.text, sink);
                for (const Message& m : sink.errors)
                    report.push_back(name + ", batch at line " + std::to_string(batch.firstLine) + " skipped: Msg " +
                                     std::to_string(m.number) + ", Level " + std::to_string(m.severity) + ", State " +
                                     std::to_string(m.state) + ", Line " +
                                     std::to_string(batch.firstLine + m.line - 1) + ": " + m.text);
            }
        }
    }

    void convertPreviousLayout(const std::string& file);
};

namespace {
EngineOptions withDataFile(std::optional<std::string> dataFile) {
    EngineOptions options;
    options.dataFile = std::move(dataFile);
    return options;
}
}  // namespace

Engine::Engine(std::optional<std::string> dataFile) : Engine(withDataFile(std::move(dataFile))) {}

Engine::Engine(EngineOptions options) : impl_(std::make_unique<Impl>()) {
    const Collation* collation = findCollation(options.collation);
    if (!collation) throw std::invalid_argument("SQL Server has no collation named '" + options.collation + "'.");
    impl_->dataFile = std::move(options.dataFile);
    if (impl_->dataFile && std::filesystem::exists(*impl_->dataFile)) {
        impl_->catalog = DataFile::load(*impl_->dataFile);
        impl_->convertPreviousLayout(*impl_->dataFile);
        if (!options.schemaScripts.empty())
            impl_->report.push_back("The schema scripts were not run: the data file '" + *impl_->dataFile +
                                    "' already holds the tables.");
        return;
    }
    impl_->catalog = Catalog(collation);
    if (options.schemaScripts.empty()) options.schemaScripts.emplace_back("account_tables.sql", kAccountTablesScript);
    for (const auto& [name, text] : options.schemaScripts) impl_->runScript(name, text);
    impl_->persist();
}

const std::vector<std::string>& Engine::startReport() const { return impl_->report; }

namespace {

bool sameLayout(const Table& a, const Table& b) {
    if (a.columns().size() != b.columns().size()) return false;
    for (size_t i = 0; i < a.columns().size(); ++i) {
        const Column& x = a.columns()[i].column;
        const Column& y = b.columns()[i].column;
        if (compareText(x.name, y.name) != 0 || x.type.type != y.type.type || x.type.length != y.type.length ||
            x.nullable != y.nullable || x.identity != y.identity)
            return false;
    }
    return true;
}

// The rows of old in the layout of fresh, matched by column name. Throws std::runtime_error naming
// what would be lost.
std::vector<std::vector<Value>> rowsInLayout(const Table& old, const Table& fresh) {
    std::vector<int> source;
    for (const auto& c : fresh.columns()) source.push_back(old.findColumn(c.column.name));
    for (const auto& c : old.columns())
        if (fresh.findColumn(c.column.name) < 0)
            throw std::runtime_error("column " + c.column.name + " has no place in the new layout");
    std::vector<std::vector<Value>> rows;
    for (auto it = old.rowsBegin(); it != old.rowsEnd(); ++it) {
        std::vector<Value> values;
        for (size_t c = 0; c < fresh.columns().size(); ++c) {
            const TableColumn& to = fresh.columns()[c];
            Value v;
            if (source[c] >= 0) {
                const TableColumn& from = old.columns()[source[c]];
                try {
                    v = convertValue(it->values[source[c]], from.column.type, to.column.type, Conversion::Assignment);
                } catch (const SqlError& e) {
                    throw std::runtime_error("a value of column " + to.column.name + " does not fit: " + e.what());
                }
            }
            if (isNull(v) && !to.column.nullable) {
                if (!to.defaultValue) throw std::runtime_error("column " + to.column.name + " holds NULL");
                v = *to.defaultValue;  // a NULL where the game server allows none takes the column's default
            }
            values.push_back(std::move(v));
        }
        rows.push_back(std::move(values));
    }
    return rows;
}

}  // namespace

void Engine::Impl::convertPreviousLayout(const std::string& file) {
    const Database* accounts = catalog.findDatabase("lin2db");
    EngineOptions options;
    options.collation = orDefault(accounts ? accounts->collation : nullptr).name;
    Engine reference(options);
    bool changed = false;
    for (const auto& [db, name] :
         {std::pair{"lin2db", "user_auth"}, {"lin2db", "user_account"}, {"lin2world", "builder_account"}}) {
        Table* old = catalog.findTable(db, name);
        Table* fresh = reference.impl_->catalog.findTable(db, name);
        if (!old || !fresh || sameLayout(*old, *fresh)) continue;
        try {
            auto table = std::make_unique<Table>(old->database(), old->name(), fresh->columns());
            for (const auto& index : fresh->indexes()) table->addIndex(index.name, index.primary, index.columns);
            table->insertRows(rowsInLayout(*old, *table));
            if (table->identity()) {
                const int column = table->identity()->column;
                for (auto it = table->rowsBegin(); it != table->rowsEnd(); ++it)
                    if (auto* v = std::get_if<int64_t>(&it->values[column])) table->noteExplicitIdentity(*v);
                if (old->identity() && old->identity()->used) table->noteExplicitIdentity(old->identity()->last);
            }
            const size_t rows = table->rowCount();
            catalog.removeTable(db, name);
            catalog.addTable(std::move(table));
            changed = true;
            report.push_back("The data file '" + file + "' held " + db + ".dbo." + name +
                             " in the previous layout; it was converted to the game server's layout by column "
                             "name, keeping all " +
                             std::to_string(rows) + " rows.");
        } catch (const std::exception& e) {
            report.push_back("The data file '" + file + "' holds " + db + ".dbo." + name +
                             " in another layout; it was kept as it is because " + e.what() + ".");
        }
    }
    if (changed) persist();
}

Engine::~Engine() = default;

bool Engine::hasDatabase(std::string_view name) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->catalog.findDatabase(name) != nullptr;
}

const Collation& Engine::databaseCollation(std::string_view name) const {
    std::lock_guard lock(impl_->mutex);
    const Database* db = impl_->catalog.findDatabase(name);
    return orDefault(db ? db->collation : impl_->catalog.serverCollation());
}

void Engine::seedDemo(int n) {
    std::lock_guard lock(impl_->mutex);
    if (seedDemoAccounts(impl_->catalog, n)) impl_->persist();
}

BatchOutcome Engine::execute(Session& session, std::string_view batch, ResultSink& sink) {
    std::unique_lock lock(impl_->mutex);
    return impl_->execute(lock, session, batch, sink);
}

void Engine::beginTransaction(Session& session, ResultSink& sink) {
    (void)sink;
    std::lock_guard lock(impl_->mutex);
    impl_->begin(session, nullptr);
}

void Engine::commitTransaction(Session& session, ResultSink& sink) {
    std::lock_guard lock(impl_->mutex);
    try {
        impl_->commit(session, nullptr);
    } catch (const SqlError& e) {
        sink.message(e.message());
    }
}

void Engine::rollbackTransaction(Session& session, ResultSink& sink) {
    std::lock_guard lock(impl_->mutex);
    try {
        impl_->rollback(session, nullptr);
    } catch (const SqlError& e) {
        sink.message(e.message());
    }
}

void Engine::checkConsistency() const {
    std::lock_guard lock(impl_->mutex);
    for (const auto& [name, db] : impl_->catalog.databases())
        for (const auto& [tableName, table] : db.tables) table->checkConsistency();
}

void Engine::endSession(Session& session) {
    std::lock_guard lock(impl_->mutex);
    if (session.transactionLevel > 0) impl_->rollback(session, nullptr);
}

}  // namespace standin
