#include "sim/counter_module.h"

#include "sim/modules.h"

#include <algorithm>
#include <limits>

namespace mfb::sim {
namespace {

// Driver status words.
constexpr std::uint32_t kDone = 0;
constexpr std::uint32_t kBadArgument = 0xFFFFFFFF;    // -1
constexpr std::uint32_t kWrongState = 0xFFFFFFFE;     // -2
constexpr std::uint32_t kSelfTestFailed = 0xFFFFFFFD; // -3

namespace counter = protocol::counter;
using protocol::get_le16;
using protocol::get_le32;
using protocol::put_le32;

// Floor division and the matching remainder for a positive divisor.
std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}
std::int64_t floor_mod(std::int64_t a, std::int64_t b) {
    return a - floor_div(a, b) * b;
}

// The fastest input, in edges per second, that passes a filter step.
std::int64_t filter_limit(std::uint8_t step) {
    return step == 0 ? std::numeric_limits<std::int64_t>::max() : CounterModule::kMaxRate >> step;
}

std::int64_t magnitude(std::int64_t v) {
    return v < 0 ? -v : v;
}

constexpr std::uint64_t kNsPerSecond = 1'000'000'000;
// Catch-up runs in steps of 100 s at most, so that rate * step stays far inside 64 bits.
constexpr std::uint64_t kLongestStepNs = 100 * kNsPerSecond;
// Bench pulses are clamped so that no sum of positions can overflow.
constexpr std::int64_t kLargestPulse = std::int64_t{1} << 40;

} // namespace

std::unique_ptr<Module> make_counter_module() {
    return std::make_unique<CounterModule>();
}

// ---- test bench ---------------------------------------------------------------------------------

void CounterModule::set_rate(unsigned input, std::int64_t edges_per_second) {
    Input& in = inputs_[input & 1];
    const std::int64_t rate = std::clamp(edges_per_second, -kMaxRate, kMaxRate);
    if (rate != in.rate)
        in.remainder = 0; // a new rate starts on a whole edge
    in.rate = rate;
}

void CounterModule::pulse(unsigned input, std::int64_t edges) {
    bench_.push_back(
        {BenchKind::Pulse, input & 1, std::clamp(edges, -kLargestPulse, kLargestPulse), false});
}

void CounterModule::set_index_every(std::int64_t edges) {
    index_every_ = std::max<std::int64_t>(edges, 0);
}

void CounterModule::index_pulse() {
    bench_.push_back({BenchKind::IndexPulse, 0, 0, false});
}

void CounterModule::set_reference(bool high) {
    bench_.push_back({BenchKind::Reference, 0, 0, high});
}

void CounterModule::set_strobe(unsigned input, bool high) {
    bench_.push_back({BenchKind::Strobe, input & 1, 0, high});
}

void CounterModule::set_self_test_fault(bool failing) {
    self_test_fault_ = failing;
}

// ---- time ---------------------------------------------------------------------------------------

void CounterModule::advance(std::uint64_t now_ns, std::uint8_t position,
                            InterruptSink& interrupts) {
    // What the bench did happened at the time the module was last brought up to, before the
    // time that has passed since.
    for (const BenchEvent& e : bench_)
        run_bench_event(e);
    bench_.clear();

    if (now_ns > last_ns_) {
        const std::uint64_t elapsed = now_ns - last_ns_;
        for (unsigned i = 0; i < 2; ++i) {
            Input& in = inputs_[i];
            for (std::uint64_t done = 0; in.rate != 0 && done < elapsed;) {
                const std::uint64_t step = std::min(elapsed - done, kLongestStepNs);
                done += step;
                const std::int64_t total = in.rate * static_cast<std::int64_t>(step) + in.remainder;
                const std::int64_t ns = static_cast<std::int64_t>(kNsPerSecond);
                in.remainder = total % ns;
                if (total / ns != 0)
                    move(i, total / ns, true);
            }
        }
    }
    last_ns_ = now_ns;
    flush(position, interrupts);
}

void CounterModule::run_bench_event(const BenchEvent& e) {
    switch (e.kind) {
    case BenchKind::Pulse:
        move(e.input, e.edges, false);
        break;
    case BenchKind::IndexPulse:
        index_event(true);
        break;
    case BenchKind::Reference: {
        const bool was_active = reference_active();
        reference_level_ = e.level;
        if (index_source_ == 1 && !was_active && reference_active())
            index_event(false);
        break;
    }
    case BenchKind::Strobe: {
        Strobe& s = strobe_[e.input];
        const bool edge = s.falling ? (s.level && !e.level) : (!s.level && e.level);
        s.level = e.level;
        if (s.armed && edge)
            latch(static_cast<std::uint8_t>(1u << e.input));
        break;
    }
    }
}

// The encoder of an input moves; on input 0 the movement stops at every index position on the
// way, so that the index acts on the counter as it stands there.
void CounterModule::move(unsigned input, std::int64_t edges, bool from_rate) {
    Input& in = inputs_[input];
    const bool filtered = from_rate && magnitude(in.rate) > filter_limit(in.filter);
    const bool index_filtered = from_rate && magnitude(inputs_[0].rate) > filter_limit(efg_filter_);
    const std::int64_t every = index_every_;
    while (input == 0 && every > 0 && edges != 0) {
        // The next index position in the direction of movement, and the edges to reach it.
        const std::int64_t p = in.position;
        const std::int64_t to =
            edges > 0 ? (floor_div(p, every) + 1) * every - p : floor_div(p - 1, every) * every - p;
        if (edges > 0 ? to > edges : to < edges)
            break;
        follow(input, to, filtered);
        edges -= to;
        if (!index_filtered)
            index_event(true);
    }
    follow(input, edges, filtered);
}

// The counter follows its input's edges, unless the filter suppresses them; the edge evaluation
// turns edges into counts.
void CounterModule::follow(unsigned input, std::int64_t edges, bool filtered) {
    Input& in = inputs_[input];
    in.position += edges;
    if (filtered || edges == 0)
        return;
    const std::int64_t per_count = 4 / evaluation_;
    const std::int64_t before = floor_div(in.seen, per_count);
    in.seen += edges;
    const std::int64_t counts = floor_div(in.seen, per_count) - before;
    if (split_ || input == 0)
        count(input, counts);
}

void CounterModule::count(unsigned counter, std::int64_t counts) {
    if (counts == 0)
        return;
    if (inverted_[counter])
        counts = -counts;
    const bool up = counts > 0;
    if (hysteresis_ && up != up_[counter])
        counts += up ? -1 : 1;
    up_[counter] = up;
    step_counter(counter, counts);
}

void CounterModule::step_counter(unsigned counter, std::int64_t counts) {
    if (counts == 0)
        return;
    if (!split_) {
        step_word(counts);
        return;
    }
    const std::int64_t next = static_cast<std::int64_t>(half(counter)) + counts;
    if (next > 0xFFFF)
        cb_[counter] |= 1;
    if (next < 0)
        cb_[counter] |= 2;
    const std::uint32_t value = static_cast<std::uint16_t>(static_cast<std::uint64_t>(next));
    word_ = counter == 0 ? (word_ & 0xFFFF0000u) | value : (word_ & 0xFFFFu) | (value << 16);
}

// The 32-bit counter moves by `counts`; the compare logic follows it.
void CounterModule::step_word(std::int64_t counts) {
    constexpr std::uint64_t kSpan = std::uint64_t{1} << 32;
    const bool up = counts > 0;
    const std::uint64_t distance = static_cast<std::uint64_t>(up ? counts : -counts);
    const std::uint32_t start = word_;
    std::uint64_t events = 0;
    std::uint32_t at = 0;

    if (compare_ == Compare::Modulo) {
        // Crossings of period boundaries. Any `every` consecutive periods are together `group`
        // counts long, whatever period they start at, so whole groups are skipped at once.
        const std::uint64_t every = correction_every_ == 0 ? 1 : correction_every_;
        const std::uint64_t group =
            correction_every_ == 0 ? modulo_ : every * modulo_ + correction_extra_;
        std::uint64_t remaining = distance;
        std::int64_t travelled = 0, last = 0; // signed, from the start
        const std::int64_t sign = up ? 1 : -1;
        for (;;) {
            const std::uint64_t to = up ? period(period_index_) - phase_ : phase_ + 1;
            if (remaining < to) {
                phase_ = up ? phase_ + remaining : phase_ - remaining;
                break;
            }
            remaining -= to;
            travelled += sign * static_cast<std::int64_t>(to);
            period_index_ += sign;
            phase_ = up ? 0 : period(period_index_) - 1;
            ++events;
            const std::uint64_t groups = remaining / group;
            remaining -= groups * group;
            travelled += sign * static_cast<std::int64_t>(groups * group);
            period_index_ += sign * static_cast<std::int64_t>(groups * every);
            events += groups * every;
            last = travelled;
        }
        if (modulo_counter_) {
            word_ = static_cast<std::uint32_t>(phase_);
            if (events > 0)
                cb_[0] |= up ? 1 : 2;
            at = up ? 0 : static_cast<std::uint32_t>(period(period_index_) - 1);
        } else {
            at = start + static_cast<std::uint32_t>(last);
        }
    } else if (compare_ == Compare::Plain) {
        // The compare value is reached first after `first` counts, then every 2^32 counts.
        std::uint64_t first =
            up ? std::uint32_t(compare_value_ - start) : std::uint32_t(start - compare_value_);
        if (first == 0)
            first = kSpan;
        if (first <= distance)
            events = 1 + (distance - first) / kSpan;
        at = compare_value_;
    }

    if (!(compare_ == Compare::Modulo && modulo_counter_)) {
        if (up ? distance >= kSpan - start : distance > start)
            cb_[0] |= up ? 1 : 2;
        word_ = start + static_cast<std::uint32_t>(up ? distance : 0 - distance);
    }

    if (events > 0 && compare_enabled_) {
        compare_latch_ = at;
        if (channel_compare_ && events % 2 == 1)
            channel_on_ = !channel_on_;
        event(kCompareSource, at, events);
    }
}

std::uint64_t CounterModule::period(std::int64_t k) const {
    if (correction_every_ == 0)
        return modulo_;
    const bool longer = floor_mod(k, correction_every_) == correction_every_ - 1;
    return std::uint64_t{modulo_} + (longer ? correction_extra_ : 0u);
}

void CounterModule::set_word(std::uint32_t word) {
    word_ = word;
    resync_modulo();
}

void CounterModule::resync_modulo() {
    if (compare_ != Compare::Modulo)
        return;
    period_index_ = 0;
    phase_ = modulo_counter_ ? word_ : word_ % modulo_;
    if (phase_ >= period(0)) { // a modulo counter beyond a period that a correction shortened
        phase_ %= modulo_;
        word_ = static_cast<std::uint32_t>(phase_);
    }
}

// ---- index, latch and interrupts ----------------------------------------------------------------

void CounterModule::index_event(bool from_track) {
    if (!index_set_up_ || !index_enabled_)
        return;
    if (from_track != (index_source_ == 0))
        return;
    if (from_track && reference_set_up_ && !reference_active())
        return;
    if ((index_direction_ == 1 && !up_[0]) || (index_direction_ == 2 && up_[0]))
        return;
    const std::uint32_t before = word_;
    if (index_action_ == 0)
        set_word(split_ ? word_ & 0xFFFF0000u : 0);
    else
        store_latch(0, word_);
    index_status_ = true;
    if (index_single_)
        index_enabled_ = false;
    if (index_interrupt_)
        event(kIndexSource, before);
}

void CounterModule::store_latch(unsigned reg, std::uint32_t value) {
    LatchRegister& r = latch_[reg];
    r.status = r.status == 0 ? 1 : 2;
    r.value = value;
}

void CounterModule::latch(std::uint8_t mask) {
    for (unsigned r = 0; r < 2; ++r)
        if (mask & (1u << r))
            store_latch(r, word_);
    if (latch_interrupt_)
        event(kLatchSource, word_, 1, mask);
}

void CounterModule::event(Source source, std::uint32_t value, std::uint64_t count,
                          std::uint8_t mask) {
    ud_latched_ = ud_status();
    auto it = std::find_if(pending_.begin(), pending_.end(),
                           [&](const InterruptRecord& r) { return r.word1 == source; });
    if (it == pending_.end()) {
        InterruptRecord r;
        r.word1 = source;
        r.value_count = 3;
        it = pending_.insert(pending_.end(), r);
    }
    const std::uint64_t total = it->values[0] + count;
    it->values[0] = static_cast<std::uint32_t>(std::min<std::uint64_t>(total, 0xFFFFFFFFu));
    it->word2 = value;
    it->values[1] = ud_latched_;
    it->values[2] |= mask;
}

void CounterModule::flush(std::uint8_t position, InterruptSink& interrupts) {
    for (InterruptRecord& r : pending_) {
        r.record_byte = position;
        interrupts.raise(r);
    }
    pending_.clear();
}

// ---- status -------------------------------------------------------------------------------------

std::uint8_t CounterModule::ud_status() const {
    return static_cast<std::uint8_t>((up_[0] ? 1 : 0) | (split_ && up_[1] ? 2 : 0));
}

std::uint8_t CounterModule::uas_status() const {
    const std::int64_t p = inputs_[0].position;
    const std::int64_t phase = floor_mod(p, 4);
    const bool a = phase == 1 || phase == 2;
    const bool b = phase == 2 || phase == 3;
    const bool index = index_every_ > 0 && floor_mod(p, index_every_) == 0;
    return static_cast<std::uint8_t>((a ? 1 : 0) | (b ? 2 : 0) | (index ? 4 : 0) |
                                     (reference_level_ ? 8 : 0));
}

bool CounterModule::reference_active() const {
    return reference_level_ == reference_active_high_;
}

std::uint16_t CounterModule::half(unsigned counter) const {
    return static_cast<std::uint16_t>(word_ >> (16 * counter));
}

// ---- requests -----------------------------------------------------------------------------------

// Carries out one request on the buffer `b` and gives the driver status word.
std::uint32_t CounterModule::answer(std::uint32_t code, std::uint8_t* b, std::uint64_t) {
    const std::uint32_t value = get_le32(b + 4); // the value field of 12- and 16-byte requests
    switch (code) {
    case counter::kInit.code: {
        const std::uint8_t range = b[1], evaluation = b[4];
        if (range > 1 || b[2] > 1 || b[3] > 1 || b[5] > 1 ||
            (evaluation != 1 && evaluation != 2 && evaluation != 4))
            return kBadArgument;
        split_ = range == 1;
        inverted_[0] = b[2] == 1;
        inverted_[1] = b[3] == 1;
        evaluation_ = evaluation;
        hysteresis_ = b[5] == 1;
        for (Input& in : inputs_)
            in.seen = in.position; // the evaluation starts afresh where the inputs are
        cb_[0] = cb_[1] = 0;
        latch_[0] = latch_[1] = LatchRegister{};
        if (split_) {
            compare_ = Compare::None;
            compare_enabled_ = false;
        }
        set_word(0);
        return kDone;
    }
    case counter::kAutoTest.code:
        return self_test_fault_ ? kSelfTestFailed : kDone;
    case counter::kClear.code:
        set_word(0);
        return kDone;
    case counter::kInputFilter.code:
        if (b[1] > 7 || b[2] > 7)
            return kBadArgument;
        inputs_[0].filter = b[1];
        inputs_[1].filter = b[2];
        return kDone;
    case counter::kInputFilterEfg.code:
        if (b[2] > 7)
            return kBadArgument;
        efg_filter_ = b[2];
        return kDone;
    case counter::kReadValue.code:
        put_le32(b + 4, word_);
        return kDone;
    case counter::kWriteValue.code:
        if (compare_ == Compare::Modulo && modulo_counter_ && value >= period(0))
            return kWrongState;
        set_word(value);
        return kDone;

    case counter::kLatch.code:
        if (value == 0 || value > 3)
            return kBadArgument;
        latch(static_cast<std::uint8_t>(value));
        return kDone;
    case counter::kLatchStatus.code:
        if (b[1] > 1)
            return kBadArgument;
        b[2] = latch_[b[1]].status;
        return kDone;
    case counter::kLatchValue.code:
        if (b[1] > 1)
            return kBadArgument;
        put_le32(b + 4, latch_[b[1]].value);
        latch_[b[1]].status = 0;
        return kDone;
    case counter::kLatchInterrupt.code:
        if (value > 1)
            return kBadArgument;
        latch_interrupt_ = value == 1;
        return kDone;
    case counter::kExternalStrobe.code:
        if (b[1] > 1 || b[2] > 1)
            return kBadArgument;
        strobe_[b[1]].armed = true;
        strobe_[b[1]].falling = b[2] == 1;
        return kDone;

    case counter::kInitIndex.code:
        if (b[1] > 1 || b[2] > 2 || b[3] > 1 || b[4] > 1)
            return kBadArgument;
        index_action_ = b[1];
        index_direction_ = b[2];
        index_single_ = b[3] == 1;
        index_interrupt_ = b[4] == 1;
        index_set_up_ = true;
        index_enabled_ = false;
        index_status_ = false;
        return kDone;
    case counter::kIndexSwitch.code:
        if (value > 1)
            return kBadArgument;
        if (value == 1 && !index_set_up_)
            return kWrongState;
        index_enabled_ = value == 1;
        if (index_enabled_)
            index_status_ = false;
        return kDone;
    case counter::kIndexStatus.code:
        put_le32(b + 4, index_status_ ? 1 : 0);
        return kDone;
    case counter::kIndexReferenceSource.code:
        if (value > 1)
            return kBadArgument;
        index_source_ = static_cast<std::uint8_t>(value);
        return kDone;
    case counter::kInitReference.code:
        if (value > 1)
            return kBadArgument;
        reference_set_up_ = true;
        reference_active_high_ = value == 1;
        return kDone;
    case counter::kReferenceStatus.code:
        put_le32(b + 4, reference_active() ? 1 : 0);
        return kDone;

    case counter::kUasStatus.code:
        put_le32(b + 4, uas_status());
        return kDone;
    case counter::kCbStatus.code:
        put_le32(b + 4, cb_[0]);
        cb_[0] = 0;
        return kDone;
    case counter::kCb16Status.code:
        b[1] = cb_[0];
        b[2] = cb_[1];
        cb_[0] = cb_[1] = 0;
        return kDone;
    case counter::kUdStatus.code:
        put_le32(b + 4, ud_status());
        return kDone;
    case counter::kUdLatchedStatus.code:
        put_le32(b + 4, ud_latched_);
        return kDone;

    case counter::kInitCompare.code:
        if (split_)
            return kWrongState;
        compare_ = Compare::Plain;
        compare_value_ = value;
        modulo_counter_ = false;
        return kDone;
    case counter::kInitModuloCompare.code:
        if (split_)
            return kWrongState;
        if (value == 0 || b[8] > 1)
            return kBadArgument;
        compare_ = Compare::Modulo;
        modulo_ = value;
        modulo_counter_ = b[8] == 1;
        set_word(modulo_counter_ ? word_ % modulo_ : word_);
        return kDone;
    case counter::kModuloCorrection.code:
        correction_extra_ = get_le16(b + 2);
        correction_every_ = get_le16(b + 4);
        resync_modulo();
        return kDone;
    case counter::kCompareSwitch.code:
        if (value > 1)
            return kBadArgument;
        if (value == 1 && compare_ == Compare::None)
            return kWrongState;
        compare_enabled_ = value == 1;
        return kDone;
    case counter::kCompareLatch.code:
        put_le32(b + 4, compare_latch_);
        return kDone;

    case counter::kDigitalChannelUse.code:
        if (b[1] > 1)
            return kBadArgument;
        channel_compare_ = b[1] == 1;
        return kDone;
    case counter::kDigitalChannel.code:
        if (value > 1)
            return kBadArgument;
        if (channel_compare_)
            return kWrongState;
        channel_on_ = value == 1;
        return kDone;
    }
    return kBadArgument; // the board sends no other code
}

} // namespace mfb::sim
