#include "tools/standin/Engine.h"

#include "tools/standin/Catalog.h"
#include "tools/standin/DataFile.h"
#include "tools/standin/DemoData.h"
#include "tools/standin/SqlError.h"
#include "tools/standin/SqlExecutor.h"
#include "tools/standin/SqlParser.h"
#include "tools/standin/UndoLog.h"

#include <filesystem>
#include <map>
#include <mutex>

namespace standin {

struct Engine::Impl {
    std::mutex mutex;
    Catalog catalog;
    std::optional<std::string> dataFile;
    std::map<int64_t, UndoLog> transactions;  // open transactions by descriptor
    int64_t nextTransactionId = 1;

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

    BatchOutcome execute(std::unique_lock<std::mutex>& lock, Session& session, std::string_view batch, ResultSink& sink) {
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
        for (auto& statement : statements) {
            UndoLog changes;
            try {
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
                }
                session.lastError = 0;
                sink.done(result.count, result.hasCount && !session.noCount, false);
            } catch (SqlError& e) {
                changes.rollback(catalog);
                e.setLine(statement.line);
                outcome.lastError = e.message().number;
                if (fail(session, sink, e, true)) {
                    outcome.aborted = true;
                    return outcome;
                }
            } catch (...) {
                changes.rollback(catalog);
                throw;
            }
        }
        return outcome;
    }
};

Engine::Engine(std::optional<std::string> dataFile) : impl_(std::make_unique<Impl>()) {
    impl_->dataFile = std::move(dataFile);
    if (impl_->dataFile && std::filesystem::exists(*impl_->dataFile)) {
        impl_->catalog = DataFile::load(*impl_->dataFile);
    } else {
        impl_->catalog = Catalog::withAccountTables();
        impl_->persist();
    }
}

Engine::~Engine() = default;

bool Engine::hasDatabase(std::string_view name) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->catalog.findDatabase(name) != nullptr;
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
