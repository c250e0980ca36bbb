#pragma once
// Measures the heap a piece of code holds at its peak: every malloc-family call of the thread that runs
// a meter is counted while the meter lives, so operator new, Qt's containers and the ODBC driver's own
// buffers are all seen; other threads (an in-process server) are not. The executable replaces malloc,
// free, calloc, realloc and the aligned forms, forwarding them to glibc's own allocator.
#include <cstdint>

class ThreadHeapMeter {
public:
    ThreadHeapMeter();
    ~ThreadHeapMeter();
    ThreadHeapMeter(const ThreadHeapMeter&) = delete;
    ThreadHeapMeter& operator=(const ThreadHeapMeter&) = delete;

    int64_t PeakBytes() const;  // the most held at once since the meter started, in usable bytes
};
