// The stand-in's SQL engine with 1,000,000 demo accounts: streaming a SELECT of (varchar(14), int)
// rows to a result sink, and finding one account by its key, each against a plain container doing
// the same work in the same run.
#include "bench/support/RatioReporter.h"
#include "tools/standin/sql/Engine.h"

#include <benchmark/benchmark.h>

#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace standin;

constexpr int AccountCount = 1'000'000;

// Touches every value so that nothing is optimised away, as a TDS encoder would read them.
class CountingSink : public ResultSink {
public:
    int64_t rows = 0;
    size_t bytes = 0;
    void columns(const std::vector<Column>&) override {}
    void row(const std::vector<Value>& values) override {
        ++rows;
        for (const Value& v : values) {
            if (auto s = std::get_if<std::string>(&v))
                bytes += s->size();
            else if (auto i = std::get_if<int64_t>(&v))
                bytes += static_cast<size_t>(*i & 1);
            else if (auto b = std::get_if<std::vector<uint8_t>>(&v))
                bytes += b->size();
        }
    }
    void done(int64_t, bool, bool) override {}
    void message(const Message& m) override { std::cerr << m.text << "\n"; }
    void databaseChanged(const std::string&, const std::string&) override {}
};

Engine& Seeded() {
    static Engine* engine = [] {
        auto* e = new Engine();
        e->seedDemo(AccountCount);
        return e;
    }();
    return *engine;
}

// The accounts as the engine holds them, read back once, for the baselines and the lookups.
const std::vector<std::pair<std::string, int64_t>>& Accounts() {
    static const std::vector<std::pair<std::string, int64_t>> accounts = [] {
        struct Collect : CountingSink {
            std::vector<std::pair<std::string, int64_t>> out;
            void row(const std::vector<Value>& v) override {
                out.emplace_back(std::get<std::string>(v[0]), std::get<int64_t>(v[1]));
            }
        } sink;
        Session s;
        Seeded().execute(s, "SELECT account, uid FROM lin2db.dbo.user_account", sink);
        return sink.out;
    }();
    return accounts;
}

void BM_VectorStream(benchmark::State& state) {
    const auto& accounts = Accounts();
    for (auto _ : state) {
        CountingSink sink;
        std::vector<Value> row(2);
        for (const auto& [name, uid] : accounts) {
            row[0] = name;
            row[1] = uid;
            sink.row(row);
        }
        benchmark::DoNotOptimize(sink.bytes);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * AccountCount);
}

void BM_EngineSelectStream(benchmark::State& state) {
    Engine& engine = Seeded();
    Session session;
    for (auto _ : state) {
        CountingSink sink;
        engine.execute(session, "SELECT account, uid FROM lin2db.dbo.user_account", sink);
        if (sink.rows != AccountCount) state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(sink.bytes);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * AccountCount);
}

void BM_MapLookup(benchmark::State& state) {
    const auto& accounts = Accounts();
    static const std::map<std::string, int64_t> index(accounts.begin(), accounts.end());
    size_t i = 0;
    for (auto _ : state) {
        auto it = index.find(accounts[(i += 7919) % accounts.size()].first);
        benchmark::DoNotOptimize(it);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

// The account tool's existence check, parse and all.
void BM_EngineKeyLookup(benchmark::State& state) {
    const auto& accounts = Accounts();
    Engine& engine = Seeded();
    Session session;
    size_t i = 0;
    for (auto _ : state) {
        CountingSink sink;
        const std::string sql = "SELECT * FROM lin2db.dbo.user_auth WHERE account = '" +
                                accounts[(i += 7919) % accounts.size()].first + "'";
        engine.execute(session, sql, sink);
        if (sink.rows != 1) state.SkipWithError("account not found");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

// The same kind of lookup on a column without a key: every row is read.
void BM_EngineScanLookup(benchmark::State& state) {
    Engine& engine = Seeded();
    Session session;
    for (auto _ : state) {
        CountingSink sink;
        engine.execute(session, "SELECT uid FROM lin2db.dbo.user_account WHERE last_ip = '10.1.2.3'", sink);
        benchmark::DoNotOptimize(sink.rows);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

BENCHMARK(BM_VectorStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineSelectStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MapLookup)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EngineKeyLookup)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EngineScanLookup)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Accounts();  // seeded and read once, outside every measurement
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::cout << "\nThroughput relative to the baselines of this run:\n";
    reporter.PrintItemRateRatio(std::cout, "BM_EngineSelectStream", "BM_VectorStream", "rows");
    reporter.PrintItemRateRatio(std::cout, "BM_EngineKeyLookup", "BM_MapLookup", "lookups");
    reporter.PrintItemRateRatio(std::cout, "BM_EngineScanLookup", "BM_EngineKeyLookup", "lookups");
    return 0;
}
