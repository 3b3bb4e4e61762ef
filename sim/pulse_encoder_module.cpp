#include "sim/pulse_encoder_module.h"

#include "sim/modules.h"

namespace mfb::sim {
namespace {

namespace encoder = protocol::pulse_encoder;
using protocol::get_le32;
using protocol::put_le32;

constexpr std::uint64_t kUnitNs[] = {1'000, 1'000'000}; // us, ms

constexpr std::uint8_t kStatusRunning = 0x01;
constexpr std::uint8_t kStatusReachedZero = 0x02;

} // namespace

std::uint64_t PulseEncoderModule::pulses(std::uint8_t encoder) const {
    return encoder < encoders_.size() ? encoders_[encoder].total : 0;
}

bool PulseEncoderModule::running(std::uint8_t encoder) const {
    return encoder < encoders_.size() && encoders_[encoder].running;
}

// Emits `due` pulses, as far as the count allows; returns how often the count reached 0.
std::uint64_t PulseEncoderModule::emit(Encoder& e, std::uint64_t due) {
    if (due < e.count) {
        e.count -= static_cast<std::uint32_t>(due);
        e.emitted += due;
        e.total += due;
        return 0;
    }
    std::uint64_t passages = 1;
    if (!e.continuous || e.start == 0) {
        e.emitted += e.count;
        e.total += e.count;
        e.count = 0;
        e.running = false;
    } else {
        const std::uint64_t rest = due - e.count;
        passages += rest / e.start;
        e.count = static_cast<std::uint32_t>(e.start - rest % e.start);
        e.emitted += due;
        e.total += due;
    }
    e.zeros += passages;
    e.reached_zero = true;
    return passages;
}

void PulseEncoderModule::catch_up(std::uint64_t now, std::uint8_t position,
                                  InterruptSink& interrupts) {
    if (now < now_) { // the bus clock was reset: the periods start again from here
        for (Encoder& e : encoders_) {
            e.origin_ns = now;
            e.emitted_seen = 0;
            e.at_once = false;
        }
    }
    now_ = now;
    for (std::uint8_t i = 0; i < encoders_.size(); ++i) {
        Encoder& e = encoders_[i];
        if (!e.running)
            continue;
        const std::uint64_t due = (now - e.origin_ns) / e.period_ns + (e.at_once ? 1 : 0);
        const std::uint64_t fresh = due - e.emitted_seen;
        e.emitted_seen = due;
        if (fresh == 0)
            continue;
        const std::uint64_t passages = emit(e, fresh);
        if (passages != 0 && e.interrupts) {
            InterruptRecord r;
            r.record_byte = position;
            r.word1 = i;
            r.word2 = static_cast<std::uint32_t>(e.zeros);
            r.values[0] = static_cast<std::uint32_t>(passages);
            r.values[1] = static_cast<std::uint32_t>(e.emitted);
            r.value_count = 2;
            interrupts.raise(r);
        }
    }
}

void PulseEncoderModule::advance(std::uint64_t now_ns, std::uint8_t position,
                                 InterruptSink& interrupts) {
    catch_up(now_ns, position, interrupts);
}

std::uint16_t PulseEncoderModule::enable(Encoder& e, const std::uint8_t* b) {
    if (b[2] > 1)
        return kBadRequest;
    if (e.period_ns == 0)
        return kNotSetUp;
    if (e.running)
        return kRunning;
    if (e.count == 0)
        e.count = e.start;
    e.at_once = b[2] == 1;
    e.interrupts = b[3] != 0;
    e.origin_ns = now_;
    e.emitted_seen = 0;
    e.zeros = 0;
    e.emitted = 0;
    e.running = e.count != 0;
    return 0;
}

std::uint32_t PulseEncoderModule::answer(std::uint32_t code, std::uint8_t* b, std::uint64_t) {
    if (b[1] >= encoders_.size())
        return kBadRequest;
    Encoder& e = encoders_[b[1]];
    switch (code) {
    case encoder::kInit.code: {
        const std::uint32_t period = get_le32(b + 4);
        if (b[2] >= std::size(kUnitNs) || b[3] > 1 || period == 0)
            return kBadRequest;
        if (e.running)
            return kRunning;
        e.period_ns = period * kUnitNs[b[2]];
        e.continuous = b[3] == 1;
        return 0;
    }
    case encoder::kEnable.code:
        return enable(e, b);
    case encoder::kDisable.code:
        e.running = false;
        return 0;
    case encoder::kReadStatus.code:
        b[2] = static_cast<std::uint8_t>((e.running ? kStatusRunning : 0) |
                                         (e.reached_zero ? kStatusReachedZero : 0));
        e.reached_zero = false;
        return 0;
    case encoder::kReadValue.code:
        put_le32(b + 4, e.count);
        return 0;
    case encoder::kWriteValue.code:
        e.count = e.start = get_le32(b + 4);
        if (e.count == 0)
            e.running = false;
        return 0;
    }
    return kBadRequest;
}

std::unique_ptr<Module> make_pulse_encoder_module() {
    return std::make_unique<PulseEncoderModule>();
}

} // namespace mfb::sim
