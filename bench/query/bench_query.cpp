// Reading SELECT account FROM lin2db.dbo.user_auth over 1,000,000 rows from the stand-in, in the same
// run, through:
//  - bare ODBC block fetch (FreeTDS, 25 rows per fetch, the connection settings the provider uses)
//    into a plain array: the baseline;
//  - TMSQuery (Open, then Fields[0].AsString for every row with Next), which keeps its record store;
//  - Qt's SQL module with its ODBC driver (QSqlQuery, forward-only, the same connection string),
//    keeping the accounts in a QStringList, as a Qt program reading them for a list would.
// Each reports its wall time, the client thread's CPU time (and the kernel's part of it, mostly the
// socket reads every side shares) and the most heap the client thread held
// while it read. Printed after the table: the ratios of each against the baseline, and the query's
// peak heap and record store against the raw data.
//
// --standin=process runs the stand-in as a vac-standin process of its own, so the server neither
// shares the client's heap nor its process; the default runs it in a thread of this process.
#include "ThreadHeapMeter.h"
#include "bench/support/RatioReporter.h"
#include "data/MSAccess.h"
#include "data/MSQuery.h"
#include "tools/standin/tds/StandinServer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

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
#include <string_view>
#include <sys/resource.h>
#include <utility>
#include <vector>

namespace {

constexpr int Accounts = 1'000'000;
constexpr SQLULEN RowsPerFetch = 25;
const char* const Select = "SELECT account FROM lin2db.dbo.user_auth";

// The port of the stand-in every side reads from (set by main before anything runs).
uint16_t ServerPort = 0;

std::string ConnectString() {
    return "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=" + std::to_string(ServerPort) +
           ";UID=sa;PWD=standin;TDS_Version=7.4;ClientCharset=CP1252;PacketSize=4096";
}

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// This thread's CPU time so far, user and system (the kernel's side of the socket reads).
std::pair<double, double> ThreadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return {Seconds(usage.ru_utime), Seconds(usage.ru_stime)};
}

// The client's cost of one read: its thread's CPU time and the most heap it held.
class ClientMeter {
public:
    ClientMeter() : cpuStart_(ThreadCpuSeconds()) {}
    double CpuSeconds() const { return UserSeconds() + SystemSeconds(); }
    double UserSeconds() const { return ThreadCpuSeconds().first - cpuStart_.first; }
    double SystemSeconds() const { return ThreadCpuSeconds().second - cpuStart_.second; }
    int64_t PeakBytes() const { return heap_.PeakBytes(); }

private:
    ThreadHeapMeter heap_;
    std::pair<double, double> cpuStart_;
};

// What one side read, for the checks, the counters and the memory figures.
struct Figures {
    int64_t rows = 0;
    int64_t valueBytes = 0;    // the account texts' bytes
    int64_t peakBytes = 0;     // the most heap the client thread held during the read
    double cpuSeconds = 0;     // summed over the iterations
    double systemSeconds = 0;  // the part of it in the kernel, summed likewise
};
Figures OdbcFigures;
Figures QueryFigures;
Figures QtFigures;
int64_t OdbcArrayBytes = 0;   // the plain array of the bare ODBC side
int64_t QueryStoreBytes = 0;  // the query's record store after Open

void Record(Figures& figures, const ClientMeter& meter, int64_t rows, int64_t bytes) {
    figures.rows = rows;
    figures.valueBytes = bytes;
    figures.peakBytes = meter.PeakBytes();
    figures.cpuSeconds += meter.CpuSeconds();
    figures.systemSeconds += meter.SystemSeconds();
}

void PublishCounters(benchmark::State& state, Figures& figures) {
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["rows"] = static_cast<double>(figures.rows);
    state.counters["rows_per_second"] =
        benchmark::Counter(static_cast<double>(figures.rows) * iterations, benchmark::Counter::kIsRate);
    state.counters["client_cpu_ms"] = figures.cpuSeconds * 1e3 / iterations;
    state.counters["client_sys_ms"] = figures.systemSeconds * 1e3 / iterations;
    state.counters["peak_heap_MB"] = static_cast<double>(figures.peakBytes) / 1e6;
    figures.cpuSeconds = figures.systemSeconds = 0;  // the next repetition counts afresh
}

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
    const std::string connect = ConnectString();
    Check(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connect.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, dbc, "connect");

    struct Row {
        char account[15];
        SQLLEN indicator;
    };
    for (auto _ : state) {
        const ClientMeter meter;
        std::vector<std::array<char, 15>> accounts(Accounts + RowsPerFetch);
        std::vector<SQLLEN> lengths(Accounts + RowsPerFetch);
        std::array<Row, RowsPerFetch> block{};
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
        Record(OdbcFigures, meter, rows, bytes);
        OdbcArrayBytes = rows * static_cast<int64_t>(sizeof(std::array<char, 15>) + sizeof(SQLLEN));
    }
    PublishCounters(state, OdbcFigures);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

void BM_MSQueryOpenAndRead(benchmark::State& state) {
    TMSConnection connection;
    connection.SetServer("127.0.0.1," + std::to_string(ServerPort));
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
            const ClientMeter meter;
            query.Open();
            QueryStoreBytes = static_cast<int64_t>(query.OLEDBRecordSet().MemoryUsed());
            while (!query.EndOfData()) {
                const std::string account = query.Fields()[0].AsString();
                bytes += static_cast<int64_t>(account.size());
                ++rows;
                query.Next();
            }
            Record(QueryFigures, meter, rows, bytes);
        }
        query.Close();
    }
    PublishCounters(state, QueryFigures);
}

void BM_QtSqlForwardOnly(benchmark::State& state) {
    const QString name = QStringLiteral("bench_query");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
        db.setDatabaseName(QString::fromStdString(ConnectString()));
        if (!db.open()) {
            state.SkipWithError(("Qt ODBC connect: " + db.lastError().text().toStdString()).c_str());
        } else {
            for (auto _ : state) {
                const ClientMeter meter;
                QStringList accounts;
                accounts.reserve(Accounts);
                int64_t bytes = 0;
                {
                    QSqlQuery query(db);
                    query.setForwardOnly(true);
                    if (!query.exec(QString::fromLatin1(Select))) {
                        state.SkipWithError(("Qt ODBC query: " + query.lastError().text().toStdString()).c_str());
                        break;
                    }
                    while (query.next()) {
                        accounts.push_back(query.value(0).toString());
                        bytes += accounts.back().size();
                    }
                }
                benchmark::DoNotOptimize(accounts.data());
                Record(QtFigures, meter, accounts.size(), bytes);
            }
            PublishCounters(state, QtFigures);
        }
    }
    QSqlDatabase::removeDatabase(name);
}

// Five runs each, compared by their medians: on a machine shared with other work a single run can be
// off by a quarter.
BENCHMARK(BM_BareOdbcBlockFetch)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_MSQueryOpenAndRead)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_QtSqlForwardOnly)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The stand-in in a vac-standin process of its own, seeded with the accounts; stopped when dropped.
class StandinProcess {
public:
    StandinProcess() {
        process_.setProgram(QStringLiteral(VAC_STANDIN_BINARY));
        process_.setArguments(
            {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--demo"), QString::number(Accounts)});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        // Seeding a million accounts takes a while before the port line comes (minutes on a busy machine).
        if (!process_.waitForStarted() || !process_.waitForReadyRead(600'000))
            throw std::runtime_error("vac-standin did not start: " + process_.errorString().toStdString());
        const QByteArray line = process_.readLine().trimmed();
        if (!line.startsWith("port=")) throw std::runtime_error("vac-standin said " + line.toStdString());
        port_ = static_cast<uint16_t>(line.mid(5).toUInt());
    }
    ~StandinProcess() {
        process_.terminate();
        if (!process_.waitForFinished(10'000)) process_.kill();
    }
    StandinProcess(const StandinProcess&) = delete;
    StandinProcess& operator=(const StandinProcess&) = delete;
    uint16_t Port() const { return port_; }

private:
    QProcess process_;
    uint16_t port_ = 0;
};

// Takes --standin=thread|process out of the arguments; false for any other value.
bool TakeStandinOption(int& argc, char** argv, bool& ownProcess) {
    constexpr std::string_view Option = "--standin=";
    int kept = 1;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.substr(0, Option.size()) != Option) {
            argv[kept++] = argv[i];
            continue;
        }
        const std::string_view value = arg.substr(Option.size());
        ownProcess = value == "process";
        ok = ok && (ownProcess || value == "thread");
    }
    argc = kept;
    return ok;
}

void PrintRatios(const bench::RatioReporter& reporter, bool ownProcess) {
    const auto figure = [&](const char* name, const char* counter) {
        return counter == nullptr ? reporter.Seconds(name) : reporter.Counter(name, counter);
    };
    const auto line = [&](const char* what, const char* counter, double scale, const char* unit) {
        const auto bare = figure("BM_BareOdbcBlockFetch", counter);
        const auto query = figure("BM_MSQueryOpenAndRead", counter);
        const auto qt = figure("BM_QtSqlForwardOnly", counter);
        if (!bare || *bare <= 0 || !query) return;
        std::printf("%-12s bare ODBC %8.1f %s | TMSQuery %8.1f %s = %.2fx bare", what, *bare * scale, unit,
                    *query * scale, unit, *query / *bare);
        if (qt && *qt > 0) {
            std::printf(" | Qt SQL %8.1f %s = %.2fx bare; TMSQuery = %.2fx Qt SQL", *qt * scale, unit, *qt / *bare,
                        *query / *qt);
        }
        std::printf("\n");
    };
    std::printf("\nstand-in: %s; medians of five runs\n",
                ownProcess ? "a vac-standin process of its own" : "a thread of this process");
    std::printf("rows read: bare ODBC %lld, TMSQuery %lld, Qt SQL %lld\n", static_cast<long long>(OdbcFigures.rows),
                static_cast<long long>(QueryFigures.rows), static_cast<long long>(QtFigures.rows));
    line("wall time:", nullptr, 1e3, "ms");
    line("client CPU:", "client_cpu_ms", 1, "ms");
    line("  of it sys:", "client_sys_ms", 1, "ms");
    line("peak heap:", "peak_heap_MB", 1, "MB");
    std::printf(
        "goals (own-process stand-in): TMSQuery <= 1.1x bare ODBC wall time, <= 1.3x its client CPU, "
        "and ahead of Qt SQL\n");
    if (OdbcFigures.valueBytes > 0 && OdbcArrayBytes > 0 && QueryFigures.rows > 0) {
        const auto report = [](const char* what, int64_t bytes) {
            std::printf(
                "%s %.1f MB = %.2fx the value bytes (%.1f MB), %.2fx the plain array (%.1f MB); "
                "%.1f bytes per row\n",
                what, bytes / 1e6, double(bytes) / double(OdbcFigures.valueBytes), OdbcFigures.valueBytes / 1e6,
                double(bytes) / double(OdbcArrayBytes), OdbcArrayBytes / 1e6,
                double(bytes) / double(QueryFigures.rows));
        };
        report("memory: TMSQuery peak heap of Open and the read (goal <= 2x the value bytes):", QueryFigures.peakBytes);
        report("        record store after Open:", QueryStoreBytes);
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool ownProcess = false;
    if (!TakeStandinOption(argc, argv, ownProcess)) {
        std::fprintf(stderr, "bench_query: --standin takes thread or process\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    QCoreApplication app(argc, argv);  // Qt's SQL drivers are plugins, found through the application

    // Seeded before anything is timed.
    std::unique_ptr<standin::Server> thread;
    std::unique_ptr<StandinProcess> process;
    if (ownProcess) {
        process = std::make_unique<StandinProcess>();
        ServerPort = process->Port();
    } else {
        thread = std::make_unique<standin::Server>();
        thread->start();
        thread->engine().seedDemo(Accounts);
        ServerPort = thread->port();
    }

    bench::RatioReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintRatios(reporter, ownProcess);
    return 0;
}
