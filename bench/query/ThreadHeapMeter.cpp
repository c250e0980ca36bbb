#include "ThreadHeapMeter.h"

#include <malloc.h>

#include <cerrno>
#include <cstddef>

// glibc's allocator under its internal names, which the replacements below forward to.
extern "C" {
void* __libc_malloc(std::size_t size);
void __libc_free(void* p);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void* __libc_valloc(std::size_t size);
void* __libc_pvalloc(std::size_t size);
}

namespace {

struct Counters {
    bool active = false;
    int64_t held = 0;
    int64_t peak = 0;
};
// Trivially constructed, so reaching it never allocates (the allocator must not recurse into itself).
thread_local Counters Meter;

void Took(void* p) {
    if (p == nullptr || !Meter.active) return;
    Meter.held += static_cast<int64_t>(malloc_usable_size(p));
    if (Meter.held > Meter.peak) Meter.peak = Meter.held;
}

void Giving(void* p) {
    if (p != nullptr && Meter.active) Meter.held -= static_cast<int64_t>(malloc_usable_size(p));
}

}  // namespace

ThreadHeapMeter::ThreadHeapMeter() { Meter = Counters{true, 0, 0}; }
ThreadHeapMeter::~ThreadHeapMeter() { Meter.active = false; }
int64_t ThreadHeapMeter::PeakBytes() const { return Meter.peak; }

extern "C" {

void* malloc(std::size_t size) {
    void* p = __libc_malloc(size);
    Took(p);
    return p;
}

void free(void* p) {
    Giving(p);
    __libc_free(p);
}

void* calloc(std::size_t count, std::size_t size) {
    void* p = __libc_calloc(count, size);
    Took(p);
    return p;
}

void* realloc(void* p, std::size_t size) {
    Giving(p);
    void* moved = __libc_realloc(p, size);
    // A failed realloc leaves the old block in place; a realloc to 0 frees it.
    if (moved == nullptr && size != 0)
        Took(p);
    else
        Took(moved);
    return moved;
}

void* memalign(std::size_t alignment, std::size_t size) {
    void* p = __libc_memalign(alignment, size);
    Took(p);
    return p;
}

void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* p = memalign(alignment, size);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}

void* valloc(std::size_t size) {
    void* p = __libc_valloc(size);
    Took(p);
    return p;
}

void* pvalloc(std::size_t size) {
    void* p = __libc_pvalloc(size);
    Took(p);
    return p;
}

}  // extern "C"
