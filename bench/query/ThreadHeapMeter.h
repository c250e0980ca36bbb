#pragma once
// Measures the heap a piece of code holds at its peak: every operator new/delete of the thread that
// runs a meter is counted while the meter lives (other threads, such as an in-process server, are
// not). Allocations made with malloc directly (the ODBC driver's own buffers) are not seen.
#include <cstdint>

class ThreadHeapMeter {
public:
    ThreadHeapMeter();
    ~ThreadHeapMeter();
    ThreadHeapMeter(const ThreadHeapMeter&) = delete;
    ThreadHeapMeter& operator=(const ThreadHeapMeter&) = delete;

    int64_t PeakBytes() const;  // the most held at once since the meter started, in usable bytes
};
