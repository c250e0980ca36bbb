// TMSQuery over the ODBC provider against the SQL Server stand-in: open, execute, navigation, the
// account tool's own statements, fetch blocks and the errors a server can show.
#include "tests/query/StandinFixture.h"
#include "tests/support/ExpectThrows.h"

#include <gmock/gmock.h>

#include <cstddef>
#include <cstring>
#include <vector>

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

const std::string Hash = "0x0102030405060708090A0B0C0D0E0F10";

class QueryTest : public StandinQueryFixture {
protected:
    // n rows 1..n in a table of its own.
    void MakeNumbers(const std::string& table, int n) {
        Run("CREATE TABLE lin2db.dbo." + table + " (n int NOT NULL, s varchar(10) NULL)");
        if (n == 0) return;
        std::string sql = "INSERT INTO lin2db.dbo." + table + " VALUES ";
        for (int i = 1; i <= n; ++i)
            sql += (i > 1 ? "," : "") + ("(" + std::to_string(i) + ",'r" + std::to_string(i) + "')");
        Run(sql);
    }
};

// ---------------------------------------------------------------------------------------------------
// The account tool's statements

TEST_F(QueryTest, CreatesAndEditsAnAccountWithTheProgramsStatements) {
    Open("SELECT * FROM lin2db.dbo.user_auth WHERE account = 'alpha'");
    EXPECT_EQ(query->RecordCount(), 0);
    EXPECT_TRUE(query->EndOfData());

    Run("INSERT INTO lin2db.dbo.user_auth VALUES ('alpha'," + Hash + ",'','',0x0,0x0)");
    EXPECT_FALSE(query->Active());
    EXPECT_EQ(query->AffectedRows(), 1);
    Run("INSERT INTO lin2db.dbo.user_account VALUES ('alpha',1,0,0,0,0,null,null,null,0,null,null,null)");
    EXPECT_EQ(query->AffectedRows(), 1);

    Open("SELECT uid FROM lin2db.dbo.user_account WHERE account = 'alpha'");
    ASSERT_EQ(query->RecordCount(), 1);
    const std::string uid = query->Fields()[0].AsString();
    EXPECT_GT(query->Fields()[0].AsInteger(), 0);
    EXPECT_EQ(uid, std::to_string(query->Fields()[0].AsInteger()));
    Run("INSERT INTO lin2world.dbo.builder_account VALUES ('alpha',3," + uid + ")");

    Open("SELECT * FROM lin2db.dbo.user_auth WHERE account = 'alpha'");
    ASSERT_EQ(query->RecordCount(), 1);
    EXPECT_EQ(query->Fields()[0].AsString(), "alpha");
    EXPECT_EQ(query->Fields()[1].AsString(),
              std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10", 16));
    EXPECT_EQ(query->Fields()[2].AsString(), "");

    Run("UPDATE lin2db.dbo.user_auth SET password = " + Hash +
        ",quiz1 = '',answer1 = 0x0,quiz2 = '',answer2 = 0x0 WHERE account = 'alpha'");
    EXPECT_EQ(query->AffectedRows(), 1);
    Run("UPDATE lin2db.dbo.user_account SET block_flag = 1,block_flag2 = 0 WHERE account = 'alpha'");
    Open("SELECT block_flag,block_flag2 FROM lin2db.dbo.user_account WHERE account = 'alpha'");
    EXPECT_EQ(query->Fields()[0].AsInteger(), 1);
    EXPECT_EQ(query->Fields()[1].AsString(), "0");

    Run("UPDATE lin2world.dbo.builder_account SET default_builder = 4 WHERE account_name = 'alpha'");
    Open("SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = 'alpha'");
    EXPECT_EQ(query->Fields()[0].AsInteger(), 4);
    Run("DELETE FROM lin2world.dbo.builder_account WHERE account_name = 'alpha'");
    EXPECT_EQ(query->AffectedRows(), 1);
    Open("SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = 'alpha'");
    EXPECT_EQ(query->RecordCount(), 0);
    EXPECT_EQ(query->Fields()[0].AsInteger(), 0);
    EXPECT_EQ(query->Fields()[0].AsString(), "");
}

TEST_F(QueryTest, ListLoadReadsEveryAccountInOrder) {
    for (const char* name : {"a1", "b2", "c3"}) {
        Run(std::string("INSERT INTO lin2db.dbo.user_auth VALUES ('") + name + "'," + Hash + ",'','',0x0,0x0)");
    }
    Open("SELECT account FROM lin2db.dbo.user_auth");
    ASSERT_EQ(query->RecordCount(), 3);
    std::vector<std::string> names;
    while (!query->EndOfData()) {
        names.push_back(query->Fields()[0].AsString());
        query->Next();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a1", "b2", "c3"}));
}

// ---------------------------------------------------------------------------------------------------
// Open, navigation, close

TEST_F(QueryTest, NextStepsThroughThreeRowsAndStaysOnTheLast) {
    MakeNumbers("three", 3);
    Open("SELECT n FROM lin2db.dbo.three ORDER BY n");
    EXPECT_EQ(query->RecordCount(), 3);
    EXPECT_FALSE(query->EndOfData());
    EXPECT_FALSE(query->StartOfData());
    EXPECT_EQ(query->RecNo(), 1);
    query->Next();
    query->Next();
    EXPECT_FALSE(query->EndOfData());
    EXPECT_EQ(query->RecNo(), 3);
    query->Next();
    EXPECT_TRUE(query->EndOfData());
    EXPECT_EQ(query->RecNo(), 3);
    EXPECT_EQ(query->Fields()[0].AsInteger(), 3);
    query->Next();  // nothing moves past the end
    EXPECT_EQ(query->Fields()[0].AsInteger(), 3);
}

TEST_F(QueryTest, CloseDropsFieldsAndRecords) {
    MakeNumbers("closing", 2);
    Open("SELECT n FROM lin2db.dbo.closing");
    query->Close();
    EXPECT_FALSE(query->Active());
    EXPECT_TRUE(query->EndOfData());
    EXPECT_TRUE(query->StartOfData());
    EXPECT_EQ(query->RecordCount(), 0);
    vactest::ExpectThrows<Exception>([&] { query->Fields()[0]; }, "List index out of bounds (0)");
    vactest::ExpectThrows<Exception>([&] { query->Next(); }, "Cannot perform this operation on a closed dataset");
}

TEST_F(QueryTest, AssigningSqlClosesAndTheNextOpenRunsTheNewText) {
    MakeNumbers("swap", 2);
    Open("SELECT n FROM lin2db.dbo.swap WHERE n = 1");
    query->SQL().SetText("SELECT n FROM lin2db.dbo.swap WHERE n = 2");
    EXPECT_FALSE(query->Active());
    query->Open();
    EXPECT_EQ(query->Fields()[0].AsInteger(), 2);
    // Adding a line is a change too.
    query->SQL().Add("OR n = 1");
    EXPECT_FALSE(query->Active());
    query->Open();
    EXPECT_EQ(query->RecordCount(), 2);
}

TEST_F(QueryTest, SqlReachesTheServerWithKeywordsUpperCasedAndTrailingBlanksRemoved) {
    MakeNumbers("cased", 1);
    server->clearStatements();
    query->SQL().SetText("select n from lin2db.dbo.cased where s = 'r1:x'  \r\n");
    query->Open();
    EXPECT_EQ(query->RecordCount(), 0);
    ASSERT_EQ(server->statements().size(), 1u);
    EXPECT_EQ(server->statements()[0].sql, "SELECT n FROM lin2db.dbo.cased WHERE s = 'r1:x'");
}

TEST_F(QueryTest, OpenConnectsAClosedConnectionWithItsCurrentSettings) {
    ASSERT_FALSE(connection->Connected());
    Open("SELECT 1");
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(query->Fields()[0].AsInteger(), 1);
}

TEST_F(QueryTest, DisconnectClosesTheQueryAndTheNextOpenReconnects) {
    Open("SELECT 1");
    connection->Disconnect();
    EXPECT_FALSE(query->Active());
    EXPECT_FALSE(connection->Connected());
    query->Open();
    EXPECT_TRUE(connection->Connected());
    EXPECT_TRUE(query->Active());
}

TEST_F(QueryTest, DuplicateColumnNamesGetSuffixesAndBothAreFetched) {
    Open("SELECT 1 AS x, 2 AS x, 3 AS x");
    ASSERT_EQ(query->Fields().Count(), 3u);
    EXPECT_EQ(query->Fields()[0].FieldName(), "x");
    EXPECT_EQ(query->Fields()[1].FieldName(), "x_1");
    EXPECT_EQ(query->Fields()[2].FieldName(), "x_2");
    EXPECT_EQ(query->Fields()[1].AsInteger(), 2);
    EXPECT_EQ(query->FieldByName("x_2").AsInteger(), 3);
}

// ---------------------------------------------------------------------------------------------------
// Execute and statements without rows

TEST_F(QueryTest, ExecuteOfAnInsertLeavesTheDatasetClosed) {
    MakeNumbers("ins", 0);
    Run("INSERT INTO lin2db.dbo.ins VALUES (7,'x')");
    EXPECT_FALSE(query->Active());
    EXPECT_EQ(query->AffectedRows(), 1);
    vactest::ExpectThrows<Exception>([&] { query->Fields()[0].AsString(); }, "List index out of bounds (0)");
    EXPECT_EQ(query->OLEDBRecordSet().ResultState(), rsNoResultSet);
    EXPECT_EQ(query->OLEDBRecordSet().Command().GetCursorState(), csIdle);
    EXPECT_FALSE(query->HoldsProviderRowset());
}

TEST_F(QueryTest, ExecuteOfASelectOpensOnItsRowsAndRunsItOnce) {
    MakeNumbers("once", 4);
    server->clearStatements();
    Run("SELECT n FROM lin2db.dbo.once ORDER BY n");
    EXPECT_TRUE(query->Active());
    EXPECT_EQ(query->RecordCount(), 4);
    EXPECT_EQ(query->Fields()[0].AsInteger(), 1);
    EXPECT_EQ(BatchesWith("FROM lin2db.dbo.once"), 1);
}

TEST_F(QueryTest, OpenOfAStatementWithoutRowsRunsItAndRaises) {
    MakeNumbers("upd", 3);
    query->SQL().SetText("UPDATE lin2db.dbo.upd SET s = 'changed' WHERE n = 2");
    vactest::ExpectThrows<Exception>([&] { query->Open(); }, "Query must return exactly one result set - use Execute");
    EXPECT_FALSE(query->Active());
    query->SQL().SetText("INSERT INTO lin2db.dbo.upd VALUES (4,'new')");
    vactest::ExpectThrows<Exception>([&] { query->Open(); }, "Query must return exactly one result set - use Execute");
    // Both statements ran, and the connection is free for the next one.
    Open("SELECT s FROM lin2db.dbo.upd WHERE n IN (2, 4) ORDER BY n");
    ASSERT_EQ(query->RecordCount(), 2);
    EXPECT_EQ(query->Fields()[0].AsString(), "changed");
    query->Next();
    EXPECT_EQ(query->Fields()[0].AsString(), "new");
}

TEST_F(QueryTest, BatchOfInsertThenSelectSkipsTheRowCountAndReadsTheRows) {
    MakeNumbers("batch", 2);
    Open("INSERT INTO lin2db.dbo.batch VALUES (3,'r3') SELECT n FROM lin2db.dbo.batch ORDER BY n");
    EXPECT_EQ(query->RecordCount(), 3);
    EXPECT_EQ(query->Fields()[0].AsInteger(), 1);
    EXPECT_FALSE(query->HoldsProviderRowset());
}

TEST_F(QueryTest, StatementsAfterTheSelectOfABatchStillRun) {
    MakeNumbers("tail", 2);
    Open("SELECT n FROM lin2db.dbo.tail; DELETE FROM lin2db.dbo.tail WHERE n = 1");
    EXPECT_EQ(query->RecordCount(), 2);
    Open("SELECT n FROM lin2db.dbo.tail");
    EXPECT_EQ(query->RecordCount(), 1);
}

TEST_F(QueryTest, AffectedRowsFollowsTheLastRowCountAndOpenResetsIt) {
    MakeNumbers("counts", 5);
    Run("UPDATE lin2db.dbo.counts SET s = 'x' WHERE n > 2");
    EXPECT_EQ(query->AffectedRows(), 3);
    Run("DELETE FROM lin2db.dbo.counts WHERE n = 99");
    EXPECT_EQ(query->AffectedRows(), 0);
    Run("UPDATE lin2db.dbo.counts SET s = 'y' WHERE n = 1; DELETE FROM lin2db.dbo.counts WHERE n > 3");
    EXPECT_EQ(query->AffectedRows(), 2);
    Open("SELECT n FROM lin2db.dbo.counts");
    EXPECT_EQ(query->AffectedRows(), -1);
}

TEST_F(QueryTest, AfterExecuteReportsSuccessAndFailure) {
    std::vector<bool> results;
    query->AfterExecute = [&](TDataSet*, bool ok) { results.push_back(ok); };
    Run("SELECT 1");
    query->SQL().SetText("SELECT * FROM lin2db.dbo.missing_table");
    EXPECT_THROW(query->Execute(), EMSError);
    EXPECT_EQ(results, (std::vector<bool>{true, false}));
}

// ---------------------------------------------------------------------------------------------------
// Fetch blocks

struct BlockCase {
    int rows;
    bool fetchAll;
    int recordsAfterOpen;
    bool holdsRowsetAfterOpen;
};

class FetchBlockTest : public QueryTest, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(FetchBlockTest, ReadsBlocksOfFetchRows) {
    const BlockCase& c = GetParam();
    MakeNumbers("block", c.rows);
    query->SetFetchRows(25);
    query->SetFetchAll(c.fetchAll);
    Open("SELECT n, s FROM lin2db.dbo.block ORDER BY n");
    EXPECT_EQ(query->RecordCount(), c.recordsAfterOpen);
    EXPECT_EQ(query->HoldsProviderRowset(), c.holdsRowsetAfterOpen);
    int seen = 0;
    while (!query->EndOfData()) {
        ++seen;
        EXPECT_EQ(query->Fields()[0].AsInteger(), seen);
        EXPECT_EQ(query->Fields()[1].AsString(), "r" + std::to_string(seen));
        query->Next();
    }
    EXPECT_EQ(seen, c.rows);
    EXPECT_EQ(query->RecordCount(), c.rows);
    EXPECT_FALSE(query->HoldsProviderRowset());
}

INSTANTIATE_TEST_SUITE_P(Rows, FetchBlockTest,
                         ::testing::Values(BlockCase{0, true, 0, false}, BlockCase{25, true, 25, false},
                                           BlockCase{26, true, 26, false}, BlockCase{24, false, 24, false},
                                           BlockCase{25, false, 25, true}, BlockCase{26, false, 25, true},
                                           BlockCase{60, false, 25, true}));

// The provider binds a rowset's columns once and keeps the bindings between blocks; a block asked for
// with another layout (other offsets, other columns, another row count) is bound afresh, and the
// layout before it comes back just as well.
TEST_F(QueryTest, ABlockWithAnotherLayoutIsReadIntoThatLayout) {
    MakeNumbers("layout", 60);
    query->SetFetchRows(25);
    query->SetFetchAll(false);
    Open("SELECT n, s FROM lin2db.dbo.layout ORDER BY n");
    ASSERT_EQ(query->RecordCount(), 25);
    provider::Rowset* rowset = query->OLEDBRecordSet().Command().ResultRowset();
    ASSERT_NE(rowset, nullptr);

    // Row: s's status, s (11 bytes) and its length, then n and its status; 10 rows a block.
    struct Row {
        uint32_t sStatus;
        char s[11];
        uint32_t sLength;
        int32_t n;
        uint32_t nStatus;
    };
    const std::vector<provider::Binding> bindings = {
        {.ordinal = 2,
         .type = provider::DBTYPE_STR,
         .valueOffset = offsetof(Row, s),
         .lengthOffset = offsetof(Row, sLength),
         .statusOffset = offsetof(Row, sStatus),
         .maxLength = sizeof(Row::s)},
        {.ordinal = 1,
         .type = provider::DBTYPE_I4,
         .valueOffset = offsetof(Row, n),
         .statusOffset = offsetof(Row, nStatus)},
    };
    std::vector<Row> rows(10);
    size_t fetched = 0;
    ASSERT_EQ(rowset->FetchBlock(bindings, rows.data(), sizeof(Row), rows.size(), fetched), provider::S_OK);
    ASSERT_EQ(fetched, 10u);
    for (size_t i = 0; i < fetched; ++i) {
        const std::string expected = "r" + std::to_string(26 + i);
        EXPECT_EQ(rows[i].n, static_cast<int32_t>(26 + i));
        EXPECT_EQ(std::string(rows[i].s), expected);
        EXPECT_EQ(rows[i].sLength, expected.size());
        EXPECT_EQ(rows[i].sStatus, provider::DBSTATUS_S_OK);
        EXPECT_EQ(rows[i].nStatus, provider::DBSTATUS_S_OK);
    }

    // The record set's own layout again for the rest: rows 36 to 60 follow the first 25.
    int seen = 0;
    while (!query->EndOfData()) {
        ++seen;
        const int n = seen <= 25 ? seen : seen + 10;
        EXPECT_EQ(query->Fields()[0].AsInteger(), n);
        EXPECT_EQ(query->Fields()[1].AsString(), "r" + std::to_string(n));
        query->Next();
    }
    EXPECT_EQ(seen, 50);
    EXPECT_FALSE(query->HoldsProviderRowset());
}

// What the block copy writes for each kind of text value: its status, its length (the whole value's,
// also when it did not fit) and the characters that fit, always terminated.
TEST_F(QueryTest, ABlockGivesEachTextValueItsStatusLengthAndTheCharactersThatFit) {
    struct Case {
        const char* sql;  // the value as an SQL literal
        uint32_t status;
        uint32_t length;
        std::string text;
    };
    const Case cases[] = {
        {"NULL", provider::DBSTATUS_S_ISNULL, 0, ""},
        {"''", provider::DBSTATUS_S_OK, 0, ""},
        {"'abc'", provider::DBSTATUS_S_OK, 3, "abc"},
        {"'abcdefghij'", provider::DBSTATUS_S_OK, 10, "abcdefghij"},          // fills the room exactly
        {"'abcdefghijk'", provider::DBSTATUS_S_TRUNCATED, 11, "abcdefghij"},  // one too many
        {"'abcdefghijklmnopqrst'", provider::DBSTATUS_S_TRUNCATED, 20, "abcdefghij"},
    };
    Run("CREATE TABLE lin2db.dbo.texts (n int NOT NULL, s varchar(30) NULL)");
    // The open reads the first row, -1, as a block of its own; the block below is the cases.
    std::string insert = "INSERT INTO lin2db.dbo.texts VALUES (-1, 'first')";
    for (size_t i = 0; i < std::size(cases); ++i) insert += ",(" + std::to_string(i) + "," + cases[i].sql + ")";
    Run(insert);
    query->SetFetchRows(1);
    query->SetFetchAll(false);
    Open("SELECT n, s FROM lin2db.dbo.texts ORDER BY n");
    provider::Rowset* rowset = query->OLEDBRecordSet().Command().ResultRowset();
    ASSERT_NE(rowset, nullptr);

    // Room for 10 characters and the terminator; the bytes around it show any write past it.
    struct Row {
        uint32_t status;
        char s[11];
        char after;
        uint32_t length;
    };
    const std::vector<provider::Binding> bindings = {
        {.ordinal = 2,
         .type = provider::DBTYPE_STR,
         .valueOffset = offsetof(Row, s),
         .lengthOffset = offsetof(Row, length),
         .statusOffset = offsetof(Row, status),
         .maxLength = sizeof(Row::s)},
    };
    std::vector<Row> rows(std::size(cases));
    for (Row& row : rows) {
        std::memset(&row, 0x5A, sizeof row);
        row.after = '!';
    }
    size_t fetched = 0;
    ASSERT_EQ(rowset->FetchBlock(bindings, rows.data(), sizeof(Row), rows.size(), fetched), provider::S_OK);
    ASSERT_EQ(fetched, std::size(cases));
    for (size_t i = 0; i < fetched; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(rows[i].status, c.status);
        EXPECT_EQ(rows[i].after, '!');
        if (c.status == provider::DBSTATUS_S_ISNULL) continue;
        EXPECT_EQ(rows[i].length, c.length);
        EXPECT_EQ(std::string(rows[i].s, strnlen(rows[i].s, sizeof rows[i].s)), c.text);
        EXPECT_NE(std::memchr(rows[i].s, 0, sizeof rows[i].s), nullptr) << "terminated";
    }
}

TEST_F(QueryTest, AnOpenRowsetKeepsTheConnectionBusyUntilFetchedToTheEnd) {
    MakeNumbers("busy", 30);
    query->SetFetchAll(false);
    Open("SELECT n FROM lin2db.dbo.busy ORDER BY n");
    ASSERT_TRUE(query->HoldsProviderRowset());

    TMSQuery other;
    other.SetConnection(connection.get());
    other.SQL().SetText("SELECT 1");
    vactest::ExpectThrows<Exception>(
        [&] { other.Open(); },
        "Cannot execute command in current transaction context until previous opened DataSet (CursorType is "
        "ctDefaultResultSet) is fetched to end");
    EXPECT_FALSE(other.Active());

    while (!query->EndOfData()) query->Next();
    EXPECT_EQ(query->RecordCount(), 30);
    other.Open();
    EXPECT_EQ(other.Fields()[0].AsInteger(), 1);
}

TEST_F(QueryTest, ClosingAPartlyReadResultFreesTheConnection) {
    MakeNumbers("partly", 40);
    query->SetFetchAll(false);
    Open("SELECT n FROM lin2db.dbo.partly");
    query->Close();
    EXPECT_FALSE(query->HoldsProviderRowset());
    Open("SELECT COUNT(*) FROM lin2db.dbo.partly");
    EXPECT_EQ(query->Fields()[0].AsInteger(), 40);
}

TEST_F(QueryTest, ErrorMidFetchKeepsTheRowsBeforeAndLeavesTheConnectionUsable) {
    MakeNumbers("mid", 40);
    query->SetFetchAll(false);
    Open("SELECT 100 / (30 - n) FROM lin2db.dbo.mid ORDER BY n");
    EXPECT_EQ(query->RecordCount(), 25);
    int read = 0;
    // Row 30 divides by zero: the 29 rows before it were read, the error follows them.
    vactest::ExpectThrows<EMSError>(
        [&] {
            while (!query->EndOfData()) {
                ++read;
                EXPECT_EQ(query->Fields()[0].AsInteger(), 100 / (30 - read));
                query->Next();
            }
        },
        HasSubstr("Divide by zero error encountered."));
    EXPECT_EQ(read, 25);
    EXPECT_EQ(query->RecordCount(), 29);
    EXPECT_FALSE(query->HoldsProviderRowset());
    while (!query->EndOfData()) query->Next();
    EXPECT_EQ(query->RecNo(), 29);
    query->Close();
    Open("SELECT COUNT(*) FROM lin2db.dbo.mid");
    EXPECT_EQ(query->Fields()[0].AsInteger(), 40);
}

TEST_F(QueryTest, ErrorDuringAFetchAllOpenLeavesTheDatasetClosed) {
    MakeNumbers("midall", 40);
    query->SQL().SetText("SELECT 100 / (30 - n) FROM lin2db.dbo.midall ORDER BY n");
    EXPECT_THROW(query->Open(), EMSError);
    EXPECT_FALSE(query->Active());
    EXPECT_FALSE(query->HoldsProviderRowset());
    Open("SELECT 1");
    EXPECT_EQ(query->Fields()[0].AsInteger(), 1);
}

// ---------------------------------------------------------------------------------------------------
// Errors

TEST_F(QueryTest, ServerErrorsReachTheCallerAsEMSError) {
    query->SQL().SetText("SELECT * FROM lin2db.dbo.no_such_table");
    const auto e = vactest::ExpectThrows<EMSError>([&] { query->Open(); }, HasSubstr("no_such_table"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->NativeError, 208);
    EXPECT_FALSE(query->Active());
    Open("SELECT 2");
    EXPECT_EQ(query->Fields()[0].AsInteger(), 2);
}

TEST_F(QueryTest, InjectedBatchFailureOnExecute) {
    Open("SELECT 1");  // connected
    standin::Message m;
    m.number = 2627;
    m.text = "Violation of PRIMARY KEY constraint 'PK_user_auth'.";
    m.severity = 14;
    server->failNextBatch({m});
    query->SQL().SetText("INSERT INTO lin2db.dbo.user_auth VALUES ('dup'," + Hash + ",'','',0x0,0x0)");
    const auto e = vactest::ExpectThrows<EMSError>([&] { query->Execute(); }, HasSubstr("PK_user_auth"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->NativeError, 2627);
    EXPECT_FALSE(query->Active());
}

TEST_F(QueryTest, DroppedConnectionFailsTheStatement) {
    Open("SELECT 1");
    server->dropNextBatch();
    query->SQL().SetText("SELECT 2");
    EXPECT_THROW(query->Open(), EDAError);
    EXPECT_FALSE(query->Active());
}

TEST_F(QueryTest, MisuseErrors) {
    TMSQuery unbound;
    unbound.SQL().SetText("SELECT 1");
    vactest::ExpectThrows<Exception>([&] { unbound.Open(); }, "Connection is not defined.");
    vactest::ExpectThrows<Exception>([&] { unbound.Execute(); }, "Connection is not defined.");

    TMSQuery empty;
    empty.SetConnection(connection.get());
    vactest::ExpectThrows<Exception>([&] { empty.Open(); }, "No SQL statement provided");

    vactest::ExpectThrows<Exception>([&] { query->SetFetchRows(0); }, "FetchRows must be 1..10000.");
    vactest::ExpectThrows<Exception>([&] { query->SetFetchRows(10001); }, "FetchRows must be 1..10000.");
    Open("SELECT 1");
    vactest::ExpectThrows<Exception>([&] { query->SetFetchRows(10); },
                                     "Cannot perform this operation on an open dataset");
    vactest::ExpectThrows<Exception>([&] { query->SetUniDirectional(true); },
                                     "Cannot perform this operation on an open dataset");
}

TEST_F(QueryTest, TextTheLexerCannotReadIsRefusedAndNothingOldRuns) {
    MakeNumbers("lex", 1);
    Open("SELECT n FROM lin2db.dbo.lex");
    vactest::ExpectThrows<Exception>([&] { query->SQL().SetText("SELECT n\x0c FROM lin2db.dbo.lex"); },
                                     StartsWith("Parser: The unknown symbol"));
    EXPECT_FALSE(query->Active());
    server->clearStatements();
    vactest::ExpectThrows<Exception>([&] { query->Open(); }, StartsWith("Parser: The unknown symbol"));
    EXPECT_TRUE(server->statements().empty());
}

TEST_F(QueryTest, ParametersAreRefusedWithAClearError) {
    query->SQL().SetText("SELECT * FROM lin2db.dbo.user_auth WHERE account = :name");
    ASSERT_EQ(query->Params().Count(), 1u);
    vactest::ExpectThrows<Exception>([&] { query->Open(); }, HasSubstr("Parameters are not supported"));
    EXPECT_FALSE(query->Active());
}

TEST_F(QueryTest, ServerCursorsAreRefusedWithAClearError) {
    query->SetCursorType(TCursorType::ctKeyset);
    query->SQL().SetText("SELECT 1");
    vactest::ExpectThrows<Exception>([&] { query->Open(); }, HasSubstr("Server cursors are not supported"));
}

}  // namespace

namespace {

// The connection's own command, used for texts it executes on a caller's behalf.
class ConnectionExecTest : public StandinQueryFixture {};

TEST_F(ConnectionExecTest, ExecSQLRunsATextOnTheConnection) {
    const auto result = connection->ExecSQL("INSERT INTO lin2db.dbo.user_auth VALUES ('viaconn'," +
                                            std::string("0x01020304050607080910111213141516") + ",'','',0x0,0x0)");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(result));
    EXPECT_TRUE(connection->Connected());
    Open("SELECT account FROM lin2db.dbo.user_auth WHERE account = 'viaconn'");
    EXPECT_EQ(query->RecordCount(), 1);
    // A text with rows is read off and does not keep the connection busy.
    connection->ExecSQL("SELECT account FROM lin2db.dbo.user_auth");
    Open("SELECT 1");
    EXPECT_EQ(query->Fields()[0].AsInteger(), 1);
}

TEST_F(ConnectionExecTest, ExecSQLWithParametersIsRefused) {
    vactest::ExpectThrows<EDatabaseError>([&] { connection->ExecSQL("SELECT :Result = 1", {int32_t{5}}); },
                                          HasSubstr("Parameters are not supported"));
}

}  // namespace
