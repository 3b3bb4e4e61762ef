#include "sim/timer_module.h"

#include "sim/modules.h"

namespace mfb::sim {
namespace {

namespace timer = protocol::timer;

constexpr std::uint64_t kFullCount = std::uint64_t{1} << 32;

constexpr std::uint8_t kStatusCounting = 0x01;
constexpr std::uint8_t kStatusWaiting = 0x02;
constexpr std::uint8_t kStatusReachedZero = 0x04;

// A loaded value of 0 stands for the full 2^32 counts of the 32-bit counter.
std::uint64_t counts_of(std::uint32_t value) {
    return value == 0 ? kFullCount : value;
}

} // namespace

bool TimerModule::counting(const Timer& t) {
    if (!t.enabled || t.finished)
        return false;
    return triggered_mode(t) ? t.triggered : gate_active(t);
}

bool TimerModule::output_high(const Timer& t) {
    bool high = false;
    switch (t.mode) {
    case 0:
    case 1:
        high = t.finished;
        break;
    case 3:
        high = t.count > t.value / 2;
        break;
    default: // 2, 4 and 5: low during the last count
        high = !(t.started && t.count == 1);
        break;
    }
    return high != t.inverted;
}

// Clock edges that the timer's own clock (internal or external) gave since the last catch-up.
std::uint64_t TimerModule::new_edges(Timer& t, std::uint64_t now_ns) {
    const std::uint64_t period = t.selector == 0   ? kClockPeriodNs
                                 : t.selector == 2 ? t.external_period_ns
                                                   : 0;
    if (period == 0 || now_ns < t.origin_ns)
        return 0;
    const std::uint64_t shift = t.falling_edge ? period / 2 : 0;
    const std::uint64_t edges = (now_ns - t.origin_ns + shift) / period;
    const std::uint64_t fresh = edges - t.edges_seen;
    t.edges_seen = edges;
    return fresh;
}

// Counts `edges` clocks if the timer counts; returns how often the count reached zero.
std::uint64_t TimerModule::count_down(Timer& t, std::uint64_t edges) {
    if (edges == 0 || !counting(t))
        return 0;
    if (edges < t.count) {
        t.count -= edges;
        return 0;
    }
    std::uint64_t passages = 1;
    if (periodic_mode(t)) {
        const std::uint64_t rest = edges - t.count;
        passages += rest / t.value;
        t.count = t.value - rest % t.value;
    } else {
        t.count = 0;
        t.finished = true;
        if (triggered_mode(t))
            t.triggered = false; // armed again for the next trigger
        else
            t.enabled = false;
    }
    t.zeros += passages;
    t.zero_since_read = true;
    return passages;
}

void TimerModule::start_clock(Timer& t, std::uint64_t now_ns) {
    t.origin_ns = now_ns;
    t.edges_seen = 0;
}

void TimerModule::trigger(Timer& t) {
    t.triggered = true;
    t.finished = false;
    t.started = true;
    t.count = t.value;
    start_clock(t, now_ns_);
}

void TimerModule::advance(std::uint64_t now_ns, std::uint8_t position, InterruptSink& interrupts) {
    if (now_ns < now_ns_) { // the bus clock was reset: start the clocks again from here
        for (Timer& t : timers_)
            start_clock(t, now_ns);
        now_ns_ = now_ns;
        return;
    }
    std::uint64_t below = 0; // zero passages of the timer below, the cascade clock
    for (std::uint8_t i = 0; i < timers_.size(); ++i) {
        Timer& t = timers_[i];
        const std::uint64_t edges = new_edges(t, now_ns);
        const std::uint64_t passages = count_down(t, t.selector == 1 ? below : edges);
        if (passages != 0 && t.interrupts) {
            InterruptRecord r;
            r.record_byte = position;
            r.word1 = i;
            r.word2 = static_cast<std::uint32_t>(t.zeros);
            r.values[0] = static_cast<std::uint32_t>(passages);
            r.value_count = 1;
            interrupts.raise(r);
        }
        below = passages;
    }
    now_ns_ = now_ns;
}

void TimerModule::set_gate(std::uint8_t timer, bool high) {
    if (timer >= timers_.size())
        return;
    Timer& t = timers_[timer];
    if (t.gate_high == high)
        return;
    t.gate_high = high;
    if (triggered_mode(t) && t.enabled && gate_active(t))
        trigger(t);
}

bool TimerModule::gate(std::uint8_t timer) const {
    return timer < timers_.size() && timers_[timer].gate_high;
}

void TimerModule::set_external_clock(std::uint8_t timer, std::uint64_t period_ns) {
    if (timer >= timers_.size())
        return;
    Timer& t = timers_[timer];
    t.external_period_ns = period_ns;
    if (t.selector == 2)
        start_clock(t, now_ns_);
}

std::uint32_t TimerModule::answer(std::uint32_t code, std::uint8_t* b, std::uint64_t now_ns) {
    // Every request but the read of all timers names its timer in byte 1.
    const bool all = code == timer::kReadAll.code;
    if (!all && b[1] >= timers_.size())
        return kRefused;
    Timer& t = timers_[all ? 0 : b[1]];
    switch (code) {
    case timer::kInit.code: {
        const std::uint8_t mode = b[2], selector = b[3];
        if (mode > 5 || selector > 2 || (selector == 1 && b[1] == 0) || b[4] > 1 || b[5] > 1 ||
            b[6] > 1)
            return kRefused;
        const bool gate_high = t.gate_high;
        const std::uint64_t external = t.external_period_ns;
        t = Timer{};
        t.gate_high = gate_high; // the inputs belong to the wiring, not to the set-up
        t.external_period_ns = external;
        t.mode = mode;
        t.selector = selector;
        t.falling_edge = b[4] == 1;
        t.inverted = b[5] == 1;
        t.gate_active_low = b[6] == 1;
        t.value = t.count = counts_of(protocol::get_le32(b + 8));
        return kAccepted;
    }
    case timer::kEnable.code:
        if (b[2] > 1)
            return kRefused;
        t.interrupts = b[2] == 1;
        if (t.enabled)
            return kAccepted;
        t.enabled = true;
        t.zeros = 0;
        start_clock(t, now_ns);
        if (!triggered_mode(t)) {
            if (t.finished) {
                t.count = t.value;
                t.finished = false;
            }
            t.started = true;
        }
        return kAccepted;
    case timer::kDisable.code:
        t.enabled = false;
        return kAccepted;
    case timer::kWriteValue.code:
        t.value = t.count = counts_of(protocol::get_le32(b + 4));
        t.finished = false;
        return kAccepted;
    case timer::kReadValue.code:
        protocol::put_le32(b + 4, static_cast<std::uint32_t>(t.count));
        return kAccepted;
    case timer::kReadAll.code:
        for (std::size_t i = 0; i < timers_.size(); ++i)
            protocol::put_le32(b + 4 + 4 * i, static_cast<std::uint32_t>(timers_[i].count));
        return kAccepted;
    case timer::kOutputLevel.code:
        b[2] = output_high(t) ? 1 : 0;
        return kAccepted;
    case timer::kProgressStatus.code:
        b[2] = counting(t) ? 1 : 0;
        return kAccepted;
    case timer::kProgressStatusEx.code:
        b[2] = static_cast<std::uint8_t>((counting(t) ? kStatusCounting : 0) |
                                         (t.enabled && !counting(t) ? kStatusWaiting : 0) |
                                         (t.zero_since_read ? kStatusReachedZero : 0));
        t.zero_since_read = false;
        return kAccepted;
    }
    return kRefused;
}

std::unique_ptr<Module> make_timer_module() {
    return std::make_unique<TimerModule>();
}

} // namespace mfb::sim
