#pragma once
// The console table of a benchmark run, keeping what each benchmark measured so that the benchmark's
// main can print its figures against a baseline of the same run once the table is done.
//
// A benchmark's figures are those of its median when it ran with repetitions, otherwise those of its
// single run. A benchmark that failed keeps nothing, so no ratio is printed for it.
#include <benchmark/benchmark.h>

#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(OutputOptions options = OO_Defaults);

    void ReportRuns(const std::vector<Run>& runs) override;

    // A benchmark is named either as the table shows it ("BM_Start/program/iterations:20/manual_time")
    // or by its function and arguments alone ("BM_Start/program", "BM_Read/rows:1000").

    // Real time per iteration in seconds (the manual time for benchmarks that time themselves).
    std::optional<double> Seconds(const std::string& name) const;
    // A counter as the table shows it, such as "items_per_second".
    std::optional<double> Counter(const std::string& name, const std::string& counter) const;
    // Every benchmark that reported the counter, by function and arguments.
    std::map<std::string, double> CounterByName(const std::string& counter) const;

    // Writes "<measured>: <rate / scale> <unit>/s, <ratio> x <baseline>" from the two items_per_second
    // counters, or nothing when either benchmark has none.
    void PrintItemRateRatio(std::ostream& out, const std::string& measured, const std::string& baseline,
                            const std::string& unit, double scale = 1) const;

private:
    struct Figures {
        std::string tableName;
        double seconds = 0;
        benchmark::UserCounters counters;
        bool fromMedian = false;
    };
    const Figures* Find(const std::string& name) const;

    std::map<std::string, Figures> figures_;  // by function and arguments
};

}  // namespace bench
