// Sampling at a rate. Sample k is due at start + k / rate, computed from k each time, so a late
// read never shifts the samples after it and no drift accumulates. A read that runs past the next
// due time misses the samples whose time it passed: they are skipped, not made up in a burst,
// and reported. The clock comes from outside: the tool runs on the steady clock, a test on a
// virtual one.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace mfbctl {

struct SampleClock {
    std::function<std::uint64_t()> now_ns;
    std::function<void(std::uint64_t)> sleep_until_ns;
};

struct SamplePlan {
    double hz = 10;                      // samples per second
    std::uint64_t count = 0;             // at most this many samples; 0: no limit
    std::optional<std::uint64_t> for_ns; // samples due before start + for_ns
    std::function<bool()> stop;          // asked before each sample: true ends sampling
};

struct SampleResult {
    std::uint64_t taken = 0, missed = 0;
};

// Calls take(t_ns) for each sample at its due time t_ns (on the clock), until the count or the
// time is reached; missed(k, n) when a read ran past the due times of samples k to k + n - 1.
SampleResult sample(const SamplePlan& plan, const SampleClock& clock,
                    const std::function<void(std::uint64_t t_ns)>& take,
                    const std::function<void(std::uint64_t k, std::uint64_t n)>& missed);

} // namespace mfbctl
