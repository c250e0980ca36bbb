#include "bench/support/RatioReporter.h"

#include <ostream>

namespace bench {

namespace {

std::string ShortName(const benchmark::BenchmarkReporter::Run& run) {
    const benchmark::BenchmarkName& name = run.run_name;
    return name.args.empty() ? name.function_name : name.function_name + "/" + name.args;
}

}  // namespace

RatioReporter::RatioReporter(OutputOptions options) : ConsoleReporter(options) {}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.error_occurred || (run.run_type != Run::RT_Iteration && !median)) continue;
        Figures& kept = figures_[ShortName(run)];
        // Repetitions come before their aggregates: once the median is in, later runs do not replace it.
        if (kept.fromMedian) continue;
        kept.tableName = run.run_name.str();
        kept.seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        kept.counters = run.counters;
        kept.fromMedian = median;
    }
}

const RatioReporter::Figures* RatioReporter::Find(const std::string& name) const {
    if (const auto found = figures_.find(name); found != figures_.end()) return &found->second;
    for (const auto& [shortName, kept] : figures_) {
        if (kept.tableName == name) return &kept;
    }
    return nullptr;
}

std::optional<double> RatioReporter::Seconds(const std::string& name) const {
    const Figures* kept = Find(name);
    if (kept == nullptr) return std::nullopt;
    return kept->seconds;
}

std::optional<double> RatioReporter::Counter(const std::string& name, const std::string& counter) const {
    const Figures* kept = Find(name);
    if (kept == nullptr) return std::nullopt;
    const auto found = kept->counters.find(counter);
    if (found == kept->counters.end()) return std::nullopt;
    return found->second.value;
}

std::map<std::string, double> RatioReporter::CounterByName(const std::string& counter) const {
    std::map<std::string, double> values;
    for (const auto& [name, kept] : figures_) {
        if (const auto found = kept.counters.find(counter); found != kept.counters.end())
            values[name] = found->second.value;
    }
    return values;
}

void RatioReporter::PrintItemRateRatio(std::ostream& out, const std::string& measured, const std::string& baseline,
                                       const std::string& unit, double scale) const {
    const std::optional<double> rate = Counter(measured, "items_per_second");
    const std::optional<double> baselineRate = Counter(baseline, "items_per_second");
    if (!rate || !baselineRate) return;
    out << measured << ": " << *rate / scale << " " << unit << "/s, " << *rate / *baselineRate << " x " << baseline
        << "\n";
}

}  // namespace bench
