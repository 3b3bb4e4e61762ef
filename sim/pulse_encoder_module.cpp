#include "sim/pulse_encoder_module.h"

#include "sim/le_bytes.h"
#include "sim/modules.h"

namespace mfb::sim {
namespace {

constexpr std::uint32_t kInit = 0x90005400;
constexpr std::uint32_t kEnable = 0x90005404;
constexpr std::uint32_t kDisable = 0x90005408;
constexpr std::uint32_t kReadStatus = 0x9000540C;
constexpr std::uint32_t kReadValue = 0x90005410;
constexpr std::uint32_t kWriteValue = 0x90005414;

constexpr std::uint64_t kUnitNs[] = {1'000, 1'000'000}; // us, ms

constexpr std::uint8_t kStatusRunning = 0x01;
constexpr std::uint8_t kStatusReachedZero = 0x02;

// The size of each request's buffer (its driver status lies in the last four bytes); 0 for codes
// that are not the pulse encoder's.
std::uint32_t layout_size(std::uint32_t code) {
    switch (code) {
    case kInit:
    case kReadValue:
    case kWriteValue:
        return 12;
    case kEnable:
    case kDisable:
    case kReadStatus:
        return 8;
    default:
        return 0;
    }
}

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

std::uint16_t PulseEncoderModule::answer(std::uint32_t code, std::uint8_t* b) {
    if (b[1] >= encoders_.size())
        return kBadRequest;
    Encoder& e = encoders_[b[1]];
    switch (code) {
    case kInit: {
        const std::uint32_t period = le_u32(b, 4);
        if (b[2] >= std::size(kUnitNs) || b[3] > 1 || period == 0)
            return kBadRequest;
        if (e.running)
            return kRunning;
        e.period_ns = period * kUnitNs[b[2]];
        e.continuous = b[3] == 1;
        return 0;
    }
    case kEnable:
        return enable(e, b);
    case kDisable:
        e.running = false;
        return 0;
    case kReadStatus:
        b[2] = static_cast<std::uint8_t>((e.running ? kStatusRunning : 0) |
                                         (e.reached_zero ? kStatusReachedZero : 0));
        e.reached_zero = false;
        return 0;
    case kReadValue:
        put_le_u32(b, 4, e.count);
        return 0;
    case kWriteValue:
        e.count = e.start = le_u32(b, 4);
        if (e.count == 0)
            e.running = false;
        return 0;
    }
    return kBadRequest;
}

bool PulseEncoderModule::exchange(ModuleExchange& m) {
    catch_up(m.now_ns, m.position, m.interrupts);
    const std::uint32_t size = layout_size(m.x.code);
    if (size == 0 || m.x.in_size < size || m.x.out_size < size)
        return false;
    const std::uint16_t status = answer(m.x.code, m.x.buffer);
    m.x.buffer[size - 4] = static_cast<std::uint8_t>(status);
    m.x.buffer[size - 3] = static_cast<std::uint8_t>(status >> 8);
    m.x.bytes_returned = size;
    // A pulse due at this very moment (an enable with the first pulse at once) is emitted now.
    catch_up(m.now_ns, m.position, m.interrupts);
    return true;
}

std::unique_ptr<Module> make_pulse_encoder_module() {
    return std::make_unique<PulseEncoderModule>();
}

} // namespace mfb::sim
