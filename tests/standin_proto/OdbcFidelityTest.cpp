// The stand-in as the FreeTDS ODBC driver sees it: every column type, NULLs, multiple results,
// errors in the middle of a batch, transactions, cancel, time-outs and the faults on demand.
#include "tests/standin_sql/CodePageSamples.h"
#include "tools/standin/sql/CodePage.h"
#include "tools/standin/tds/StandinServer.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using namespace standin;

namespace {

struct Diag {
    std::string state;
    int native = 0;
    std::string text;
};

std::vector<Diag> diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<Diag> out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR text[1024] = {};
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &length))) break;
        out.push_back({reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(text)});
    }
    return out;
}

std::string describe(const std::vector<Diag>& diags) {
    std::string s;
    for (const auto& d : diags) s += "[" + d.state + "] " + std::to_string(d.native) + " " + d.text + "\n";
    return s;
}

class Odbc {
public:
    Odbc() {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    }
    ~Odbc() {
        if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        if (connected) SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    Odbc(const Odbc&) = delete;
    Odbc& operator=(const Odbc&) = delete;

    SQLRETURN connect(uint16_t port, const std::string& extra = "UID=sa;PWD=standin;DATABASE=lin2db;",
                      const std::string& clientCharset = "UTF-8") {
        const std::string text = "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=" + std::to_string(port) +
                                 ";TDS_Version=7.4;ClientCharset=" + clientCharset + ";" + extra;
        SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
        const SQLRETURN rc =
            SQLDriverConnect(dbc, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        connected = SQL_SUCCEEDED(rc);
        if (connected) SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        return rc;
    }
    SQLRETURN exec(const std::string& sql) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        return SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
    }
    // Runs sql that must succeed and drains every result.
    void run(const std::string& sql) {
        SQLRETURN rc = exec(sql);
        ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << sql << "\n" << describe(stmtDiag());
        while (SQL_SUCCEEDED(SQLMoreResults(stmt))) {}
    }
    std::vector<Diag> stmtDiag() const { return diagnostics(SQL_HANDLE_STMT, stmt); }
    std::vector<Diag> dbcDiag() const { return diagnostics(SQL_HANDLE_DBC, dbc); }
    SQLLEN rowCount() const {
        SQLLEN n = -2;
        SQLRowCount(stmt, &n);
        return n;
    }
    SQLSMALLINT columnCount() const {
        SQLSMALLINT n = -1;
        SQLNumResultCols(stmt, &n);
        return n;
    }
    // Column text, or "NULL".
    std::string text(SQLUSMALLINT column) const {
        std::string out;
        char buffer[256];
        SQLLEN indicator = 0;
        for (;;) {
            const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
            if (rc == SQL_NO_DATA) break;
            if (!SQL_SUCCEEDED(rc)) return "error: " + describe(stmtDiag());
            if (indicator == SQL_NULL_DATA) return "NULL";
            out += buffer;
            if (rc == SQL_SUCCESS) break;
        }
        return out;
    }
    // First column of the first row of a one-row query.
    std::string scalar(const std::string& sql) {
        if (!SQL_SUCCEEDED(exec(sql)) || !SQL_SUCCEEDED(SQLFetch(stmt))) return "failed: " + describe(stmtDiag());
        std::string v = text(1);
        SQLCloseCursor(stmt);
        return v;
    }

    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    bool connected = false;
};

// The server of the suite: as configured by default (encryption on, so the driver's default
// "request" gets an encrypted login), or with VAC_STANDIN_ENCRYPTION=required a server that
// encrypts every session, as CTest runs the suite a second time.
ServerOptions suiteOptions() {
    ServerOptions options;
    if (const char* mode = std::getenv("VAC_STANDIN_ENCRYPTION")) {
        const auto parsed = tds::parseEncryptionMode(mode);
        if (!parsed) throw std::invalid_argument(std::string("VAC_STANDIN_ENCRYPTION: ") + mode);
        options.encryption = *parsed;
    }
    return options;
}

class OdbcFidelity : public ::testing::Test {
protected:
    void SetUp() override {
        server.start();
        ASSERT_TRUE(SQL_SUCCEEDED(db.connect(server.port()))) << describe(db.dbcDiag());
        const auto logged = server.connectionEncryption();
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].encryption, options.encryption == tds::EncryptionMode::Required ? "full" : "login");
    }
    const ServerOptions options = suiteOptions();
    Server server{options};
    Odbc db;
};

}  // namespace

TEST_F(OdbcFidelity, EveryColumnTypeDescribesItselfAndReadsBack) {
    db.run(
        "CREATE TABLE alltypes (i int, si smallint, ti tinyint, bi bigint, b bit, r real, f float, m money,"
        " sm smallmoney, d decimal(10,3), n numeric(5,0), dt datetime, sdt smalldatetime, c char(5), vc varchar(20),"
        " nc nchar(3), nvc nvarchar(10), bn binary(3), vb varbinary(10), t text, nt ntext, im image,"
        " g uniqueidentifier, nn int NOT NULL)");
    db.run(
        "INSERT INTO alltypes VALUES (-5, 300, 255, 1099511627776, 1, 1.5, -2.25, -12.3456, 1.25, -1234.567, 42,"
        " '2023-03-17 01:00:00.500', '2023-03-17 01:01', 'ab', N'\xC3\xA9t\xC3\xA9 \xE2\x82\xAC', N'x', "
        "N'\xD0\x96\xC3\xA9',"
        " 0x01, 0xDEAD, 'text', N'ntext', 0x010203, '00112233-4455-6677-8899-AABBCCDDEEFF', 7)");
    db.run("INSERT INTO alltypes (nn) VALUES (8)");

    struct Expect {
        const char* name;
        SQLSMALLINT type;
        SQLULEN size;
        const char* value;
    };
    const Expect expected[] = {
        {"i", SQL_INTEGER, 10, "-5"},
        {"si", SQL_SMALLINT, 5, "300"},
        {"ti", SQL_TINYINT, 3, "255"},
        {"bi", SQL_BIGINT, 19, "1099511627776"},
        {"b", SQL_BIT, 1, "1"},
        {"r", SQL_REAL, 24, "1.5"},
        {"f", SQL_DOUBLE, 53, "-2.25"},
        {"m", SQL_DECIMAL, 19, "-12.3456"},
        {"sm", SQL_DECIMAL, 10, "1.2500"},
        {"d", SQL_NUMERIC, 10, "-1234.567"},
        {"n", SQL_NUMERIC, 5, "42"},
        {"dt", SQL_TYPE_TIMESTAMP, 23, "2023-03-17 01:00:00.500"},
        {"sdt", SQL_TYPE_TIMESTAMP, 16, "2023-03-17 01:01:00"},
        {"c", SQL_CHAR, 5, "ab   "},
        {"vc", SQL_VARCHAR, 20, "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"},
        {"nc", SQL_WCHAR, 3, "x  "},
        {"nvc", SQL_WVARCHAR, 10, "\xD0\x96\xC3\xA9"},
        {"bn", SQL_BINARY, 3, "010000"},
        {"vb", SQL_VARBINARY, 10, "DEAD"},
        {"t", SQL_LONGVARCHAR, 0, "text"},
        {"nt", SQL_WLONGVARCHAR, 0, "ntext"},
        {"im", SQL_LONGVARBINARY, 0, "010203"},
        {"g", SQL_GUID, 36, "00112233-4455-6677-8899-AABBCCDDEEFF"},
        {"nn", SQL_INTEGER, 10, "7"},
    };
    ASSERT_TRUE(SQL_SUCCEEDED(db.exec("SELECT * FROM alltypes ORDER BY nn"))) << describe(db.stmtDiag());
    ASSERT_EQ(db.columnCount(), static_cast<SQLSMALLINT>(std::size(expected)));
    for (SQLUSMALLINT i = 1; i <= std::size(expected); ++i) {
        const auto& e = expected[i - 1];
        SCOPED_TRACE(e.name);
        SQLCHAR name[64] = {};
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLDescribeCol(db.stmt, i, name, sizeof name, &nameLength, &type, &size, &digits, &nullable)));
        EXPECT_STREQ(reinterpret_cast<char*>(name), e.name);
        EXPECT_EQ(type, e.type);
        if (e.size != 0) {
            EXPECT_EQ(size, e.size);
        }
        EXPECT_EQ(nullable, std::string(e.name) == "nn" ? SQL_NO_NULLS : SQL_NULLABLE);
    }
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(db.stmt)));
    for (SQLUSMALLINT i = 1; i <= std::size(expected); ++i) {
        std::string value = db.text(i);
        if (expected[i - 1].type == SQL_BINARY || expected[i - 1].type == SQL_VARBINARY ||
            expected[i - 1].type == SQL_LONGVARBINARY)
            for (auto& ch : value) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        EXPECT_EQ(value, expected[i - 1].value) << expected[i - 1].name;
    }
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(db.stmt)));
    for (SQLUSMALLINT i = 1; i < std::size(expected); ++i) EXPECT_EQ(db.text(i), "NULL") << expected[i - 1].name;
    EXPECT_EQ(db.text(static_cast<SQLUSMALLINT>(std::size(expected))), "8");
    EXPECT_EQ(SQLFetch(db.stmt), SQL_NO_DATA);
}

TEST_F(OdbcFidelity, MultipleResultsAndRowCountsFollowEachOther) {
    db.run("CREATE TABLE multi (id int PRIMARY KEY, name varchar(10))");
    ASSERT_TRUE(
        SQL_SUCCEEDED(db.exec("INSERT INTO multi VALUES (1, 'a'), (2, 'b'); SELECT name FROM multi ORDER BY id;"
                              " UPDATE multi SET name = 'c'; SET NOCOUNT ON; SELECT COUNT(*) FROM multi")));
    EXPECT_EQ(db.columnCount(), 0);
    EXPECT_EQ(db.rowCount(), 2);
    ASSERT_EQ(SQLMoreResults(db.stmt), SQL_SUCCESS);
    EXPECT_EQ(db.columnCount(), 1);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(db.stmt)));
    EXPECT_EQ(db.text(1), "a");
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(db.stmt)));
    EXPECT_EQ(db.text(1), "b");
    EXPECT_EQ(SQLFetch(db.stmt), SQL_NO_DATA);
    ASSERT_EQ(SQLMoreResults(db.stmt), SQL_SUCCESS);
    EXPECT_EQ(db.columnCount(), 0);
    EXPECT_EQ(db.rowCount(), 2);
    ASSERT_EQ(SQLMoreResults(db.stmt), SQL_SUCCESS);  // SET NOCOUNT ON has no count and is skipped
    EXPECT_EQ(db.columnCount(), 1);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(db.stmt)));
    EXPECT_EQ(db.text(1), "2");
    EXPECT_EQ(SQLFetch(db.stmt), SQL_NO_DATA);
    EXPECT_EQ(SQLMoreResults(db.stmt), SQL_NO_DATA);
}

TEST_F(OdbcFidelity, AnErrorInTheMiddleOfABatchEndsOnlyItsStatement) {
    db.run("CREATE TABLE keyed (id int PRIMARY KEY)");
    ASSERT_TRUE(SQL_SUCCEEDED(
        db.exec("INSERT INTO keyed VALUES (1); INSERT INTO keyed VALUES (1); INSERT INTO keyed VALUES (2)")));
    EXPECT_EQ(db.rowCount(), 1);
    EXPECT_EQ(SQLMoreResults(db.stmt), SQL_ERROR);
    const auto diags = db.stmtDiag();
    ASSERT_GE(diags.size(), 2u) << describe(diags);
    EXPECT_EQ(diags[0].state, "23000");
    EXPECT_EQ(diags[0].native, 2627);
    EXPECT_NE(diags[0].text.find("Violation of PRIMARY KEY constraint"), std::string::npos);
    EXPECT_EQ(diags[1].native, 3621);
    EXPECT_NE(diags[1].text.find("The statement has been terminated."), std::string::npos);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLMoreResults(db.stmt)));
    EXPECT_EQ(db.rowCount(), 1);
    EXPECT_EQ(SQLMoreResults(db.stmt), SQL_NO_DATA);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM keyed"), "2");
}

TEST_F(OdbcFidelity, ServerErrorsArriveWithTheirNumbersStatesAndTexts) {
    db.run("CREATE TABLE strict (id int NOT NULL, name varchar(3))");
    struct Case {
        const char* sql;
        int native;
        const char* state;  // as the FreeTDS driver maps it
        const char* text;
    };
    const Case cases[] = {
        {"SELECT * FROM missing", 208, "42S02", "Invalid object name 'missing'."},
        {"SELECT nope FROM strict", 207, "42S22", "Invalid column name 'nope'."},
        {"SELECT * FROM strict WHERE id = = 1", 102, "42000", "Incorrect syntax near '='."},
        {"SELEC 1", 2812, "42000", "Could not find stored procedure 'SELEC'."},
        {"INSERT INTO strict VALUES (1)", 213, nullptr,
         "Column name or number of supplied values does not match table definition."},
        {"INSERT INTO strict (name) VALUES ('a')", 515, "23000",
         "Cannot insert the value NULL into column 'id', table 'lin2db.dbo.strict'; column does not allow nulls. "
         "INSERT fails."},
        {"INSERT INTO strict VALUES ('x', 'a')", 245, "22018",
         "Conversion failed when converting the varchar value 'x' to data type int."},
        {"INSERT INTO strict VALUES (1, 'abcd')", 2628, nullptr,
         "String or binary data would be truncated in table 'lin2db.dbo.strict', column 'name'. Truncated value: "
         "'abc'."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(db.exec(c.sql), SQL_ERROR);
        const auto diags = db.stmtDiag();
        ASSERT_FALSE(diags.empty());
        EXPECT_EQ(diags[0].native, c.native) << describe(diags);
        if (c.state) {
            EXPECT_EQ(diags[0].state, c.state);
        }
        EXPECT_EQ(diags[0].text, std::string("[FreeTDS][SQL Server]") + c.text);
    }
}

TEST_F(OdbcFidelity, TransactionsWithAutocommitOffCommitAndRollBack) {
    db.run("CREATE TABLE ledger (n int)");
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLSetConnectAttr(db.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
    db.run("INSERT INTO ledger VALUES (1)");
    ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, db.dbc, SQL_ROLLBACK))) << describe(db.dbcDiag());
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM ledger"), "0");
    db.run("INSERT INTO ledger VALUES (2)");
    ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, db.dbc, SQL_COMMIT))) << describe(db.dbcDiag());
    db.run("INSERT INTO ledger VALUES (3)");
    // FreeTDS switches autocommit back on with a rollback request, so the open insert goes.
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLSetConnectAttr(db.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0)));
    Odbc other;
    ASSERT_TRUE(SQL_SUCCEEDED(other.connect(server.port())));
    EXPECT_EQ(other.scalar("SELECT SUM(n) FROM ledger"), "2");
    db.run("INSERT INTO ledger VALUES (4)");  // autocommit again
    EXPECT_EQ(other.scalar("SELECT SUM(n) FROM ledger"), "6");
}

TEST_F(OdbcFidelity, CancelAndCloseOfAPartlyReadResultKeepTheConnectionUsable) {
    db.run("CREATE TABLE big (n int NOT NULL, s varchar(50) NOT NULL)");
    std::string insert = "INSERT INTO big VALUES ";
    for (int i = 0; i < 1000; ++i) insert += (i ? ",(" : "(") + std::to_string(i) + ", '" + std::string(50, 'q') + "')";
    for (int i = 0; i < 20; ++i) db.run(insert);

    ASSERT_TRUE(SQL_SUCCEEDED(db.exec("SELECT n, s FROM big")));
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(db.stmt)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLCloseCursor(db.stmt))) << describe(db.stmtDiag());
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM big"), "20000");

    ASSERT_TRUE(SQL_SUCCEEDED(db.exec("SELECT n, s FROM big")));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(db.stmt)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLCancel(db.stmt))) << describe(db.stmtDiag());
    EXPECT_EQ(db.scalar("SELECT MAX(n) FROM big"), "999");
}

TEST_F(OdbcFidelity, QueryTimeoutCancelsADelayedAnswer) {
    db.run("CREATE TABLE slow (n int)");
    server.setDelay(std::chrono::milliseconds(4000));
    SQLSetStmtAttr(db.stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
    EXPECT_EQ(db.exec("INSERT INTO slow VALUES (1)"), SQL_ERROR);
    const auto diags = db.stmtDiag();
    ASSERT_FALSE(diags.empty());
    EXPECT_EQ(diags[0].state, "HYT00") << describe(diags);
    server.setDelay(std::chrono::milliseconds(0));
    SQLSetStmtAttr(db.stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(0), 0);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM slow"), "0");  // the cancelled batch never ran
}

TEST_F(OdbcFidelity, InjectedErrorsReachTheDiagnosticsAndFatalOnesEndTheConnection) {
    server.failNextBatch({{2627, 1, 14, "Violation of PRIMARY KEY constraint 'PK_user_auth'.", "", 1},
                          {3621, 0, 10, "The statement has been terminated.", "", 1}});
    EXPECT_EQ(db.exec("SELECT 1"), SQL_ERROR);
    auto diags = db.stmtDiag();
    ASSERT_EQ(diags.size(), 2u) << describe(diags);
    EXPECT_EQ(diags[0].native, 2627);
    EXPECT_EQ(diags[0].state, "23000");
    EXPECT_EQ(diags[1].native, 3621);
    EXPECT_EQ(db.scalar("SELECT 1"), "1");

    server.failNextBatch({{50000, 1, 20, "Something fatal happened.", "", 1}});
    EXPECT_EQ(db.exec("SELECT 1"), SQL_ERROR);
    diags = db.stmtDiag();
    ASSERT_FALSE(diags.empty());
    EXPECT_EQ(diags[0].native, 50000);
    EXPECT_EQ(diags[0].text, "[FreeTDS][SQL Server]Something fatal happened.");
    EXPECT_EQ(db.exec("SELECT 1"), SQL_ERROR) << "the server closed the connection";
}

TEST_F(OdbcFidelity, ADroppedConnectionIsACommunicationFailure) {
    server.dropNextBatch();
    EXPECT_EQ(db.exec("SELECT 1"), SQL_ERROR);
    const auto diags = db.stmtDiag();
    ASSERT_FALSE(diags.empty());
    EXPECT_EQ(diags[0].native, 20017) << describe(diags);
    EXPECT_EQ(diags[0].text, "[FreeTDS][SQL Server]Unexpected EOF from the server");
    EXPECT_EQ(db.exec("SELECT 1"), SQL_ERROR) << "the connection is gone";
    Odbc fresh;
    ASSERT_TRUE(SQL_SUCCEEDED(fresh.connect(server.port())));
    EXPECT_EQ(fresh.scalar("SELECT 1"), "1");
}

TEST_F(OdbcFidelity, RefusedLoginsReportSqlServersErrors) {
    struct Case {
        const char* name;
        std::string connect;
        int refusals;
        std::vector<int> natives;
    };
    const Case cases[] = {
        {"wrong password", "UID=sa;PWD=wrong;", 0, {18456}},
        {"missing database", "UID=sa;PWD=standin;DATABASE=nowhere;", 0, {4060, 18456}},
        {"refused on demand", "UID=sa;PWD=standin;", 1, {18456}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.refuseLogins(c.refusals);
        Odbc client;
        EXPECT_EQ(client.connect(server.port(), c.connect), SQL_ERROR);
        const auto diags = client.dbcDiag();
        std::vector<int> natives;
        for (const auto& d : diags)
            if (d.native != 0) natives.push_back(d.native);
        std::sort(natives.begin(), natives.end());
        EXPECT_EQ(natives, c.natives) << describe(diags);
        bool sawLoginFailed = false;
        for (const auto& d : diags) {
            if (d.native != 18456) continue;
            sawLoginFailed = true;
            // Before a LOGINACK the driver does not know it talks to SQL Server and maps no numbers.
            EXPECT_EQ(d.state, "42000");
            EXPECT_EQ(d.text, "[FreeTDS][SQL Server]Login failed for user 'sa'.");
        }
        EXPECT_TRUE(sawLoginFailed);
    }
}

TEST(OdbcEncryption, EveryClientSettingAgainstEveryServerMode) {
    struct Case {
        tds::EncryptionMode server;
        const char* client;  // the driver's Encryption keyword; "" leaves its default (request)
        const char* logged;  // how much of the connection ran over TLS; nullptr: refused
        const char* error;   // the driver's diagnostic when refused
    };
    using tds::EncryptionMode;
    const Case cases[] = {
        {EncryptionMode::On, "", "login", nullptr},
        {EncryptionMode::On, "Encryption=request;", "login", nullptr},
        {EncryptionMode::On, "Encryption=require;", "full", nullptr},
        {EncryptionMode::On, "Encryption=off;", "none", nullptr},
        // Packets larger than the largest TLS record travel in several records.
        {EncryptionMode::On, "Encryption=require;PacketSize=32767;", "full", nullptr},
        {EncryptionMode::Required, "", "full", nullptr},
        {EncryptionMode::Required, "Encryption=require;", "full", nullptr},
        {EncryptionMode::Required, "Encryption=off;", nullptr, "[FreeTDS][SQL Server]Unable to connect to data source"},
        {EncryptionMode::Off, "", "none", nullptr},
        {EncryptionMode::Off, "Encryption=off;", "none", nullptr},
        {EncryptionMode::Off, "Encryption=require;", nullptr, "[FreeTDS][SQL Server]Unable to connect to data source"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(tds::encryptionModeName(c.server)) + " / " + c.client);
        ServerOptions options;
        options.encryption = c.server;
        options.demoAccounts = 300;
        Server server(options);
        server.start();
        Odbc client;
        const SQLRETURN rc =
            client.connect(server.port(), std::string("UID=sa;PWD=standin;DATABASE=lin2db;") + c.client);
        if (!c.logged) {
            EXPECT_EQ(rc, SQL_ERROR);
            const auto diags = client.dbcDiag();
            ASSERT_FALSE(diags.empty());
            EXPECT_EQ(diags[0].state, "08001") << describe(diags);
            EXPECT_EQ(diags[0].text, c.error) << describe(diags);
            EXPECT_TRUE(server.connectionEncryption().empty());
            continue;
        }
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << describe(client.dbcDiag());
        // Batches after the login, in clear or encrypted as agreed; the rows span many packets.
        EXPECT_EQ(client.scalar("SELECT COUNT(*) FROM lin2db.dbo.user_account"), "300");
        ASSERT_TRUE(SQL_SUCCEEDED(client.exec("SELECT * FROM lin2db.dbo.user_account")));
        int rows = 0;
        while (SQL_SUCCEEDED(SQLFetch(client.stmt))) ++rows;
        EXPECT_EQ(rows, 300);
        const auto logged = server.connectionEncryption();
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].encryption, c.logged);
    }
}

// One bound parameter: the C buffer the driver reads and the SQL type it declares.
struct BoundValue {
    SQLSMALLINT cType;
    SQLSMALLINT sqlType;
    SQLULEN size;
    SQLSMALLINT digits;
    std::vector<unsigned char> bytes;  // the C value; empty with null
    bool null = false;
};

template <typename T>
BoundValue bound(SQLSMALLINT cType, SQLSMALLINT sqlType, const T& value, SQLULEN size = 0, SQLSMALLINT digits = 0) {
    BoundValue b{cType, sqlType, size, digits, std::vector<unsigned char>(sizeof value), false};
    std::memcpy(b.bytes.data(), &value, sizeof value);
    return b;
}

BoundValue boundText(const std::string& text, SQLSMALLINT sqlType = SQL_VARCHAR, SQLSMALLINT digits = 0) {
    BoundValue b{SQL_C_CHAR,
                 sqlType,
                 std::max<SQLULEN>(text.size(), 1),
                 digits,
                 std::vector<unsigned char>(text.begin(), text.end()),
                 false};
    b.bytes.push_back(0);
    return b;
}

SQLRETURN bindAll(SQLHSTMT stmt, std::vector<BoundValue>& values, std::vector<SQLLEN>& indicators) {
    indicators.assign(values.size(), 0);
    for (size_t i = 0; i < values.size(); ++i) {
        auto& v = values[i];
        indicators[i] = v.null ? SQL_NULL_DATA : v.cType == SQL_C_CHAR ? SQL_NTS : static_cast<SQLLEN>(v.bytes.size());
        if (v.bytes.empty()) v.bytes.resize(8);
        const SQLRETURN rc =
            SQLBindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, v.cType, v.sqlType, v.size,
                             v.digits, v.bytes.data(), static_cast<SQLLEN>(v.bytes.size()), &indicators[i]);
        if (!SQL_SUCCEEDED(rc)) return rc;
    }
    return SQL_SUCCESS;
}

TEST_F(OdbcFidelity, ParameterisedStatementsRunWithTheirTypedValues) {
    SQL_TIMESTAMP_STRUCT when{2023, 3, 17, 1, 2, 3, 500000000};
    struct Case {
        const char* name;
        const char* sql;
        std::vector<BoundValue> values;
        const char* expected;
    };
    BoundValue nullInt = bound(SQL_C_SLONG, SQL_INTEGER, SQLINTEGER{0});
    nullInt.null = true;
    const std::vector<unsigned char> blob{0xDE, 0xAD, 0x00, 0x01};
    std::vector<Case> cases = {
        {"int", "SELECT ? + 1", {bound(SQL_C_SLONG, SQL_INTEGER, SQLINTEGER{41})}, "42"},
        {"bigint", "SELECT ?", {bound(SQL_C_SBIGINT, SQL_BIGINT, SQLBIGINT{1099511627776})}, "1099511627776"},
        {"double", "SELECT ? * 2", {bound(SQL_C_DOUBLE, SQL_DOUBLE, 1.25)}, "2.5"},
        {"varchar in Windows-1252", "SELECT ? + 'x'", {boundText("\xC3\xA9t\xC3\xA9")}, "\xC3\xA9t\xC3\xA9x"},
        {"nvarchar", "SELECT LEN(?)", {boundText("\xD0\x96\xC3\xA9", SQL_WVARCHAR)}, "2"},
        {"binary", "SELECT DATALENGTH(?)", {BoundValue{SQL_C_BINARY, SQL_VARBINARY, 4, 0, blob, false}}, "4"},
        {"timestamp",
         "SELECT CAST(? AS datetime)",
         {bound(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, when, 23, 3)},
         "2023-03-17 01:02:03.500"},
        {"decimal as text",
         "SELECT CAST(? AS decimal(10,3)) + 1",
         {boundText("-1234.567", SQL_DECIMAL, 3)},
         "-1233.567"},
        {"null", "SELECT ISNULL(?, -1)", {nullInt}, "-1"},
        {"several",
         "SELECT ? + ? + ?",
         {bound(SQL_C_SLONG, SQL_INTEGER, SQLINTEGER{1}), bound(SQL_C_SLONG, SQL_INTEGER, SQLINTEGER{2}),
          bound(SQL_C_SLONG, SQL_INTEGER, SQLINTEGER{3})},
         "6"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        SQLFreeStmt(db.stmt, SQL_CLOSE);
        SQLFreeStmt(db.stmt, SQL_RESET_PARAMS);
        std::vector<SQLLEN> indicators;
        ASSERT_TRUE(SQL_SUCCEEDED(bindAll(db.stmt, c.values, indicators))) << describe(db.stmtDiag());
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(db.stmt, (SQLCHAR*)c.sql, SQL_NTS))) << describe(db.stmtDiag());
        ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(db.stmt))) << describe(db.stmtDiag());
        EXPECT_EQ(db.text(1), c.expected);
    }
    SQLFreeStmt(db.stmt, SQL_RESET_PARAMS);
    EXPECT_EQ(db.scalar("SELECT 1"), "1");
}

// Every code-page family through the driver: a varchar column in the family's collation holds the
// text and hands it back, to a client that asked for UTF-8 and to one that asked for the family's
// own code page, which then reads and writes that code page's bytes.
TEST(OdbcCodePages, EachFamilyRoundTripsThroughTheDriver) {
    Server server;
    server.start();
    Odbc utf8;
    ASSERT_TRUE(SQL_SUCCEEDED(utf8.connect(server.port()))) << describe(utf8.dbcDiag());
    int n = 0;
    for (const auto& sample : test::kCodePageSamples) {
        SCOPED_TRACE(sample.collation);
        const std::string table = "cp" + std::to_string(n++);
        const std::string text = sample.text;
        utf8.run("CREATE TABLE " + table + " (k int, v varchar(12) COLLATE " + sample.collation + ", n nvarchar(12))");
        utf8.run("INSERT INTO " + table + " VALUES (1, N'" + text + "', N'" + text + "')");
        ASSERT_TRUE(SQL_SUCCEEDED(utf8.exec("SELECT v, n, DATALENGTH(v) FROM " + table))) << describe(utf8.stmtDiag());
        SQLCHAR name[16] = {};
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLDescribeCol(utf8.stmt, 1, name, sizeof name, &nameLength, &type, &size, &digits, &nullable)));
        EXPECT_EQ(type, SQL_VARCHAR);
        EXPECT_EQ(size, 12u);  // bytes
        ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(utf8.stmt)));
        EXPECT_EQ(utf8.text(1), text);
        EXPECT_EQ(utf8.text(2), text);
        EXPECT_EQ(utf8.text(3), std::to_string(sample.bytes));
        SQLCloseCursor(utf8.stmt);

        const auto codePage = static_cast<uint16_t>(sample.codePage);
        const std::string bytes = encodeCodePage(text, codePage);
        Odbc native;
        ASSERT_TRUE(SQL_SUCCEEDED(native.connect(server.port(), "UID=sa;PWD=standin;DATABASE=lin2db;",
                                                 "CP" + std::to_string(sample.codePage))))
            << describe(native.dbcDiag());
        EXPECT_EQ(native.scalar("SELECT v FROM " + table + " WHERE k = 1"), bytes);
        // N'': a plain literal would take lin2db's code page (1252) first, as on SQL Server.
        native.run("INSERT INTO " + table + " (k, v) VALUES (2, N'" + bytes + "')");
        EXPECT_EQ(utf8.scalar("SELECT v FROM " + table + " WHERE k = 2"), text);
    }
}

TEST_F(OdbcFidelity, APreparedStatementRunsAgainWithNewValues) {
    db.run("CREATE TABLE prepared (id int IDENTITY PRIMARY KEY, name varchar(20) NOT NULL)");
    SQLFreeStmt(db.stmt, SQL_CLOSE);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(db.stmt, (SQLCHAR*)"INSERT INTO prepared (name) VALUES (?)", SQL_NTS)));
    char name[21] = {};
    SQLLEN indicator = SQL_NTS;
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLBindParameter(db.stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, name, sizeof name, &indicator)));
    for (const char* n : {"first", "second", "third"}) {
        std::strcpy(name, n);
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(db.stmt))) << n << describe(db.stmtDiag());
        EXPECT_EQ(db.rowCount(), 1);
    }
    // A failing execution reports SQL Server's error and the statement stays prepared.
    indicator = SQL_NULL_DATA;
    EXPECT_EQ(SQLExecute(db.stmt), SQL_ERROR);
    const auto diags = db.stmtDiag();
    ASSERT_FALSE(diags.empty());
    EXPECT_EQ(diags[0].native, 515) << describe(diags);
    indicator = SQL_NTS;
    std::strcpy(name, "fourth");
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(db.stmt))) << describe(db.stmtDiag());
    SQLFreeStmt(db.stmt, SQL_RESET_PARAMS);
    SQLFreeStmt(db.stmt, SQL_CLOSE);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM prepared"), "4");

    // A prepared query with a result, read twice.
    ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(db.stmt, (SQLCHAR*)"SELECT name FROM prepared WHERE id = ?", SQL_NTS)));
    SQLINTEGER id = 0;
    SQLLEN idIndicator = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLBindParameter(db.stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, &idIndicator)));
    for (const auto& [key, expected] : {std::pair{1, "first"}, std::pair{5, "fourth"}}) {
        id = key;
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(db.stmt))) << describe(db.stmtDiag());
        ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(db.stmt)));
        EXPECT_EQ(db.text(1), expected);
        SQLCloseCursor(db.stmt);
    }
    SQLFreeStmt(db.stmt, SQL_RESET_PARAMS);
}

TEST_F(OdbcFidelity, SqlCancelEndsAWaitForDelay) {
    std::atomic<bool> cancelled{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancelled = SQL_SUCCEEDED(SQLCancel(db.stmt));
    });
    const auto started = std::chrono::steady_clock::now();
    const SQLRETURN rc = db.exec("WAITFOR DELAY '00:00:20' SELECT 1");
    canceller.join();
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(rc, SQL_ERROR);
    const auto diags = db.stmtDiag();
    ASSERT_FALSE(diags.empty());
    EXPECT_EQ(diags[0].state, "HY008") << describe(diags);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(db.scalar("SELECT 2"), "2");
}
