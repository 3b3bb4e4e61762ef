#include "sim/etm_module.h"

#include "sim/modules.h"

#include <algorithm>

namespace mfb::sim {
namespace {

namespace etm = protocol::etm;
using protocol::get_le32;
using protocol::put_le32;

constexpr std::uint32_t kLatestMeasurement = 0xFFFFFFFF;
constexpr std::uint64_t kUnitNs[] = {1, 1'000, 1'000'000};
constexpr std::uint64_t kMost32 = 0xFFFFFFFF;

std::uint32_t ticks(std::uint64_t ns, std::uint64_t tick_ns) {
    return static_cast<std::uint32_t>(std::min(ns / tick_ns, kMost32));
}

} // namespace

bool EtmModule::has_edges(const Etm& e) const {
    return e.period_ns != 0 && e.high_ns != 0 && e.high_ns < e.period_ns;
}

// The measurement under way ends one period after the first start edge at or after now.
void EtmModule::start(Etm& e) {
    if (!has_edges(e)) {
        e.end_ns = kNever;
        return;
    }
    const std::uint64_t first = e.origin_ns + (e.settings[0] == 1 ? e.high_ns : 0);
    std::uint64_t edge = first;
    if (now_ > first)
        edge += (now_ - first + e.period_ns - 1) / e.period_ns * e.period_ns;
    e.end_ns = edge + e.period_ns;
}

void EtmModule::catch_up(std::uint64_t now) {
    if (now < now_) { // the bus clock was reset: measurements under way start again from here
        now_ = now;
        for (Etm& e : etms_)
            if (e.enabled)
                start(e);
        return;
    }
    now_ = now;
    for (Etm& e : etms_) {
        if (!e.enabled || e.end_ns == kNever || now < e.end_ns)
            continue;
        const std::uint64_t finished = (now - e.end_ns) / e.period_ns + 1;
        const std::uint64_t interval = e.settings[0] == 1 ? e.period_ns - e.high_ns : e.high_ns;
        e.value = ticks(interval, e.tick_ns);
        e.total = ticks(e.period_ns, e.tick_ns);
        if (e.settings[1] == 0) { // single: the ETM stops after its measurement
            e.fresh = 1;
            e.enabled = false;
            e.end_ns = kNever;
        } else {
            e.fresh = static_cast<std::uint32_t>(std::min<std::uint64_t>(e.fresh + finished, 2));
            e.end_ns += finished * e.period_ns;
        }
    }
}

void EtmModule::advance(std::uint64_t now_ns, std::uint8_t, InterruptSink&) {
    catch_up(now_ns);
}

void EtmModule::set_signal(std::uint8_t etm, std::uint64_t period_ns, std::uint64_t high_ns) {
    if (etm >= etms_.size())
        return;
    Etm& e = etms_[etm];
    e.period_ns = period_ns;
    e.high_ns = high_ns;
    e.origin_ns = now_;
    if (e.enabled)
        start(e);
}

std::uint8_t EtmModule::state(const Etm& e) const {
    if (e.fresh != 0)
        return e.fresh == 1 ? 2 : 3;
    return e.enabled ? 1 : 0;
}

std::uint16_t EtmModule::set_up(Etm& e, std::uint8_t* b) {
    const std::uint8_t unit = b[4];
    if (unit >= std::size(kUnitNs))
        return kBadRequest;
    const std::uint64_t ns = get_le32(b + 8) * kUnitNs[unit];
    const std::uint64_t clocks = (ns + kClockNs / 2) / kClockNs;
    const std::uint64_t achieved = clocks * kClockNs / kUnitNs[unit];
    if (clocks == 0 || clocks > kMost32 || achieved > kMost32)
        return kBadRequest;
    if (e.enabled)
        return kRunning;
    e.unit = unit;
    e.base = static_cast<std::uint32_t>(achieved);
    e.tick_ns = clocks * kClockNs;
    e.fresh = 0;
    e.value = e.total = 0;
    put_le32(b + 12, e.base);
    return 0;
}

std::uint16_t EtmModule::enable(Etm& e, const std::uint8_t* b) {
    if (b[4] > 1 || b[5] > 1 || b[6] != 0 || b[7] != 0 || b[8] != 0)
        return kBadRequest;
    if (e.tick_ns == 0)
        return kNotInitialised;
    if (e.enabled)
        return kRunning;
    std::copy(b + 4, b + 9, e.settings.begin());
    e.enabled = true;
    e.fresh = 0;
    e.value = e.total = 0;
    start(e);
    return 0;
}

std::uint32_t EtmModule::answer(std::uint32_t code, std::uint8_t* b, std::uint64_t) {
    if (b[3] >= etms_.size())
        return kBadRequest;
    Etm& e = etms_[b[3]];
    switch (code) {
    case etm::kInit.code:
        return set_up(e, b);
    case etm::kEnable.code:
        return enable(e, b);
    case etm::kDisable.code:
        e.enabled = false;
        e.end_ns = kNever;
        return 0;
    case etm::kGetInitialisation.code:
        b[4] = e.unit;
        put_le32(b + 8, e.base);
        std::copy(e.settings.begin(), e.settings.end(), b + 12);
        b[17] = e.enabled ? 1 : 0;
        return 0;
    case etm::kProgressStatus.code:
        if (!e.enabled)
            b[4] = 0;
        else
            b[4] = e.end_ns == kNever || now_ < e.end_ns - e.period_ns ? 1 : 2;
        return 0;
    case etm::kRead.code:
        if (get_le32(b + 4) != kLatestMeasurement)
            return kBadRequest;
        b[8] = state(e);
        put_le32(b + 12, e.value);
        put_le32(b + 16, e.total);
        if (e.settings[1] == 1) // continuous: the read takes what has finished
            e.fresh = 0;
        return 0;
    }
    return kBadRequest;
}

std::unique_ptr<Module> make_etm_module() {
    return std::make_unique<EtmModule>();
}

} // namespace mfb::sim
