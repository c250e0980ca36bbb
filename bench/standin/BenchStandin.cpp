// How much of a large fetch through the FreeTDS ODBC driver the stand-in itself costs: a SELECT of
// 1,000,000 rows of (varchar(14), int), fetched in blocks of 1000 as the data layer fetches. It
// reports the rows per second the client saw, the rows per second of stand-in CPU time, and the
// stand-in's share of the wall time (its connection thread's CPU time over the elapsed time). The
// engine alone producing the same rows into a sink that drops them is the baseline of the run.
#include "tools/standin/tds/StandinServer.h"

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

namespace {

constexpr int kRows = 1000000;
constexpr int kBlock = 1000;

class NullSink : public standin::ResultSink {
public:
    void columns(const std::vector<standin::Column>&) override {}
    void row(const std::vector<standin::Value>&) override { ++rows; }
    void done(int64_t, bool, bool) override {}
    void message(const standin::Message& m) override {
        if (m.severity > 10) throw std::runtime_error(m.text);
    }
    void databaseChanged(const std::string&, const std::string&) override {}
    int64_t rows = 0;
};

standin::Server& server() {
    static standin::Server* s = [] {
        auto* created = new standin::Server();
        standin::Session session;
        NullSink sink;
        created->engine().execute(
            session, "CREATE TABLE lin2db.dbo.bench_rows (account varchar(14) NOT NULL, n int NOT NULL)", sink);
        for (int block = 0; block < kRows / kBlock; ++block) {
            std::string insert = "INSERT INTO lin2db.dbo.bench_rows VALUES ";
            for (int i = 0; i < kBlock; ++i) {
                const int n = block * kBlock + i;
                insert += (i ? ",('acct" : "('acct") + std::to_string(n) + "', " + std::to_string(n) + ")";
            }
            created->engine().execute(session, insert, sink);
        }
        created->start();
        return created;
    }();
    return *s;
}

void check(SQLRETURN rc, const char* what) {
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) throw std::runtime_error(std::string("ODBC call failed: ") + what);
}

void BM_SelectThroughOdbc(benchmark::State& state) {
    standin::Server& s = server();
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    const std::string connect = "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=" + std::to_string(s.port()) +
                                ";TDS_Version=7.4;ClientCharset=UTF-8;UID=sa;PWD=standin;DATABASE=lin2db;";
    check(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connect.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
          "connect");
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);

    struct Row {
        char account[15];
        SQLLEN accountLength;
        SQLINTEGER n;
        SQLLEN nLength;
    };
    std::vector<Row> rows(kBlock);
    SQLULEN fetched = 0;
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kBlock)), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLBindCol(stmt, 1, SQL_C_CHAR, rows[0].account, sizeof rows[0].account, &rows[0].accountLength);
    SQLBindCol(stmt, 2, SQL_C_SLONG, &rows[0].n, 0, &rows[0].nLength);

    double serverSeconds = 0;
    double wallSeconds = 0;
    int64_t total = 0;
    for (auto _ : state) {
        const standin::ServerLoad before = s.load();
        const auto start = std::chrono::steady_clock::now();
        check(SQLExecDirect(stmt, (SQLCHAR*)"SELECT account, n FROM bench_rows", SQL_NTS), "execute");
        int64_t seen = 0;
        for (;;) {
            const SQLRETURN rc = SQLFetch(stmt);
            if (rc == SQL_NO_DATA) break;
            check(rc, "fetch");
            seen += static_cast<int64_t>(fetched);
        }
        SQLCloseCursor(stmt);
        const auto end = std::chrono::steady_clock::now();
        if (seen != kRows) state.SkipWithError("not every row arrived");
        // The connection thread books its CPU time just before it counts the rows it sent.
        while (s.load().rowsSent < before.rowsSent + kRows) std::this_thread::yield();
        serverSeconds += std::chrono::duration<double>(s.load().cpuTime - before.cpuTime).count();
        wallSeconds += std::chrono::duration<double>(end - start).count();
        total += seen;
    }
    state.counters["client_rows_per_s"] = total / wallSeconds;
    state.counters["standin_rows_per_cpu_s"] = total / serverSeconds;
    state.counters["standin_share_of_wall"] = serverSeconds / wallSeconds;
    state.SetItemsProcessed(total);

    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

// Baseline: the engine producing the same rows with nothing encoded or sent.
void BM_EngineOnlyBaseline(benchmark::State& state) {
    standin::Server& s = server();
    standin::Session session;
    session.database = "lin2db";
    int64_t total = 0;
    for (auto _ : state) {
        NullSink sink;
        s.engine().execute(session, "SELECT account, n FROM bench_rows", sink);
        total += sink.rows;
    }
    state.SetItemsProcessed(total);
}

BENCHMARK(BM_EngineOnlyBaseline)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SelectThroughOdbc)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
