// Reading SELECT account FROM lin2db.dbo.user_auth over 1,000,000 rows from the stand-in: through
// TMSQuery (Open, then Fields[0].AsString for every row with Next) and, in the same run, with bare ODBC
// block fetch (FreeTDS, 25 rows per fetch, the connection settings the provider uses) into a plain
// array. Printed after the table: the time ratio, rows per second, and the query's peak heap and its
// record store against the raw data (the values' bytes, and the plain array).
#include "bench/support/RatioReporter.h"
#include "data/MSAccess.h"
#include "data/MSQuery.h"
#include "tools/standin/StandinServer.h"
#include "ThreadHeapMeter.h"

#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int Accounts = 1'000'000;
constexpr SQLULEN RowsPerFetch = 25;
const char* const Select = "SELECT account FROM lin2db.dbo.user_auth";

standin::Server& Server() {
    static std::unique_ptr<standin::Server> server = [] {
        auto s = std::make_unique<standin::Server>();
        s->start();
        s->engine().seedDemo(Accounts);
        return s;
    }();
    return *server;
}

// What both sides read, for the checks and the memory figures.
struct Figures {
    int64_t rows = 0;
    int64_t valueBytes = 0;   // the account texts' bytes
    int64_t arrayBytes = 0;   // the plain array of the bare ODBC side
    int64_t storeBytes = 0;   // the query's record store after Open
    int64_t peakBytes = 0;    // the most heap the client thread held during Open and the read
};
Figures OdbcFigures;
Figures QueryFigures;

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what) {
    if (SQL_SUCCEEDED(rc)) return;
    SQLCHAR state[6] = {};
    SQLCHAR text[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length);
    throw std::runtime_error(std::string(what) + ": " + reinterpret_cast<char*>(text));
}

void BM_BareOdbcBlockFetch(benchmark::State& state) {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    const std::string connect = "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=" + std::to_string(Server().port()) +
                                ";UID=sa;PWD=standin;TDS_Version=7.4;ClientCharset=CP1252;PacketSize=4096";
    Check(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connect.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, dbc, "connect");

    struct Row {
        char account[15];
        SQLLEN indicator;
    };
    std::vector<std::array<char, 15>> accounts(Accounts + RowsPerFetch);
    std::vector<SQLLEN> lengths(Accounts + RowsPerFetch);
    std::array<Row, RowsPerFetch> block{};
    for (auto _ : state) {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        SQLULEN fetched = 0;
        SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0);
        SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(RowsPerFetch), 0);
        SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
        Check(SQLExecDirect(stmt, (SQLCHAR*)Select, SQL_NTS), SQL_HANDLE_STMT, stmt, "execute");
        SQLBindCol(stmt, 1, SQL_C_CHAR, block[0].account, sizeof block[0].account, &block[0].indicator);
        int64_t rows = 0;
        int64_t bytes = 0;
        for (;;) {
            const SQLRETURN rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0);
            if (rc == SQL_NO_DATA) break;
            Check(rc, SQL_HANDLE_STMT, stmt, "fetch");
            for (SQLULEN i = 0; i < fetched; ++i, ++rows) {
                std::memcpy(accounts[static_cast<size_t>(rows)].data(), block[i].account, sizeof block[i].account);
                lengths[static_cast<size_t>(rows)] = block[i].indicator;
                bytes += block[i].indicator;
            }
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        benchmark::DoNotOptimize(accounts.data());
        OdbcFigures.rows = rows;
        OdbcFigures.valueBytes = bytes;
        OdbcFigures.arrayBytes = rows * static_cast<int64_t>(sizeof(std::array<char, 15>) + sizeof(SQLLEN));
    }
    state.counters["rows"] = static_cast<double>(OdbcFigures.rows);
    state.counters["rows_per_second"] =
        benchmark::Counter(static_cast<double>(OdbcFigures.rows) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}
// Five runs each, compared by their medians: both sides wait on a server sharing the same cores,
// so a single run can be off by a quarter.
BENCHMARK(BM_BareOdbcBlockFetch)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);

void BM_MSQueryOpenAndRead(benchmark::State& state) {
    TMSConnection connection;
    connection.SetServer("127.0.0.1," + std::to_string(Server().port()));
    connection.SetUsername("sa");
    connection.SetPassword("standin");
    connection.Connect();
    TMSQuery query;
    query.SetConnection(&connection);
    for (auto _ : state) {
        query.SQL().SetText(Select);
        int64_t rows = 0;
        int64_t bytes = 0;
        {
            const ThreadHeapMeter meter;
            query.Open();
            QueryFigures.storeBytes = static_cast<int64_t>(query.OLEDBRecordSet().MemoryUsed());
            while (!query.EndOfData()) {
                const std::string account = query.Fields()[0].AsString();
                bytes += static_cast<int64_t>(account.size());
                ++rows;
                query.Next();
            }
            QueryFigures.peakBytes = meter.PeakBytes();
        }
        QueryFigures.rows = rows;
        QueryFigures.valueBytes = bytes;
        query.Close();
    }
    state.counters["rows"] = static_cast<double>(QueryFigures.rows);
    state.counters["rows_per_second"] =
        benchmark::Counter(static_cast<double>(QueryFigures.rows) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    const double rows = QueryFigures.rows > 0 ? static_cast<double>(QueryFigures.rows) : 1.0;
    state.counters["store_bytes_per_row"] = static_cast<double>(QueryFigures.storeBytes) / rows;
    state.counters["peak_bytes_per_row"] = static_cast<double>(QueryFigures.peakBytes) / rows;
}
BENCHMARK(BM_MSQueryOpenAndRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Server();  // seeded before anything is timed
    bench::RatioReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const std::optional<double> bareSeconds = reporter.Seconds("BM_BareOdbcBlockFetch");
    const std::optional<double> querySeconds = reporter.Seconds("BM_MSQueryOpenAndRead");
    if (!bareSeconds || !querySeconds || *bareSeconds <= 0) return 0;
    const double bare = *bareSeconds;
    const double query = *querySeconds;
    std::printf("\nrows read: bare ODBC %lld, TMSQuery %lld (value bytes %lld / %lld)\n",
                static_cast<long long>(OdbcFigures.rows), static_cast<long long>(QueryFigures.rows),
                static_cast<long long>(OdbcFigures.valueBytes), static_cast<long long>(QueryFigures.valueBytes));
    std::printf("time: TMSQuery %.3f s, bare ODBC %.3f s, ratio %.3f (goal <= 1.3)\n", query, bare, query / bare);
    std::printf("rows per second: TMSQuery %.0f, bare ODBC %.0f\n", QueryFigures.rows / query, OdbcFigures.rows / bare);
    if (OdbcFigures.valueBytes > 0 && OdbcFigures.arrayBytes > 0 && QueryFigures.rows > 0) {
        const auto report = [](const char* what, int64_t bytes) {
            std::printf("%s %.1f MB = %.2fx the value bytes (%.1f MB), %.2fx the plain array (%.1f MB); "
                        "%.1f bytes per row\n",
                        what, bytes / 1e6, double(bytes) / double(OdbcFigures.valueBytes), OdbcFigures.valueBytes / 1e6,
                        double(bytes) / double(OdbcFigures.arrayBytes), OdbcFigures.arrayBytes / 1e6,
                        double(bytes) / double(QueryFigures.rows));
        };
        report("memory: peak heap of Open and the read (goal <= 2x the value bytes):", QueryFigures.peakBytes);
        report("        record store after Open:", QueryFigures.storeBytes);
    }
    return 0;
}
