// The frequency measurement family end to end on the simulated board (fitted at position 3 of
// board 0), on the virtual bus clock: the module counts its input over the gate the library set.
#include "bus_fixture.h"

#include "sim/frequency_module.h"
#include "sim/sim_board.h"

#include <tuple>

using namespace mfbtest;
using mfb::sim::FrequencyModule;

namespace {

constexpr std::uint8_t kModule = 3;
constexpr std::uint64_t kNs = 1;
constexpr std::uint64_t kMs = 1'000'000;

class SimFrequency : public OpenSimBoard {
  protected:
    SimFrequency() : OpenSimBoard(0, mfb::sim::Function::Frequency, kModule) {}
    void input(std::uint32_t hz) {
        bench<FrequencyModule>(kModule, [&](FrequencyModule& f) { f.set_input_frequency(hz); });
    }
    std::tuple<std::int16_t, std::uint8_t, std::uint8_t, std::uint32_t> read() {
        std::uint8_t enabled = 0xA5, closed = 0xA5;
        std::uint32_t value = 0xA5A5A5A5;
        const std::int16_t s =
            i_MFB_ReadFrequencyMeasurement(h, kModule, &enabled, &closed, &value);
        return {s, enabled, closed, value};
    }
};

// 1 ms at 40 MHz is exactly 10,000 ticks; a 1.234567 MHz input gives 1,234 whole periods in it.
TEST_F(SimFrequency, SingleGateCountsTheInput) {
    input(1'234'567);
    std::uint32_t achieved = 0;
    ASSERT_EQ(i_MFB_InitFrequencyMeasurement(h, kModule, 40, 2, 1, &achieved), 0);
    ASSERT_EQ(achieved, 1u);
    ASSERT_EQ(i_MFB_EnableFrequencyMeasurement(h, kModule, 0), 0);
    mfb::vbus::advance(kMs - kNs);
    EXPECT_EQ(read(), std::tuple(0, 1, 0, 0u)) << "the gate is still open";
    mfb::vbus::advance(kNs);
    EXPECT_EQ(read(), std::tuple(0, 0, 1, 1'234u)) << "closed; one gate, then the module stops";
    EXPECT_EQ(read(), std::tuple(0, 0, 0, 1'234u)) << "read before";
}

// 1,000 ns at 30 MHz rounds to 8 ticks, 1,066.67 ns: a 30 MHz input fits 32 periods in it. Gates
// follow each other; results not read are counted in byte 2, and a new frequency counts from the
// next gate that closes.
TEST_F(SimFrequency, ContinuousGates) {
    input(30'000'000);
    std::uint32_t achieved = 0;
    ASSERT_EQ(i_MFB_InitFrequencyMeasurement(h, kModule, 30, 0, 1'000, &achieved), 0);
    ASSERT_EQ(achieved, 1'067u);
    std::uint64_t gate = 0;
    bench<FrequencyModule>(kModule, [&](FrequencyModule& f) { gate = f.gate_ns(); });
    EXPECT_EQ(gate, 1'066u);
    ASSERT_EQ(i_MFB_EnableFrequencyMeasurement(h, kModule, 1), 0);
    mfb::vbus::advance(3'200 * kNs); // three gates of 3,200 / 3 ns
    EXPECT_EQ(read(), std::tuple(0, 1, 3, 32u));
    input(15'000'000);
    mfb::vbus::advance(1'067 * kNs);
    EXPECT_EQ(read(), std::tuple(0, 1, 1, 16u));
    ASSERT_EQ(i_MFB_DisableFrequencyMeasurement(h, kModule), 0);
    mfb::vbus::advance(10 * kMs);
    EXPECT_EQ(read(), std::tuple(0, 0, 0, 16u));
}

// The module's refusals, as the library maps them (status word s gives s - 1).
TEST_F(SimFrequency, Refusals) {
    EXPECT_EQ(i_MFB_EnableFrequencyMeasurement(h, kModule, 0), -3) << "before the set-up";
    std::uint32_t achieved = 0;
    ASSERT_EQ(i_MFB_InitFrequencyMeasurement(h, kModule, 33, 1, 7'943, &achieved), 0);
    EXPECT_EQ(i_MFB_EnableFrequencyMeasurement(h, kModule, 2), -2) << "enable setting 2";
    ASSERT_EQ(i_MFB_EnableFrequencyMeasurement(h, kModule, 1), 0);
    EXPECT_EQ(i_MFB_EnableFrequencyMeasurement(h, kModule, 1), -3) << "already enabled";
    EXPECT_EQ(i_MFB_InitFrequencyMeasurement(h, kModule, 33, 1, 1, &achieved), -3);
    EXPECT_EQ(i_MFB_DisableFrequencyMeasurement(h, 0), -1) << "position 0 is a counter";
}

} // namespace
