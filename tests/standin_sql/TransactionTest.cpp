// Transactions: rollback restores the tables, commit keeps them, a closed session rolls back.
#include "tests/support/EngineFixture.h"

#include <gtest/gtest.h>

#include <cctype>

#include <string>
#include <thread>
#include <vector>

namespace standin::test {
namespace {

using Rows = std::vector<std::string>;

class TransactionTest : public EngineFixture {
protected:
    // Read on a session of its own, outside the transactions the test opens on `session`.
    Rows rows(std::string_view sql) {
        Session reader;
        return ok(reader, sql).text();
    }
    void SetUp() override { ok(session, "INSERT INTO lin2world.dbo.builder_account VALUES ('a',1,1),('b',2,2)"); }
    const char* kAll = "SELECT account_name, default_builder FROM lin2world.dbo.builder_account";
};

TEST_F(TransactionTest, RollbackRestoresEveryChange) {
    RecordingSink begin = ok(session, "BEGIN TRAN");
    ASSERT_EQ(begin.transactionChanges.size(), 1u);
    EXPECT_EQ(begin.transactionChanges[0].first, ResultSink::TransactionChange::Began);
    EXPECT_TRUE(session.inTransaction);
    EXPECT_NE(session.transactionId, 0);
    const int64_t id = session.transactionId;
    ok(session,
       "INSERT INTO lin2world.dbo.builder_account VALUES ('c',3,3)\n"
       "UPDATE lin2world.dbo.builder_account SET default_builder = 9 WHERE account_name = 'a'\n"
       "DELETE FROM lin2world.dbo.builder_account WHERE account_name = 'b'\n"
       "CREATE TABLE lin2db.dbo.scratch (x int)\n"
       "DROP TABLE lin2db.dbo.user_auth");
    EXPECT_EQ(ok(session, "SELECT @@TRANCOUNT").text(), Rows{"1"});
    EXPECT_EQ(rows(kAll), (Rows{"a|9", "c|3"}));
    RecordingSink rollback = ok(session, "ROLLBACK TRANSACTION");
    ASSERT_EQ(rollback.transactionChanges.size(), 1u);
    EXPECT_EQ(rollback.transactionChanges[0], std::make_pair(ResultSink::TransactionChange::RolledBack, id));
    EXPECT_FALSE(session.inTransaction);
    EXPECT_EQ(rows(kAll), (Rows{"a|1", "b|2"}));
    EXPECT_EQ(run(session, "SELECT * FROM lin2db.dbo.scratch").errors(), std::vector<int32_t>{208});
    EXPECT_TRUE(run(session, "SELECT * FROM lin2db.dbo.user_auth").errors().empty());
    // The key index came back with the rows: the restored key is still unique.
    EXPECT_EQ(run(session, "INSERT INTO lin2world.dbo.builder_account VALUES ('b',1,1)").errors(),
              std::vector<int32_t>{2627});
}

TEST_F(TransactionTest, NestedLevelsCommitOnlyAtTheOutermost) {
    ok(session, "BEGIN TRAN BEGIN TRANSACTION outer_name");
    EXPECT_EQ(session.transactionLevel, 2);
    ok(session, "INSERT INTO lin2world.dbo.builder_account VALUES ('c',3,3) COMMIT");
    EXPECT_TRUE(session.inTransaction);
    RecordingSink commit = ok(session, "COMMIT TRAN");
    ASSERT_EQ(commit.transactionChanges.size(), 1u);
    EXPECT_EQ(commit.transactionChanges[0].first, ResultSink::TransactionChange::Committed);
    EXPECT_FALSE(session.inTransaction);
    EXPECT_EQ(rows(kAll).size(), 3u);
    // ROLLBACK goes back to the outermost BEGIN whatever the level.
    ok(session, "BEGIN TRAN BEGIN TRAN DELETE FROM lin2world.dbo.builder_account ROLLBACK");
    EXPECT_EQ(session.transactionLevel, 0);
    EXPECT_EQ(rows(kAll).size(), 3u);
}

TEST_F(TransactionTest, FailedStatementInsideATransactionIsUndoneAlone) {
    ok(session, "BEGIN TRAN INSERT INTO lin2world.dbo.builder_account VALUES ('c',3,3)");
    RecordingSink sink = run(session, "INSERT INTO lin2world.dbo.builder_account VALUES ('d',4,4),('a',5,5)");
    EXPECT_EQ(sink.errors(), std::vector<int32_t>{2627});
    EXPECT_TRUE(session.inTransaction);
    ok(session, "COMMIT");
    EXPECT_EQ(rows(kAll), (Rows{"a|1", "b|2", "c|3"}));
}

// What an error inside an open transaction ends: the statement, the batch, or the batch and the
// transaction (batch-aborting errors, and every run-time error under SET XACT_ABORT ON).
struct ErrorInTransactionCase {
    const char* name;
    const char* setting;  // run before BEGIN TRAN
    const char* failing;  // a batch whose second statement fails
    int32_t error;
    bool transactionSurvives;  // the insert of 'c' before BEGIN's batch stays pending
    bool restOfBatchRuns;      // the insert of 'e' after the failing statement
};

class ErrorInTransactionTest : public TransactionTest, public ::testing::WithParamInterface<ErrorInTransactionCase> {};

TEST_P(ErrorInTransactionTest, EndsWhatSqlServerEnds) {
    const auto& c = GetParam();
    ok(session, c.setting);
    ok(session, "BEGIN TRAN INSERT INTO lin2world.dbo.builder_account VALUES ('c',3,3)");
    RecordingSink sink = run(session, std::string("INSERT INTO lin2world.dbo.builder_account VALUES ('d',4,4)\n") +
                                          c.failing + "\nINSERT INTO lin2world.dbo.builder_account VALUES ('e',5,5)");
    EXPECT_EQ(sink.errors(), std::vector<int32_t>{c.error});
    EXPECT_EQ(session.inTransaction, c.transactionSurvives);
    EXPECT_EQ(session.transactionLevel, c.transactionSurvives ? 1 : 0);
    // The rollback is announced before the failing statement's DONE.
    const bool rolledBack = !sink.transactionChanges.empty() &&
                            sink.transactionChanges.back().first == ResultSink::TransactionChange::RolledBack;
    EXPECT_EQ(rolledBack, !c.transactionSurvives);
    if (session.inTransaction) ok(session, "COMMIT");
    Rows expected{"a|1", "b|2"};
    if (c.transactionSurvives) {
        expected.push_back("c|3");
        expected.push_back("d|4");
        if (c.restOfBatchRuns) expected.push_back("e|5");
    }
    EXPECT_EQ(rows(std::string(kAll) + " ORDER BY account_name"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ErrorInTransactionTest,
    ::testing::Values(ErrorInTransactionCase{"duplicate key ends its statement", "SET XACT_ABORT OFF",
                                             "INSERT INTO lin2world.dbo.builder_account VALUES ('a',9,9)", 2627, true,
                                             true},
                      ErrorInTransactionCase{"missing table ends the batch only", "SET XACT_ABORT OFF",
                                             "SELECT * FROM lin2world.dbo.missing", 208, true, false},
                      ErrorInTransactionCase{"conversion error rolls back", "SET XACT_ABORT OFF",
                                             "SELECT CAST('x' AS int)", 245, false, false},
                      ErrorInTransactionCase{"date conversion error rolls back", "SET XACT_ABORT OFF",
                                             "SELECT CAST('nodate' AS datetime)", 241, false, false},
                      ErrorInTransactionCase{"XACT_ABORT: duplicate key rolls back", "SET XACT_ABORT ON",
                                             "INSERT INTO lin2world.dbo.builder_account VALUES ('a',9,9)", 2627, false,
                                             false},
                      ErrorInTransactionCase{"XACT_ABORT: divide by zero rolls back", "SET XACT_ABORT ON", "SELECT 1/0",
                                             8134, false, false}),
    [](const auto& info) {
        std::string n;
        for (char ch : std::string(info.param.name)) n += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        return n;
    });

TEST_F(TransactionTest, ASyntaxErrorRunsNothingAndKeepsTheTransactionEvenUnderXactAbort) {
    ok(session, "SET XACT_ABORT ON BEGIN TRAN INSERT INTO lin2world.dbo.builder_account VALUES ('c',3,3)");
    EXPECT_EQ(run(session, "SELECT FROM WHERE").errors(), std::vector<int32_t>{156});
    EXPECT_TRUE(session.inTransaction);
    ok(session, "COMMIT");
    EXPECT_EQ(rows(kAll).size(), 3u);
}

TEST_F(TransactionTest, EndingASessionRollsBackItsTransaction) {
    Session other;
    ok(other, "BEGIN TRAN UPDATE lin2world.dbo.builder_account SET default_builder = 7");
    engine.endSession(other);
    EXPECT_FALSE(other.inTransaction);
    EXPECT_EQ(rows(kAll), (Rows{"a|1", "b|2"}));
}

TEST_F(TransactionTest, TransactionManagerRequests) {
    RecordingSink sink;
    engine.beginTransaction(session, sink);
    EXPECT_TRUE(session.inTransaction);
    ok(session, "DELETE FROM lin2world.dbo.builder_account");
    engine.rollbackTransaction(session, sink);
    EXPECT_FALSE(session.inTransaction);
    EXPECT_EQ(rows(kAll).size(), 2u);
    engine.beginTransaction(session, sink);
    ok(session, "DELETE FROM lin2world.dbo.builder_account WHERE account_name = 'a'");
    engine.commitTransaction(session, sink);
    EXPECT_EQ(rows(kAll), Rows{"b|2"});
    // They answer through the sink's messages only; the caller sends the DONE.
    EXPECT_TRUE(sink.dones.empty());
    EXPECT_TRUE(sink.transactionChanges.empty());
    engine.commitTransaction(session, sink);
    engine.rollbackTransaction(session, sink);
    EXPECT_EQ(sink.errors(), (std::vector<int32_t>{3902, 3903}));
}

TEST_F(TransactionTest, ConcurrentSessionsNeverInterleave) {
    auto worker = [this](int base) {
        Session s;
        for (int i = 0; i < 200; ++i) {
            RecordingSink sink;
            const std::string name = "t" + std::to_string(base + i);
            engine.execute(s,
                           "INSERT INTO lin2world.dbo.builder_account VALUES ('" + name +
                               "',1,1) "
                               "SELECT COUNT(*) FROM lin2world.dbo.builder_account WHERE account_name = '" +
                               name + "'",
                           sink);
            ASSERT_EQ(sink.text(), Rows{"1"});
        }
    };
    std::thread t1(worker, 0), t2(worker, 1000), t3(worker, 2000);
    t1.join();
    t2.join();
    t3.join();
    EXPECT_EQ(rows("SELECT COUNT(*) FROM lin2world.dbo.builder_account"), Rows{"602"});
}

}  // namespace
}  // namespace standin::test
