// What the paired benchmarks measure of each path: the CPU time of the calling thread and the heap
// allocations (operator new, counted by this program's replacement of it, wherever it is called).
// CPU time, unlike the wall clock, does not count the time the thread waited while other work ran
// on the machine; it is the whole cost of a path that runs on the calling thread, as every
// exchange with a driver of the substitute does.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace mfbbench {

// Calls of operator new since the process started.
std::uint64_t allocations();
double thread_cpu_seconds();

struct Cost {
    double seconds;
    std::uint64_t allocations;
};
template <class Fn> Cost measure(Fn fn) {
    const std::uint64_t a0 = allocations();
    const double t0 = thread_cpu_seconds();
    fn();
    return {thread_cpu_seconds() - t0, allocations() - a0};
}

// Runs both paths of a pair, each first every other time (by the parity of n), so that neither
// gains from the order.
template <class A, class B> void in_turn(std::uint64_t n, A a, B b) {
    if (n % 2 == 0) {
        a();
        b();
    } else {
        b();
        a();
    }
}

// The median of the values (the upper one of the middle two); 0 for none.
inline double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace mfbbench
