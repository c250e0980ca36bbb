// Connect-and-disconnect cycles against the SQL Server stand-in:
//  * TMSConnection against the same cycle done with bare ODBC calls (the baseline), and
//  * pooled open/close against unpooled open/close.
// The ratios are printed at the end of the run.
#include "bench/support/RatioReporter.h"
#include "data/MSAccess.h"
#include "data/MSConnectionPool.h"
#include "data/provider/OdbcConnectString.h"
#include "tools/standin/tds/StandinServer.h"

#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

standin::Server& Server() {
    static std::unique_ptr<standin::Server> server = [] {
        standin::ServerOptions options;
        options.logins = {{"sa", "standin"}};
        auto s = std::make_unique<standin::Server>(options);
        s->start();
        return s;
    }();
    return *server;
}

void Configure(TMSConnection& c) {
    c.SetServer("127.0.0.1," + std::to_string(Server().port()));
    c.SetUsername("sa");
    c.SetPassword("standin");
    c.Options().SetApplicationName("bench_connection");
}

constexpr const char* CyclesPerSecond = "cycles/s";

// Cycles per second of the timed loop, as the benchmark's counter.
class Rate {
public:
    Rate() : start_(std::chrono::steady_clock::now()) {}
    void Stop(benchmark::State& state) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        state.counters[CyclesPerSecond] = seconds > 0 ? static_cast<double>(state.iterations()) / seconds : 0;
    }

private:
    std::chrono::steady_clock::time_point start_;
};

void BM_BareOdbcConnectDisconnect(benchmark::State& state) {
    SQLHENV env = SQL_NULL_HENV;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    provider::ConnectSettings s;
    s.driver = "FreeTDS";
    s.address = *provider::ParseServerName("127.0.0.1," + std::to_string(Server().port()));
    s.database = "master";
    s.userId = "sa";
    s.password = "standin";
    s.applicationName = "bench_connection";
    std::string text = provider::BuildConnectString(s);
    Rate rate;
    for (auto _ : state) {
        SQLHDBC dbc = SQL_NULL_HDBC;
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(15), SQL_IS_UINTEGER);
        SQLRETURN rc =
            SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                             static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) {
            state.SkipWithError("bare ODBC connect failed");
            break;
        }
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    rate.Stop(state);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}
BENCHMARK(BM_BareOdbcConnectDisconnect)->UseRealTime()->MinTime(2.0);

void BM_TMSConnectionConnectDisconnect(benchmark::State& state) {
    TMSConnection c;
    Configure(c);
    Rate rate;
    for (auto _ : state) {
        c.Connect();
        c.Disconnect();
    }
    rate.Stop(state);
}
BENCHMARK(BM_TMSConnectionConnectDisconnect)->UseRealTime()->MinTime(2.0);

void BM_PooledOpenClose(benchmark::State& state) {
    TMSConnection c;
    Configure(c);
    c.SetPooling(true);
    Rate rate;
    for (auto _ : state) {
        c.Connect();
        c.Disconnect();
    }
    rate.Stop(state);
    TMSConnectionPoolManager::Instance().Clear();
}
BENCHMARK(BM_PooledOpenClose)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::RatioReporter reporter(benchmark::ConsoleReporter::OO_None);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const std::optional<double> bare = reporter.Counter("BM_BareOdbcConnectDisconnect", CyclesPerSecond);
    const std::optional<double> component = reporter.Counter("BM_TMSConnectionConnectDisconnect", CyclesPerSecond);
    const std::optional<double> pooled = reporter.Counter("BM_PooledOpenClose", CyclesPerSecond);
    if (bare && component && *bare > 0) {
        std::printf("TMSConnection connect/disconnect vs bare ODBC: %.3f (%.0f vs %.0f cycles/s)\n", *component / *bare,
                    *component, *bare);
    }
    if (pooled && component && *component > 0) {
        std::printf("pooled vs unpooled open/close: %.1fx (%.0f vs %.0f cycles/s)\n", *pooled / *component, *pooled,
                    *component);
    }
    return 0;
}
