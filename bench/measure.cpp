#include "measure.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include <time.h>

namespace {
std::atomic<std::uint64_t> g_allocations{0};
}

// Out of line, so that the compiler does not pair an inlined free with the library's new.
[[gnu::noinline]] void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace mfbbench {

std::uint64_t allocations() {
    return g_allocations.load(std::memory_order_relaxed);
}

double thread_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

} // namespace mfbbench
