#include "sampler.h"

#include <cmath>

namespace mfbctl {

SampleResult sample(const SamplePlan& plan, const SampleClock& clock,
                    const std::function<void(std::uint64_t t_ns)>& take,
                    const std::function<void(std::uint64_t k, std::uint64_t n)>& missed) {
    const std::uint64_t start = clock.now_ns();
    const double period = 1e9 / plan.hz;
    const auto due = [&](std::uint64_t k) {
        return start + static_cast<std::uint64_t>(std::llround(static_cast<double>(k) * period));
    };
    const auto within = [&](std::uint64_t k) {
        return !plan.for_ns || due(k) - start < *plan.for_ns;
    };
    SampleResult r;
    for (std::uint64_t k = 0; (plan.count == 0 || r.taken < plan.count) && within(k);) {
        const std::uint64_t t = due(k);
        if (clock.now_ns() < t)
            clock.sleep_until_ns(t);
        if (plan.stop && plan.stop())
            break;
        take(t);
        ++r.taken;
        if (plan.count != 0 && r.taken == plan.count)
            break;
        // The first sample still ahead; those whose time passed meanwhile are missed (as far as
        // the plan's time reaches).
        const std::uint64_t now = clock.now_ns();
        std::uint64_t next = k + 1;
        if (due(next) < now) {
            next = static_cast<std::uint64_t>(static_cast<double>(now - start) / period);
            while (due(next) < now)
                ++next;
            std::uint64_t passed = k + 1;
            while (passed < next && within(passed))
                ++passed;
            if (passed > k + 1) {
                missed(k + 1, passed - (k + 1));
                r.missed += passed - (k + 1);
            }
        }
        k = next;
    }
    return r;
}

} // namespace mfbctl
