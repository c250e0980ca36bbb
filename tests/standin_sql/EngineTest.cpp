// The stand-in's SQL engine against the statements the account tool sends and SQL Server's answers.
#include "tests/support/EngineFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace standin::test {
namespace {

class EngineTest : public EngineFixture {};

const std::string kHash = "0x0102030405060708090A0B0C0D0E0F10";

// ---- the account tool's own statements ----

TEST_F(EngineTest, CreatesAnAccountWithTheProgramsStatements) {
    ok("INSERT INTO lin2db.dbo.user_auth VALUES ('alpha'," + kHash + ",'','',0x0,0x0)");
    ok("INSERT INTO lin2db.dbo.user_account VALUES ('alpha',1,0,0,0,0,null,null,null,0,null,null,null)");
    auto uid = ok("SELECT uid FROM lin2db.dbo.user_account WHERE account = 'alpha'");
    ASSERT_EQ(uid.text(), std::vector<std::string>{"1"});
    EXPECT_TRUE(uid.results[0].columns[0].identity);
    ok("INSERT INTO lin2world.dbo.builder_account VALUES ('alpha',3,1)");

    auto auth = ok("SELECT * FROM lin2db.dbo.user_auth WHERE account = 'alpha'");
    ASSERT_EQ(auth.results.size(), 1u);
    ASSERT_EQ(auth.results[0].rows.size(), 1u);
    const auto& row = auth.results[0].rows[0];
    EXPECT_EQ(std::get<std::string>(row[0]), "alpha");
    EXPECT_EQ(std::get<std::vector<uint8_t>>(row[1]),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    EXPECT_EQ(std::get<std::vector<uint8_t>>(row[4]), std::vector<uint8_t>(32, 0));  // binary(32) padded
    EXPECT_EQ(rows("SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = 'alpha'"),
              std::vector<std::string>{"3"});
    EXPECT_EQ(rows("SELECT block_flag,block_flag2 FROM lin2db.dbo.user_account WHERE account = 'alpha'"),
              std::vector<std::string>{"0|0"});
}

TEST_F(EngineTest, EditsAnAccountWithTheProgramsStatements) {
    ok("INSERT INTO lin2db.dbo.user_auth VALUES ('beta'," + kHash + ",'','',0x0,0x0)");
    ok("INSERT INTO lin2db.dbo.user_account VALUES ('beta',1,0,0,0,0,null,null,null,0,null,null,null)");
    auto upd =
        ok("UPDATE lin2db.dbo.user_auth SET password = 0xFFEEDDCCBBAA99887766554433221100,quiz1 = '',"
           "answer1 = 0x0,quiz2 = '',answer2 = 0x0 WHERE account = 'beta'");
    ASSERT_EQ(upd.dones.size(), 1u);
    EXPECT_EQ(upd.dones[0].count, 1);
    EXPECT_TRUE(upd.dones[0].hasCount);
    ok("UPDATE lin2db.dbo.user_account SET block_flag = 1,block_flag2 = 0 WHERE account = 'beta'");
    EXPECT_EQ(rows("SELECT block_flag,block_flag2 FROM lin2db.dbo.user_account WHERE account = 'beta'"),
              std::vector<std::string>{"1|0"});
    ok("INSERT INTO lin2world.dbo.builder_account VALUES ('beta',4,1)");
    ok("UPDATE lin2world.dbo.builder_account SET default_builder = 9 WHERE account_name = 'beta'");
    EXPECT_EQ(rows("SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = 'beta'"),
              std::vector<std::string>{"9"});
    auto del = ok("DELETE FROM lin2world.dbo.builder_account WHERE account_name = 'beta'");
    EXPECT_EQ(del.dones[0].count, 1);
    auto again = ok("DELETE FROM lin2world.dbo.builder_account WHERE account_name = 'beta'");
    EXPECT_EQ(again.dones[0].count, 0);
    EXPECT_EQ(rows("SELECT account FROM lin2db.dbo.user_auth"), std::vector<std::string>{"beta"});
}

// ---- errors: number, class, state and text, and how far they reach ----

struct ErrorCase {
    const char* batch;
    int32_t number;
    uint8_t severity;
    uint8_t state;
    const char* text;
};

class EngineErrorTest : public EngineTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(EngineErrorTest, ReportsSqlServersError) {
    const ErrorCase& c = GetParam();
    ok("INSERT INTO lin2db.dbo.user_auth VALUES ('alpha'," + kHash + ",'','',0x0,0x0)");
    ok("INSERT INTO lin2db.dbo.user_account VALUES ('alpha',1,0,0,0,0,null,null,null,0,null,null,null)");
    RecordingSink sink = run(c.batch);
    ASSERT_FALSE(sink.messages.empty()) << c.batch;
    const Message& m = sink.messages[0];
    EXPECT_EQ(m.number, c.number) << c.batch << ": " << m.text;
    EXPECT_EQ(m.severity, c.severity) << c.batch;
    EXPECT_EQ(m.state, c.state) << c.batch;
    EXPECT_EQ(m.text, c.text) << c.batch;
    ASSERT_FALSE(sink.dones.empty());
    EXPECT_TRUE(sink.dones.back().error);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, EngineErrorTest,
    ::testing::Values(
        ErrorCase{"SELECT * FROM lin2db.dbo.nosuch", 208, 16, 1, "Invalid object name 'lin2db.dbo.nosuch'."},
        ErrorCase{"SELECT * FROM user_auth", 208, 16, 1, "Invalid object name 'user_auth'."},
        ErrorCase{"SELECT * FROM nodb.dbo.user_auth", 208, 16, 1, "Invalid object name 'nodb.dbo.user_auth'."},
        ErrorCase{"SELECT nope FROM lin2db.dbo.user_auth", 207, 16, 1, "Invalid column name 'nope'."},
        ErrorCase{"SELECT * FROM lin2db.dbo.user_auth WHERE acount = 'x'", 207, 16, 1, "Invalid column name 'acount'."},
        ErrorCase{"SELEC * FROM x", 102, 15, 1, "Incorrect syntax near '*'."},
        ErrorCase{"SELECT * FROM lin2db.dbo.user_auth WHERE account = = 'x'", 102, 15, 1, "Incorrect syntax near '='."},
        ErrorCase{"SELECT * FROM", 156, 15, 1, "Incorrect syntax near the keyword 'FROM'."},
        ErrorCase{"SELECT * FROM lin2db.dbo.user_auth WHERE account = 'a''", 105, 15, 1,
                  "Unclosed quotation mark after the character string 'a''."},
        ErrorCase{"INSERT INTO lin2db.dbo.user_auth VALUES ('x',0x01,'','',0x0)", 213, 16, 1,
                  "Column name or number of supplied values does not match table definition."},
        ErrorCase{"INSERT INTO lin2db.dbo.user_auth VALUES ('alpha',0x01,'','',0x0,0x0)", 2627, 14, 1,
                  "Violation of PRIMARY KEY constraint 'PK_user_auth'. Cannot insert duplicate key in object "
                  "'dbo.user_auth'. The duplicate key value is (alpha)."},
        ErrorCase{"INSERT INTO lin2db.dbo.user_auth VALUES ('ALPHA ',0x01,'','',0x0,0x0)", 2627, 14, 1,
                  "Violation of PRIMARY KEY constraint 'PK_user_auth'. Cannot insert duplicate key in object "
                  "'dbo.user_auth'. The duplicate key value is (ALPHA )."},
        ErrorCase{"INSERT INTO lin2db.dbo.user_account VALUES ('alpha',1,0,0,0,0,null,null,null,0,null,null,null)",
                  2627, 14, 1,
                  "Violation of PRIMARY KEY constraint 'PK_user_account'. Cannot insert duplicate key in "
                  "object 'dbo.user_account'. The duplicate key value is (alpha)."},
        ErrorCase{"INSERT INTO lin2db.dbo.user_auth VALUES (null,0x01,'','',0x0,0x0)", 515, 16, 2,
                  "Cannot insert the value NULL into column 'account', table 'lin2db.dbo.user_auth'; column does "
                  "not allow nulls. INSERT fails."},
        ErrorCase{"UPDATE lin2db.dbo.user_auth SET quiz1 = NULL WHERE account = 'alpha'", 515, 16, 2,
                  "Cannot insert the value NULL into column 'quiz1', table 'lin2db.dbo.user_auth'; column does "
                  "not allow nulls. UPDATE fails."},
        ErrorCase{"INSERT INTO lin2world.dbo.builder_account VALUES ('gm','abc',1)", 245, 16, 1,
                  "Conversion failed when converting the varchar value 'abc' to data type int."},
        ErrorCase{"SELECT * FROM lin2db.dbo.user_account WHERE block_flag = 'x'", 245, 16, 1,
                  "Conversion failed when converting the varchar value 'x' to data type int."},
        ErrorCase{"INSERT INTO lin2db.dbo.user_auth VALUES ('abcdefghijklmno',0x01,'','',0x0,0x0)", 2628, 16, 1,
                  "String or binary data would be truncated in table 'lin2db.dbo.user_auth', column 'account'. "
                  "Truncated value: 'abcdefghijklmn'."},
        ErrorCase{"UPDATE lin2db.dbo.user_account SET account = 'abcdefghijklmno'", 2628, 16, 1,
                  "String or binary data would be truncated in table 'lin2db.dbo.user_account', column 'account'. "
                  "Truncated value: 'abcdefghijklmn'."},
        ErrorCase{"INSERT INTO lin2db.dbo.user_auth VALUES ('x',0x0102030405060708090A0B0C0D0E0F1011,'','',0x0,0x0)",
                  2628, 16, 1,
                  "String or binary data would be truncated in table 'lin2db.dbo.user_auth', column 'password'. "
                  "Truncated value: '0x0102030405060708090A0B0C0D0E0F10'."},
        ErrorCase{"INSERT INTO lin2db.dbo.user_account (uid, account) VALUES (5, 'x')", 544, 16, 1,
                  "Cannot insert explicit value for identity column in table 'user_account' when IDENTITY_INSERT "
                  "is set to OFF."},
        ErrorCase{"USE nodb", 911, 16, 1,
                  "Database 'nodb' does not exist. Make sure that the name is entered correctly."},
        ErrorCase{"SET FOO ON", 195, 15, 1, "'FOO' is not a recognized SET option."},
        ErrorCase{"COMMIT", 3902, 16, 1, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."},
        ErrorCase{"SELECT 1/0", 8134, 16, 1, "Divide by zero error encountered."},
        ErrorCase{"CREATE TABLE lin2db.dbo.user_auth (x int)", 2714, 16, 6,
                  "There is already an object named 'user_auth' in the database."},
        ErrorCase{"CREATE TABLE lin2db.sales.t (x int)", 2760, 16, 1,
                  "The specified schema name \"sales\" either does not exist or you do not have permission to use it."},
        ErrorCase{
            "CREATE TABLE t (x int, X int)", 2705, 16, 3,
            "Column names in each table must be unique. Column name 'X' in table 't' is specified more than once."},
        ErrorCase{"CREATE TABLE t (x int PRIMARY KEY, y int PRIMARY KEY)", 8110, 16, 0,
                  "Cannot add multiple PRIMARY KEY constraints to table 't'."},
        ErrorCase{"CREATE TABLE t (x varchar(10) IDENTITY)", 2749, 16, 2,
                  "Identity column 'x' must be of data type int, bigint, smallint, tinyint, or decimal or numeric "
                  "with a scale of 0, and constrained to be nonnullable."},
        ErrorCase{"CREATE TABLE t (x foo)", 2715, 16, 6,
                  "Column, parameter, or variable #1: Cannot find data type foo."},
        ErrorCase{"CREATE TABLE t (x varchar(9000))", 131, 15, 2,
                  "The size (9000) given to the column 'x' exceeds the maximum allowed for any data type (8000)."},
        ErrorCase{
            "DROP TABLE lin2db.dbo.nosuch", 3701, 11, 5,
            "Cannot drop the table 'lin2db.dbo.nosuch', because it does not exist or you do not have permission."},
        ErrorCase{"INSERT INTO lin2world.dbo.builder_account (account_name, nope) VALUES ('a', 1)", 207, 16, 1,
                  "Invalid column name 'nope'."},
        ErrorCase{"INSERT INTO lin2world.dbo.builder_account (account_name, default_builder) VALUES ('a')", 109, 15, 1,
                  "There are more columns in the INSERT statement than values specified in the VALUES clause. The "
                  "number of values in the VALUES clause must match the number of columns specified in the INSERT "
                  "statement."},
        ErrorCase{"INSERT INTO lin2world.dbo.builder_account VALUES ('a',1,1),('b',2)", 10709, 16, 1,
                  "The number of columns for each row in a table value constructor must be the same."},
        ErrorCase{"INSERT INTO lin2world.dbo.builder_account VALUES (account_name,1,1)", 128, 15, 1,
                  "The name \"account_name\" is not permitted in this context. Valid expressions are constants, "
                  "constant expressions, and (in some contexts) variables. Column names are not permitted."},
        ErrorCase{"SELECT x.account FROM lin2db.dbo.user_auth", 4104, 16, 1,
                  "The multi-part identifier \"x.account\" could not be bound."},
        ErrorCase{"SELECT account, COUNT(*) FROM lin2db.dbo.user_auth", 8120, 16, 1,
                  "Column 'dbo.user_auth.account' is invalid in the select list because it is not contained in "
                  "either an aggregate function or the GROUP BY clause."},
        ErrorCase{"SELECT * FROM lin2db.dbo.user_auth ORDER BY 9", 108, 16, 1,
                  "The ORDER BY position number 9 is out of range of the number of items in the select list."},
        ErrorCase{"SELECT *", 263, 16, 1, "Must specify table to select from."},
        ErrorCase{"SELECT @x", 137, 15, 2, "Must declare the scalar variable \"@x\"."},
        ErrorCase{"SELECT NOSUCHFUNC(1)", 195, 15, 10, "'NOSUCHFUNC' is not a recognized built-in function name."},
        ErrorCase{"SELECT 1 /* open", 113, 15, 1, "Missing end comment mark '*/'."},
        ErrorCase{"SELECT 1 WHERE CAST('a' AS text) = 'a'", 402, 16, 1,
                  "The data types text and varchar are incompatible in the equal to operator."}));

TEST_F(EngineTest, StatementErrorsAreFollowedByTerminationNoticeAndTheBatchGoesOn) {
    ok("INSERT INTO lin2world.dbo.builder_account VALUES ('gm',1,1)");
    RecordingSink sink =
        run("INSERT INTO lin2world.dbo.builder_account VALUES ('gm',2,2)\n"
            "INSERT INTO lin2world.dbo.builder_account VALUES ('other',3,3)");
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].number, 2627);
    EXPECT_EQ(sink.messages[0].line, 1);
    EXPECT_EQ(sink.messages[1].number, 3621);
    EXPECT_EQ(sink.messages[1].severity, 0);
    EXPECT_EQ(sink.messages[1].text, "The statement has been terminated.");
    ASSERT_EQ(sink.dones.size(), 2u);
    EXPECT_TRUE(sink.dones[0].error);
    EXPECT_FALSE(sink.dones[1].error);
    EXPECT_EQ(sink.dones[1].count, 1);
    EXPECT_EQ(rows("SELECT account_name, default_builder FROM lin2world.dbo.builder_account"),
              (std::vector<std::string>{"gm|1", "other|3"}));
}

TEST_F(EngineTest, SyntaxErrorRunsNothingOfTheBatch) {
    RecordingSink sink =
        run("INSERT INTO lin2world.dbo.builder_account VALUES ('a',1,1)\n"
            "SELECT FROM WHERE");
    EXPECT_EQ(sink.errors(), std::vector<int32_t>{156});
    EXPECT_EQ(sink.messages[0].line, 2);
    EXPECT_TRUE(rows("SELECT * FROM lin2world.dbo.builder_account").empty());
}

TEST_F(EngineTest, BatchAbortingErrorKeepsWhatRanBefore) {
    RecordingSink sink =
        run("INSERT INTO lin2world.dbo.builder_account VALUES ('a',1,1)\n"
            "SELECT * FROM lin2world.dbo.missing\n"
            "INSERT INTO lin2world.dbo.builder_account VALUES ('b',1,1)");
    EXPECT_EQ(sink.errors(), std::vector<int32_t>{208});
    ASSERT_EQ(sink.dones.size(), 2u);
    EXPECT_FALSE(sink.dones[0].error);
    EXPECT_TRUE(sink.dones[1].error);
    EXPECT_EQ(rows("SELECT account_name FROM lin2world.dbo.builder_account"), std::vector<std::string>{"a"});
}

TEST_F(EngineTest, InvalidColumnOfAnExistingTableStopsTheBatchBeforeItRuns) {
    RecordingSink sink =
        run("INSERT INTO lin2world.dbo.builder_account VALUES ('a',1,1)\n"
            "SELECT nope FROM lin2world.dbo.builder_account");
    EXPECT_EQ(sink.errors(), std::vector<int32_t>{207});
    EXPECT_TRUE(rows("SELECT * FROM lin2world.dbo.builder_account").empty());
}

TEST_F(EngineTest, FailingMultiRowInsertInsertsNone) {
    RecordingSink sink = run("INSERT INTO lin2world.dbo.builder_account VALUES ('a',1,1),('b',2,2),('a',3,3)");
    EXPECT_EQ(sink.errors(), std::vector<int32_t>{2627});
    EXPECT_TRUE(rows("SELECT * FROM lin2world.dbo.builder_account").empty());
    RecordingSink conv = run("INSERT INTO lin2world.dbo.builder_account VALUES ('a',1,1),('b','x',2)");
    EXPECT_EQ(conv.errors(), std::vector<int32_t>{245});
    EXPECT_TRUE(rows("SELECT * FROM lin2world.dbo.builder_account").empty());
}

TEST_F(EngineTest, FailingUpdateChangesNoRow) {
    ok("INSERT INTO lin2world.dbo.builder_account VALUES ('a',1,1),('b',2,2),('c',3,3)");
    RecordingSink sink = run("UPDATE lin2world.dbo.builder_account SET account_name = 'b' WHERE account_name <> 'b'");
    EXPECT_EQ(sink.errors(), std::vector<int32_t>{2627});
    EXPECT_EQ(rows("SELECT account_name, default_builder FROM lin2world.dbo.builder_account"),
              (std::vector<std::string>{"a|1", "b|2", "c|3"}));
    // Keys are checked for the statement as a whole: swapping through each other is fine.
    ok("UPDATE lin2world.dbo.builder_account SET default_builder = default_builder + 10");
    EXPECT_EQ(rows("SELECT default_builder FROM lin2world.dbo.builder_account ORDER BY 1"),
              (std::vector<std::string>{"11", "12", "13"}));
}

TEST_F(EngineTest, TablesBuiltByTestsHoldTheirKeysDefaultsAndIdentity) {
    ok("CREATE TABLE lin2db.dbo.fixture (id bigint IDENTITY(100,10) NOT NULL, a varchar(10) NOT NULL, b int NOT NULL,"
       " note nvarchar(20) NULL DEFAULT N'none', CONSTRAINT PK_fixture PRIMARY KEY (a, b), UNIQUE (note))");
    ok("INSERT INTO lin2db.dbo.fixture (a, b) VALUES ('x', 1)");
    ok("INSERT INTO lin2db.dbo.fixture (a, b, note) VALUES ('x', 2, 'two'), ('y', 1, NULL)");
    EXPECT_EQ(rows("SELECT id, a, b, note FROM lin2db.dbo.fixture"),
              (std::vector<std::string>{"100|x|1|none", "110|x|2|two", "120|y|1|NULL"}));
    RecordingSink dup = run("INSERT INTO lin2db.dbo.fixture (a, b) VALUES ('X', 1)");
    ASSERT_EQ(dup.errors(), std::vector<int32_t>{2627});
    EXPECT_EQ(dup.messages[0].text,
              "Violation of PRIMARY KEY constraint 'PK_fixture'. Cannot insert duplicate key in object "
              "'dbo.fixture'. The duplicate key value is (X, 1).");
    // A unique key admits one NULL, as in SQL Server.
    EXPECT_EQ(run("INSERT INTO lin2db.dbo.fixture (a, b, note) VALUES ('z', 1, NULL)").errors(),
              std::vector<int32_t>{2627});
    ok("INSERT INTO lin2db.dbo.fixture (a, b) SELECT account_name, default_builder FROM lin2world.dbo.builder_account");
    ok("DROP TABLE lin2db.dbo.fixture");
    EXPECT_EQ(run("SELECT * FROM lin2db.dbo.fixture").errors(), std::vector<int32_t>{208});
    ok("DROP TABLE IF EXISTS lin2db.dbo.fixture");
}

TEST_F(EngineTest, InsertSelectCopiesRows) {
    ok("INSERT INTO lin2db.dbo.user_account (account) VALUES ('a'), ('b'), ('c')");
    auto copy =
        ok("INSERT INTO lin2world.dbo.builder_account (account_name, account_id) "
           "SELECT account, uid FROM lin2db.dbo.user_account WHERE uid > 1");
    EXPECT_EQ(copy.dones.back().count, 2);
    EXPECT_EQ(rows("SELECT account_name, default_builder, account_id FROM lin2world.dbo.builder_account"),
              (std::vector<std::string>{"b|0|2", "c|0|3"}));
}

// ---- session state SQL Server keeps ----

TEST_F(EngineTest, RowCountIsZeroAfterAFailedStatement) {
    RecordingSink sink =
        run("INSERT INTO lin2world.dbo.builder_account VALUES ('gm',1,1)\n"
            "INSERT INTO lin2world.dbo.builder_account VALUES ('gm',2,2)\n"
            "SELECT @@ROWCOUNT, @@ERROR");
    EXPECT_EQ(sink.errors(), std::vector<int32_t>{2627});
    EXPECT_EQ(sink.text(), std::vector<std::string>{"0|2627"});
}

TEST_F(EngineTest, OneReleaseAndOneServerNameEverywhere) {
    session.serverName = "VAC-DB1";
    const auto r = rows(
        "SELECT @@VERSION, SERVERPROPERTY('ProductVersion'), @@MICROSOFTVERSION / 16777216, "
        "@@MICROSOFTVERSION % 65536, @@SERVERNAME, SERVERPROPERTY('ServerName')");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].rfind("Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64)", 0), 0u) << r[0];
    EXPECT_NE(r[0].find("|15.0.2000.5|15|2000|VAC-DB1|VAC-DB1"), std::string::npos) << r[0];
}

TEST_F(EngineTest, ParametersAreVariablesOfTheBatch) {
    session.variables = {{"@a", makeType(SqlType::Int), Value{int64_t{21}}, false},
                         {"@Out", makeType(SqlType::VarChar, 5), Value{}, true}};
    EXPECT_EQ(rows("SET @out = CAST(@A * 2 AS varchar(10)) + 'xyz' SELECT @a, @OUT"),
              std::vector<std::string>{"21|42xyz"});
    // Assignment to a variable cuts to its length silently, as SQL Server does.
    EXPECT_EQ(std::get<std::string>(session.variables[1].value), "42xyz");
    ok("SET @out = 'abcdefgh'");
    EXPECT_EQ(std::get<std::string>(session.variables[1].value), "abcde");
    EXPECT_EQ(run("SET @missing = 1").errors(), std::vector<int32_t>{137});
    session.variables.clear();
    EXPECT_EQ(run("SELECT @a").errors(), std::vector<int32_t>{137});
}

struct WaitForCase {
    const char* text;
    int32_t error;  // 0: accepted
};

class WaitForTest : public EngineTest, public ::testing::WithParamInterface<WaitForCase> {};

TEST_P(WaitForTest, AcceptsSqlServersTimeStrings) {
    const auto sink = run(std::string("WAITFOR DELAY '") + GetParam().text + "'");
    EXPECT_EQ(sink.errors(), GetParam().error ? std::vector<int32_t>{GetParam().error} : std::vector<int32_t>{});
}

INSTANTIATE_TEST_SUITE_P(Cases, WaitForTest,
                         ::testing::Values(WaitForCase{"00:00:00.010", 0}, WaitForCase{"0:0:0.01", 0},
                                           WaitForCase{"00:00", 0}, WaitForCase{"24:00:00", 148},
                                           WaitForCase{"00:60:00", 148}, WaitForCase{"soon", 148},
                                           WaitForCase{"00:00:00.", 148}));

TEST_F(EngineTest, WaitForLetsOtherSessionsRun) {
    // A sink whose wait runs another session's batch meanwhile: it must not find the engine locked.
    struct Waiter : RecordingSink {
        Engine* engine = nullptr;
        std::vector<std::string> seen;
        void wait(std::chrono::milliseconds) override {
            Session other;
            RecordingSink sink;
            engine->execute(other, "SELECT COUNT(*) FROM lin2world.dbo.builder_account", sink);
            seen = sink.text();
        }
    } waiter;
    waiter.engine = &engine;
    engine.execute(session, "INSERT INTO lin2world.dbo.builder_account VALUES ('w',1,1) WAITFOR DELAY '00:00:01'",
                   waiter);
    EXPECT_TRUE(waiter.errors().empty());
    EXPECT_EQ(waiter.seen, std::vector<std::string>{"1"});
}

}  // namespace
}  // namespace standin::test
