#include "sim/frequency_module.h"

#include "sim/modules.h"

#include <algorithm>

namespace mfb::sim {
namespace {

namespace frequency = protocol::frequency;
using protocol::get_le32;
using protocol::put_le32;

constexpr std::uint32_t kLongestGateCount = 65'534;
// One tick of the clock lasts 4 / clock microseconds: a gate of n ticks lasts n x 4000 / clock ns.
constexpr std::uint64_t kTickNsTimesMhz = 4'000;

bool known_clock(std::uint8_t mhz) {
    return mhz == 30 || mhz == 33 || mhz == 40;
}

} // namespace

std::uint64_t FrequencyModule::gate_ns() const {
    return clock_mhz_ == 0 ? 0 : ticks_ * kTickNsTimesMhz / clock_mhz_;
}

// Gates close at the enable + k gate times; their count follows exactly from the clock in
// ns x MHz, without rounding a gate to whole nanoseconds.
void FrequencyModule::catch_up(std::uint64_t now) {
    if (now < now_) { // the bus clock was reset: the open gate starts again from here
        origin_ns_ = now;
        gates_seen_ = 0;
    }
    now_ = now;
    if (!enabled_)
        return;
    std::uint64_t gates = (now - origin_ns_) * clock_mhz_ / (ticks_ * kTickNsTimesMhz);
    if (!continuous_)
        gates = std::min<std::uint64_t>(gates, 1);
    if (gates == gates_seen_)
        return;
    closed_ =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(closed_ + gates - gates_seen_, 255));
    gates_seen_ = gates;
    // floor(f x n x 4 / clock us) = floor(f x n x 4 / (clock x 10^6)); below 2^50, exact.
    value_ = static_cast<std::uint32_t>(std::uint64_t{input_hz_} * ticks_ * 4 /
                                        (std::uint64_t{clock_mhz_} * 1'000'000));
    if (!continuous_)
        enabled_ = false;
}

void FrequencyModule::advance(std::uint64_t now_ns, std::uint8_t, InterruptSink&) {
    catch_up(now_ns);
}

std::uint32_t FrequencyModule::answer(std::uint32_t code, std::uint8_t* b, std::uint64_t) {
    switch (code) {
    case frequency::kInit.code: {
        const std::uint32_t gate_count = get_le32(b + 4);
        if (!known_clock(b[8]) || gate_count > kLongestGateCount)
            return kBadRequest;
        if (enabled_)
            return kWrongState;
        clock_mhz_ = b[8];
        ticks_ = gate_count + 2;
        return 0;
    }
    case frequency::kEnable.code:
        if (b[1] > 1)
            return kBadRequest;
        if (clock_mhz_ == 0 || enabled_)
            return kWrongState;
        enabled_ = true;
        continuous_ = b[1] == 1;
        origin_ns_ = now_;
        gates_seen_ = 0;
        return 0;
    case frequency::kDisable.code:
        enabled_ = false;
        return 0;
    case frequency::kRead.code:
        b[1] = enabled_ ? 1 : 0;
        b[2] = static_cast<std::uint8_t>(closed_);
        put_le32(b + 4, value_);
        closed_ = 0;
        return 0;
    }
    return kBadRequest;
}

std::unique_ptr<Module> make_frequency_module() {
    return std::make_unique<FrequencyModule>();
}

} // namespace mfb::sim
