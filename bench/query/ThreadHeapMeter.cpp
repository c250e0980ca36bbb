#include "ThreadHeapMeter.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace {

struct Counters {
    bool active = false;
    int64_t held = 0;
    int64_t peak = 0;
};
thread_local Counters Meter;

void* Allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    if (Meter.active) {
        Meter.held += static_cast<int64_t>(malloc_usable_size(p));
        if (Meter.held > Meter.peak) Meter.peak = Meter.held;
    }
    return p;
}

void Release(void* p) noexcept {
    if (p == nullptr) return;
    if (Meter.active) Meter.held -= static_cast<int64_t>(malloc_usable_size(p));
    std::free(p);
}

}  // namespace

ThreadHeapMeter::ThreadHeapMeter() { Meter = Counters{true, 0, 0}; }
ThreadHeapMeter::~ThreadHeapMeter() { Meter.active = false; }
int64_t ThreadHeapMeter::PeakBytes() const { return Meter.peak; }

// The replaceable global allocation functions; the array forms and the sized deletes lead here.
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
