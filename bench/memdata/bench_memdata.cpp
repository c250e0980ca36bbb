// Record store throughput and memory: append and sequential read of 1,000,000 records of
// (varchar(14) inline, int), against a plain std::vector of structs holding the same data.
//
// Raw record size: the bytes of the values themselves, 14 characters + 1 terminator + 4 (int) = 19.
// "bytes/record" is the store's own allocation (blocks and string heap) per record; "heap bytes/record"
// is the growth of the process heap (glibc mallinfo2) while the data was built, allocator overhead included.
#include "bench/support/RatioReporter.h"
#include "data/MemData.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr size_t RecordCount = 1'000'000;
constexpr double RawRecordSize = 14 + 1 + 4;

const std::vector<std::string>& Names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        v.reserve(RecordCount);
        for (size_t i = 0; i < RecordCount; ++i) v.push_back(("user" + std::to_string(i * 7919)).substr(0, 14));
        return v;
    }();
    return names;
}

size_t HeapInUse() { return mallinfo2().uordblks; }

struct TRow {
    char Name[15];
    int32_t Value;
};

// The store as the fetch fills it: one 32-bit status word per field (status words = true), or the
// plain store's status byte per field.
class TBenchStore : public TMemData {
public:
    explicit TBenchStore(bool statusWords) : FStatusWords(statusWords) {}

protected:
    void InternalInitFields() override {
        auto name = std::make_unique<TFieldDesc>();
        name->Name = "name";
        name->DataType = DataKind::String;
        name->Length = 14;
        name->Size = 15;
        name->FieldNo = 1;
        Fields().Add(std::move(name));
        auto value = std::make_unique<TFieldDesc>();
        value->Name = "value";
        value->DataType = DataKind::Integer;
        value->Size = 4;
        value->FieldNo = 2;
        Fields().Add(std::move(value));
    }
    uint32_t StatusWordSize() const override { return FStatusWords ? 4 : 1; }
    uint32_t NullStatus() const override { return FStatusWords ? 3 : 1; }

private:
    bool FStatusWords;
};

void SetMemoryCounters(benchmark::State& state, double bytes, double heapBytes) {
    state.counters["bytes/record"] = bytes / RecordCount;
    state.counters["ratio_to_raw"] = bytes / RecordCount / RawRecordSize;
    state.counters["heap_bytes/record"] = heapBytes / RecordCount;
}

// --- baseline -------------------------------------------------------------------------------------

void BM_VectorAppend(benchmark::State& state) {
    const auto& names = Names();
    double bytes = 0;
    double heap = 0;
    for (auto _ : state) {
        const size_t before = HeapInUse();
        std::vector<TRow> rows;
        for (size_t i = 0; i < RecordCount; ++i) {
            TRow row{};
            std::memcpy(row.Name, names[i].data(), names[i].size());
            row.Value = static_cast<int32_t>(i);
            rows.push_back(row);
        }
        benchmark::DoNotOptimize(rows.data());
        bytes = static_cast<double>(rows.capacity() * sizeof(TRow));
        heap = static_cast<double>(HeapInUse() - before);
        state.PauseTiming();
        rows = {};
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * RecordCount));
    SetMemoryCounters(state, bytes, heap);
}

void BM_VectorRead(benchmark::State& state) {
    const auto& names = Names();
    std::vector<TRow> rows;
    for (size_t i = 0; i < RecordCount; ++i) {
        TRow row{};
        std::memcpy(row.Name, names[i].data(), names[i].size());
        row.Value = static_cast<int32_t>(i);
        rows.push_back(row);
    }
    for (auto _ : state) {
        int64_t sum = 0;
        char name[15];
        for (const TRow& row : rows) {
            const size_t n = strnlen(row.Name, 14);
            std::memcpy(name, row.Name, n);
            name[n] = 0;
            sum += row.Value + name[0];
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * RecordCount));
}

// --- record store ---------------------------------------------------------------------------------

void FillOneByOne(TBenchStore& store) {
    const auto& names = Names();
    std::vector<std::byte> record(store.RecordSize());
    store.InitRecord(record);
    for (size_t i = 0; i < RecordCount; ++i) {
        const int32_t value = static_cast<int32_t>(i);
        store.PutFieldString(1, record, names[i]);
        store.PutFieldData(2, record, std::as_bytes(std::span(&value, 1)));
        store.AppendRecord(record);
    }
}

// The fetch's path: a block of FetchRows records filled in place, then linked.
void FillInBlocks(TBenchStore& store, uint16_t fetchRows) {
    const auto& names = Names();
    for (size_t i = 0; i < RecordCount;) {
        const auto rows = static_cast<uint16_t>(std::min<size_t>(fetchRows, RecordCount - i));
        TBlock& block = store.AllocRecordBlock(fetchRows);
        for (uint16_t r = 0; r < rows; ++r, ++i) {
            const auto record = store.BlockRecord(block, r);
            const int32_t value = static_cast<int32_t>(i);
            store.PutFieldString(1, record, names[i]);
            store.PutFieldData(2, record, std::as_bytes(std::span(&value, 1)));
        }
        store.AppendBlock(block, rows);
    }
}

void RunAppend(benchmark::State& state, bool blocks) {
    const bool statusWords = state.range(0) != 0;
    double bytes = 0;
    double heap = 0;
    for (auto _ : state) {
        const size_t before = HeapInUse();
        {
            TBenchStore store(statusWords);
            store.Open();
            store.InitFields();
            if (blocks)
                FillInBlocks(store, 25);
            else
                FillOneByOne(store);
            benchmark::DoNotOptimize(store.RecordCount());
            bytes = static_cast<double>(store.MemoryUsed());
            heap = static_cast<double>(HeapInUse() - before);
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * RecordCount));
    SetMemoryCounters(state, bytes, heap);
}

void BM_MemDataAppend(benchmark::State& state) { RunAppend(state, false); }
void BM_MemDataAppendBlocks(benchmark::State& state) { RunAppend(state, true); }

void BM_MemDataRead(benchmark::State& state) {
    TBenchStore store(state.range(0) != 0);
    store.Open();
    store.InitFields();
    FillInBlocks(store, 25);
    std::vector<std::byte> record(store.RecordSize());
    for (auto _ : state) {
        int64_t sum = 0;
        char name[15];
        int32_t value = 0;
        bool isNull = false;
        store.SetToBegin();
        for (;;) {
            store.GetNextRecord(record);
            if (store.IsEOF()) break;
            store.GetFieldData(1, record, isNull, std::as_writable_bytes(std::span(name)));
            store.GetFieldData(2, record, isNull, std::as_writable_bytes(std::span(&value, 1)));
            sum += value + name[0];
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * RecordCount));
}

BENCHMARK(BM_VectorAppend)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VectorRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemDataAppend)->Arg(0)->Arg(1)->ArgName("status_words")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemDataAppendBlocks)->Arg(0)->Arg(1)->ArgName("status_words")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemDataRead)->Arg(0)->Arg(1)->ArgName("status_words")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Names();  // built once, outside every measurement
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::cout << "\nThroughput relative to the std::vector baseline of this run:\n";
    for (const char* arg : {"0", "1"}) {
        const std::string words = std::string("/status_words:") + arg;
        reporter.PrintItemRateRatio(std::cout, "BM_MemDataAppend" + words, "BM_VectorAppend", "M records", 1e6);
        reporter.PrintItemRateRatio(std::cout, "BM_MemDataAppendBlocks" + words, "BM_VectorAppend", "M records", 1e6);
        reporter.PrintItemRateRatio(std::cout, "BM_MemDataRead" + words, "BM_VectorRead", "M records", 1e6);
    }
    return 0;
}
