// Throughput of the parameter parse on about 1 MB of SQL, against a plain byte-copy loop over the same
// text in the same run. The ratio (parse MB/s / copy MB/s) is printed after the table.
#include "bench/support/RatioReporter.h"
#include "data/DASQLParse.h"
#include "data/MSParser.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

const std::string& SqlText() {
    static const std::string text = [] {
        // A mix of what reaches the parser: keywords, identifiers, strings, comments, numbers, parameters.
        const std::string statements[] = {
            "SELECT * FROM lin2db.dbo.user_auth WHERE account = 'player_one'\r\n",
            "insert into lin2db.dbo.user_account (account, pay_stat) values ('player_one', 1)\r\n",
            "UPDATE lin2db.dbo.user_account SET block_flag = :flag, block_flag2 = :flag2 WHERE account = :acc\r\n",
            "/* builder level */ insert into lin2world.dbo.builder_account (account_name, account_id, default_builder)"
            " values ('player_one', 12345, 9) -- game master\r\n",
            "select uid from [lin2db].[dbo].[user_account] where account = 'it''s' and uid > 1000.5\r\n",
        };
        std::string result;
        result.reserve((1 << 20) + 512);
        for (std::size_t i = 0; result.size() < (1u << 20); ++i) {
            result += statements[i % std::size(statements)];
        }
        return result;
    }();
    return text;
}

void BM_ByteCopyLoop(benchmark::State& state) {
    const std::string& text = SqlText();
    std::string out(text.size(), '\0');
    for (auto _ : state) {
        const char* in = text.data();
        char* dst = out.data();
        for (std::size_t i = 0, n = text.size(); i < n; ++i) {
            dst[i] = in[i];
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ByteCopyLoop)->Unit(benchmark::kMillisecond);

void BM_ParamParse(benchmark::State& state) {
    const std::string& text = SqlText();
    TDAParams params;
    for (auto _ : state) {
        std::string sent = ParseSQLParams(text, QueryParamNameQuotes, &params);
        benchmark::DoNotOptimize(sent.data());
    }
    state.counters["params"] = static_cast<double>(params.Count());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParamParse)->Unit(benchmark::kMillisecond);

void BM_LexerTokens(benchmark::State& state) {
    const std::string& text = SqlText();
    std::size_t tokens = 0;
    for (auto _ : state) {
        TMSParser parser(text);
        tokens = 0;
        while (parser.GetNext() != TParser::lcEnd) {
            ++tokens;
        }
        benchmark::DoNotOptimize(tokens);
    }
    state.counters["tokens"] = static_cast<double>(tokens);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_LexerTokens)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::RatioReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const std::map<std::string, double> throughputs = reporter.CounterByName("bytes_per_second");
    const auto copy = throughputs.find("BM_ByteCopyLoop");
    if (copy == throughputs.end() || copy->second <= 0) return 0;
    std::printf("\ntext: %zu bytes; throughput relative to the byte-copy loop (%.1f MB/s):\n", SqlText().size(),
                copy->second / 1e6);
    for (const auto& [name, bytesPerSecond] : throughputs) {
        if (name == copy->first) continue;
        std::printf("  %-16s %9.1f MB/s  ratio %.4f (copy is %.1fx faster)\n", name.c_str(), bytesPerSecond / 1e6,
                    bytesPerSecond / copy->second, copy->second / bytesPerSecond);
    }
    return 0;
}
