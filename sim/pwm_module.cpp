#include "sim/pwm_module.h"

#include "sim/modules.h"

#include <algorithm>

namespace mfb::sim {
namespace {

namespace pwm = protocol::pwm;
using protocol::get_le32;
using protocol::put_le32;

// Per timing unit: nanoseconds in one unit, and the durations the PWM takes (bounds included).
struct Unit {
    std::uint64_t ns;
    std::uint32_t shortest, longest;
};
constexpr Unit kUnits[] = {
    {1, 150, 0xFFFFFFFF},    {1'000, 1, 429'496'729}, {1'000'000, 1, 429'496},
    {1'000'000'000, 1, 429}, {60'000'000'000, 1, 7},
};
constexpr std::uint64_t kStepNs = 100;                       // the 10 MHz phase clock
constexpr std::uint64_t kLongestNs = 0xFFFFFFFF / 100 * 100; // 4,294,967,200

bool duration_valid(std::uint8_t unit, std::uint32_t d) {
    return unit < std::size(kUnits) && d >= kUnits[unit].shortest && d <= kUnits[unit].longest;
}

// A duration as the PWM realises it: in the caller's unit, and in nanoseconds.
struct Achieved {
    std::uint32_t value;
    std::uint64_t ns;
};
Achieved achieve(std::uint8_t unit, std::uint32_t d) {
    if (unit == 0) {
        const std::uint64_t ns =
            std::min((std::uint64_t{d} + kStepNs / 2) / kStepNs * kStepNs, kLongestNs);
        return {static_cast<std::uint32_t>(ns), ns};
    }
    return {d, d * kUnits[unit].ns};
}

} // namespace

bool PwmModule::gate_open(std::size_t pwm) const {
    return pwms_[pwm].settings[3] == 0 || ((inputs_ >> pwm) & 1u) != 0;
}

std::uint8_t PwmModule::phase_level(const Pwm& p) const {
    const std::uint8_t first = p.settings[0];
    const std::uint64_t first_ns = first ? p.high_ns : p.low_ns;
    const std::uint64_t in_period = p.run_ns % (p.low_ns + p.high_ns);
    return in_period < first_ns ? first : static_cast<std::uint8_t>(1 - first);
}

std::uint8_t PwmModule::level(std::size_t pwm) const {
    const Pwm& p = pwms_.at(pwm);
    return p.enabled ? phase_level(p) : p.stopped_level;
}

bool PwmModule::output() const {
    if (manual_)
        return manual_level_;
    return pwms_[0].enabled || pwms_[1].enabled;
}

void PwmModule::stop(Pwm& p, bool at_period_end) {
    const std::uint8_t stop_level = p.settings[2];
    if (stop_level != 2)
        p.stopped_level = stop_level;
    else // hold: a period ends in its second phase
        p.stopped_level =
            at_period_end ? static_cast<std::uint8_t>(1 - p.settings[0]) : phase_level(p);
    p.enabled = false;
    p.stopping = false;
}

void PwmModule::catch_up(std::uint64_t now) {
    if (now <= now_)
        return;
    const std::uint64_t elapsed = now - now_;
    now_ = now;
    for (std::size_t i = 0; i < pwms_.size(); ++i) {
        Pwm& p = pwms_[i];
        if (!p.enabled || !gate_open(i))
            continue;
        p.run_ns += elapsed;
        if (p.stopping && p.run_ns >= p.stop_at) {
            p.run_ns = p.stop_at;
            stop(p, true);
        }
    }
}

void PwmModule::advance(std::uint64_t now_ns, std::uint8_t, InterruptSink&) {
    catch_up(now_ns);
}

std::uint32_t PwmModule::timing(std::uint8_t* b, bool init, std::size_t pwm) {
    const std::uint8_t unit = b[2];
    const std::uint32_t first = get_le32(b + 4), second = get_le32(b + 8);
    if (!duration_valid(unit, first) || !duration_valid(unit, second))
        return kBadRequest;
    Pwm& p = pwms_[pwm];
    if (init && p.enabled)
        return kRunning;
    if (!init && !p.initialised)
        return kNotInitialised;
    const Achieved low = achieve(unit, first), high = achieve(unit, second);
    p.initialised = true;
    p.unit = unit;
    p.first = first;
    p.second = second;
    p.low_ns = low.ns;
    p.high_ns = high.ns;
    // New durations on a running PWM start a new period; a pending stop comes at its end.
    p.run_ns = 0;
    p.stop_at = p.low_ns + p.high_ns;
    if (init) {
        put_le32(b + 12, low.value);
        put_le32(b + 16, high.value);
    }
    return 0;
}

std::uint32_t PwmModule::enable(const std::uint8_t* b, std::size_t pwm) {
    constexpr std::uint8_t kLargest[5] = {1, 1, 2, 1, 1};
    for (std::size_t i = 0; i < 5; ++i)
        if (b[2 + i] > kLargest[i])
            return kBadRequest;
    Pwm& p = pwms_[pwm];
    if (!p.initialised)
        return kNotInitialised;
    if (p.enabled)
        return kRunning;
    std::copy(b + 2, b + 7, p.settings.begin());
    p.enabled = true;
    p.stopping = false;
    p.run_ns = 0;
    return 0;
}

std::uint32_t PwmModule::answer(std::uint32_t code, std::uint8_t* b, std::uint64_t) {
    const std::uint8_t pwm = b[1];
    switch (code) {
    case pwm::kInit.code:
    case pwm::kNewTiming.code:
        return pwm > 1 ? kBadRequest : timing(b, code == pwm::kInit.code, pwm);
    case pwm::kEnable.code:
        return pwm > 1 ? kBadRequest : enable(b, pwm);
    case pwm::kDisable.code: {
        if (pwm > 1)
            return kBadRequest;
        Pwm& p = pwms_[pwm];
        if (!p.enabled || p.stopping)
            return 0;
        const std::uint64_t period = p.low_ns + p.high_ns;
        if (p.settings[1] == 0 || p.run_ns % period == 0) {
            stop(p, p.run_ns > 0);
        } else {
            p.stopping = true;
            p.stop_at = (p.run_ns / period + 1) * period;
        }
        return 0;
    }
    case pwm::kGetInitialisation.code: {
        if (pwm > 1)
            return kBadRequest;
        const Pwm& p = pwms_[pwm];
        b[2] = p.unit;
        put_le32(b + 4, p.first);
        put_le32(b + 8, p.second);
        std::copy(p.settings.begin(), p.settings.end(), b + 12);
        b[17] = p.enabled ? 1 : 0;
        return 0;
    }
    case pwm::kStatus.code:
        if (pwm > 1)
            return kBadRequest;
        b[2] = level(pwm);
        b[3] = static_cast<std::uint8_t>((inputs_ >> pwm) & 1u);
        return 0;
    case pwm::kReadInput.code:
        if (b[1] > 2)
            return kBadRequest;
        b[2] = static_cast<std::uint8_t>((inputs_ >> b[1]) & 1u);
        return 0;
    case pwm::kReadAllInputs.code:
        b[1] = inputs_;
        return 0;
    case pwm::kManualSetting.code:
        if (b[1] > 1)
            return kBadRequest;
        if (b[1] == 1 && !manual_)
            manual_level_ = output(); // the output keeps its level until switched
        manual_ = b[1] == 1;
        return 0;
    case pwm::kOutputOn.code:
    case pwm::kOutputOff.code:
        if (!manual_)
            return kNotManual;
        manual_level_ = code == pwm::kOutputOn.code;
        return 0;
    default:
        return kBadRequest;
    }
}

std::unique_ptr<Module> make_pwm_module() {
    return std::make_unique<PwmModule>();
}

} // namespace mfb::sim
