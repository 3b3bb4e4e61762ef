#include "sim/ssi_module.h"

#include "sim/modules.h"

#include <algorithm>

namespace mfb::sim {
namespace {

namespace ssi = protocol::ssi;
using protocol::get_le32;
using protocol::put_le32;

constexpr std::uint64_t kNsPerSecond = 1'000'000'000;
// Rates are kept within a billion steps per second, so rate x nanoseconds below a second fits.
constexpr std::int64_t kMaxRate = 1'000'000'000;
constexpr std::uint32_t kDividerRange = 131'072; // the clock divider has 17 bits
constexpr std::uint32_t kMaxClock = 5'000'000;
constexpr std::size_t kAllRawWords = 16;

std::uint64_t mask(unsigned bits) {
    return bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
}

std::uint64_t gray_to_binary(std::uint64_t g) {
    for (unsigned shift = 1; shift < 64; shift <<= 1)
        g ^= g >> shift;
    return g;
}

bool clock_valid(std::uint8_t base_mhz, std::uint32_t hz) {
    if (base_mhz != 30 && base_mhz != 33)
        return false;
    const std::uint32_t slowest = (base_mhz * 1'000'000u + kDividerRange - 1) / kDividerRange;
    return hz >= slowest && hz <= kMaxClock;
}

} // namespace

std::uint64_t SsiModule::Encoder::count_at(std::uint64_t t) const {
    if (t <= since)
        return count;
    const std::uint64_t elapsed = t - since;
    const std::uint64_t seconds = elapsed / kNsPerSecond;
    const auto rest = static_cast<std::int64_t>(elapsed % kNsPerSecond);
    // Whole seconds wrap with the count; the rest of a second stays below 10^18 in 64 bits.
    const std::uint64_t whole = static_cast<std::uint64_t>(rate) * seconds;
    const auto part =
        static_cast<std::uint64_t>(rate * rest / static_cast<std::int64_t>(kNsPerSecond));
    return count + whole + part;
}

SsiModule::SsiModule() {
    const std::uint64_t counts[kChannels] = {0x12345, 0x2468A, 0};
    const std::int64_t rates[kChannels] = {100'000, -20'000, 0};
    for (std::size_t i = 0; i < kChannels; ++i) {
        encoders_[i].count = counts[i];
        encoders_[i].rate = rates[i];
    }
}

void SsiModule::set_rate(std::size_t channel, std::int64_t steps_per_second) {
    Encoder& e = encoders_.at(channel);
    e.count = e.count_at(now_);
    e.since = now_;
    e.rate = std::clamp(steps_per_second, -kMaxRate, kMaxRate);
}

void SsiModule::set_count(std::size_t channel, std::uint64_t count) {
    Encoder& e = encoders_.at(channel);
    e.count = count;
    e.since = now_;
}

std::uint64_t SsiModule::count(std::size_t channel) const {
    return encoders_.at(channel).count_at(now_);
}

void SsiModule::set_gray(std::size_t channel, bool gray) {
    encoders_.at(channel).gray = gray;
}

std::uint32_t SsiModule::clock_hz() const {
    if (mode_ == Mode::None)
        return 0;
    const std::uint32_t base = setup_.base_mhz * 1'000'000u;
    const std::uint32_t divider = (base + setup_.clock - 1) / setup_.clock;
    return base / divider;
}

std::uint64_t SsiModule::frame_ns() const {
    if (mode_ == Mode::None)
        return 0;
    const std::uint64_t base = setup_.base_mhz * std::uint64_t{1'000'000};
    const std::uint64_t divider = (base + setup_.clock - 1) / setup_.clock;
    const std::uint64_t clocks = (setup_.frame + 1u) * divider;
    return (clocks * kNsPerSecond + base - 1) / base;
}

std::uint8_t SsiModule::data_bits() const {
    switch (mode_) {
    case Mode::Values:
        return static_cast<std::uint8_t>(setup_.position + setup_.turns);
    case Mode::Raw:
        return setup_.frame;
    case Mode::None:
        break;
    }
    return 0;
}

std::uint64_t SsiModule::frame_of(std::size_t channel, std::uint64_t t) const {
    const Encoder& e = encoders_[channel];
    const unsigned d = data_bits();
    std::uint64_t data = e.count_at(t) & mask(d);
    if (e.gray)
        data ^= data >> 1;
    return data << (setup_.frame - d);
}

void SsiModule::values(std::uint64_t frame, std::uint32_t& value1, std::uint32_t& value2) const {
    const unsigned d = data_bits();
    std::uint64_t data = (frame >> (setup_.frame - d)) & mask(d);
    if (setup_.option == 1)
        data = gray_to_binary(data);
    value1 = static_cast<std::uint32_t>(data & mask(setup_.position));
    value2 = static_cast<std::uint32_t>((data >> setup_.position) & mask(setup_.turns));
}

std::uint8_t SsiModule::acquisition_status(std::uint64_t t) const {
    if (!acquired_)
        return kIdle;
    return t < acquisition_done_ ? kRunning : kDone;
}

void SsiModule::advance(std::uint64_t now_ns, std::uint8_t, InterruptSink&) {
    now_ = std::max(now_, now_ns);
}

bool SsiModule::set_up(const std::uint8_t* b, Mode mode) {
    Setup s;
    s.frame = b[1];
    if (mode == Mode::Values) {
        s.position = b[2];
        s.turns = b[3];
        s.base_mhz = b[4];
        s.clock = get_le32(b + 8);
        s.option = b[12];
        if (s.frame < 2 || s.frame > 32 || s.position == 0 || s.position > s.frame ||
            s.turns > s.frame - s.position || s.option > 1)
            return false;
    } else {
        s.base_mhz = b[2];
        s.clock = get_le32(b + 4);
        if (s.frame < 2 || s.frame > 48)
            return false;
    }
    if (!clock_valid(s.base_mhz, s.clock))
        return false;
    mode_ = mode;
    setup_ = s;
    acquired_ = false;
    return true;
}

bool SsiModule::answer_values(std::uint8_t* b, const std::array<std::uint64_t, kChannels>& frames,
                              bool all) const {
    if (mode_ != Mode::Values)
        return false;
    std::uint32_t v1 = 0, v2 = 0;
    if (!all) {
        const std::uint8_t channel = b[1];
        if (channel >= kChannels)
            return false;
        values(frames[channel], v1, v2);
        put_le32(b + 4, v1);
        put_le32(b + 8, v2);
        return true;
    }
    for (std::size_t c = 0; c < kChannels; ++c) {
        values(frames[c], v1, v2);
        put_le32(b + 4 + 4 * c, v1);
        put_le32(b + 16 + 4 * c, v2);
    }
    return true;
}

bool SsiModule::answer_raw(std::uint8_t* b, const std::array<std::uint64_t, kChannels>& frames,
                           bool all) const {
    if (mode_ != Mode::Raw)
        return false;
    if (!all) {
        const std::uint8_t channel = b[1];
        if (channel >= kChannels)
            return false;
        put_le32(b + 4, static_cast<std::uint32_t>(frames[channel]));
        put_le32(b + 8, static_cast<std::uint32_t>(frames[channel] >> 32));
        return true;
    }
    std::uint32_t words[kAllRawWords] = {};
    const std::size_t per_channel = setup_.frame > 32 ? 2 : 1;
    for (std::size_t c = 0; c < kChannels; ++c) {
        words[per_channel * c] = static_cast<std::uint32_t>(frames[c]);
        if (per_channel == 2)
            words[2 * c + 1] = static_cast<std::uint32_t>(frames[c] >> 32);
    }
    for (std::size_t i = 0; i < kAllRawWords; ++i)
        put_le32(b + 4 + 4 * i, words[i]);
    return true;
}

std::uint32_t SsiModule::answer(std::uint32_t code, std::uint8_t* b, std::uint64_t t) {
    std::array<std::uint64_t, kChannels> now_frames{};
    if (mode_ != Mode::None)
        for (std::size_t c = 0; c < kChannels; ++c)
            now_frames[c] = frame_of(c, t);
    const bool done = acquisition_status(t) == kDone;

    switch (code) {
    case ssi::kInit.code:
        return accepted_if(set_up(b, Mode::Values));
    case ssi::kInitRawData.code:
        return accepted_if(set_up(b, Mode::Raw));
    case ssi::kRead1Value.code:
    case ssi::kReadAllValues.code:
        return accepted_if(answer_values(b, now_frames, code == ssi::kReadAllValues.code));
    case ssi::kRead1RawData.code:
    case ssi::kReadAllRawData.code:
        return accepted_if(answer_raw(b, now_frames, code == ssi::kReadAllRawData.code));
    case ssi::kGetValue.code:
        return accepted_if(done && answer_values(b, latched_, false));
    case ssi::kGetRawData.code:
        return accepted_if(done && answer_raw(b, latched_, false));
    case ssi::kStartAcquisition.code:
        if (mode_ == Mode::None || acquisition_status(t) == kRunning)
            return kRefused;
        latched_ = now_frames;
        acquired_ = true;
        acquisition_done_ = t + frame_ns();
        return kAccepted;
    case ssi::kAcquisitionStatus.code:
        b[1] = acquisition_status(t);
        return kAccepted;
    case ssi::kReadDigitalInput.code:
        b[1] = inputs_;
        return kAccepted;
    case ssi::kSetDigitalOutput.code:
        if (b[1] > 1)
            return kRefused;
        output_ = b[1] == 1;
        return kAccepted;
    }
    return kRefused;
}

std::unique_ptr<Module> make_ssi_module() {
    return std::make_unique<SsiModule>();
}

} // namespace mfb::sim
