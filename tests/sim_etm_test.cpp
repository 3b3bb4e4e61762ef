// The ETM family end to end on the simulated board (an ETM fitted at position 2 of board 0), with
// the bus clock virtual: the read with wait really waits for the measurement to finish.
#include "bus_fixture.h"

#include "sim/etm_module.h"
#include "sim/sim_board.h"

#include <tuple>

using namespace mfbtest;
using mfb::sim::EtmModule;

namespace {

constexpr std::uint8_t kModule = 2;
constexpr std::uint64_t kUs = 1'000;
constexpr std::uint64_t kMs = 1'000'000;

class SimEtm : public OpenSimBoard {
  protected:
    SimEtm() : OpenSimBoard(0, mfb::sim::Function::Etm, kModule) {}
    void signal(std::uint8_t etm, std::uint64_t period_ns, std::uint64_t high_ns) {
        bench<EtmModule>(kModule, [&](EtmModule& e) { e.set_signal(etm, period_ns, high_ns); });
    }
    // Time base 10 us, then enabled with a start edge and a mode.
    void start(std::uint8_t etm, std::uint8_t edge, std::uint8_t mode) {
        std::uint32_t achieved = 0;
        ASSERT_EQ(i_MFB_InitETM(h, kModule, etm, 1, 10, &achieved), 0);
        ASSERT_EQ(achieved, 10u);
        ASSERT_EQ(i_MFB_EnableETM(h, kModule, etm, edge, mode, 0, 0, 0), 0);
    }
    std::tuple<std::int16_t, std::uint8_t, std::uint32_t> read_value(std::uint8_t etm,
                                                                     std::uint32_t wait) {
        std::uint8_t state = 0xA5;
        std::uint32_t value = 0xA5A5A5A5;
        const std::int16_t s = i_MFB_ReadETMValue(h, kModule, etm, wait, &state, &value);
        return {s, state, value};
    }
};

// A 4-ms period with a 1-ms high phase, measured in 10-us ticks. The wait polls once a
// millisecond until the period, which begins at the next rising edge, has ended.
TEST_F(SimEtm, ReadWaitsForTheMeasurement) {
    signal(0, 4 * kMs, 1 * kMs);
    mfb::vbus::advance(500 * kUs); // the enable falls half a millisecond into a period
    start(0, 0, 0);
    std::uint8_t progress = 0;
    ASSERT_EQ(i_MFB_GetETMProgressStatus(h, kModule, 0, &progress), 0);
    EXPECT_EQ(progress, 1) << "waiting for the rising edge at 4 ms";
    const std::uint64_t slept = mfb::vbus::slept_ms();
    EXPECT_EQ(read_value(0, 100), std::tuple(0, 2, 100u));
    // Polled at 0.5, 1.5, ... 7.5 ms: the period from 4 to 8 ms has ended at the ninth request.
    EXPECT_EQ(mfb::vbus::slept_ms() - slept, 8u);
    std::uint8_t state = 0;
    std::uint32_t total = 0;
    EXPECT_EQ(i_MFB_ReadETMTotalTime(h, kModule, 0, 0xFFFFFFFF, &state, &total), 0);
    EXPECT_EQ(std::tuple(state, total), std::tuple(2, 400u)) << "single: the result stays";
    double duty = 0;
    EXPECT_EQ(i_MFB_ReadETMDutyCycleValue(h, kModule, 0, 0xFFFFFFFF, nullptr, &duty), 0);
    EXPECT_EQ(duty, 25.0);
    ASSERT_EQ(i_MFB_GetETMProgressStatus(h, kModule, 0, &progress), 0);
    EXPECT_EQ(progress, 0) << "a single measurement stops the ETM";

    std::uint32_t hours = 9, ms = 9, us = 9, ns = 9;
    std::uint8_t minutes = 9, seconds = 9;
    EXPECT_EQ(i_MFB_ConvertETMValue(h, kModule, 100, &hours, &minutes, &seconds, &ms, &us, &ns), 0);
    EXPECT_EQ(std::tuple(hours, minutes, seconds, ms, us, ns), std::tuple(0u, 0, 0, 1u, 0u, 0u));
}

// A wait that runs out hands over the unfinished state; the falling edge measures the low phase.
TEST_F(SimEtm, WaitRunsOutThenFallingEdgeMeasuresTheLowPhase) {
    signal(1, 4 * kMs, 1 * kMs);
    start(1, 1, 0);
    EXPECT_EQ(read_value(1, 3), std::tuple(0, 1, 0u)) << "the first falling edge comes at 1 ms";
    EXPECT_EQ(read_value(1, 10), std::tuple(0, 2, 300u));
}

// Continuous: one measurement per period; more than one unread gives state 3, and a read takes
// them, so the next read waits for a fresh one.
TEST_F(SimEtm, ContinuousMeasurementsAndOverrun) {
    signal(0, 2 * kMs, 500 * kUs);
    start(0, 0, 1);
    mfb::vbus::advance(6 * kMs);
    EXPECT_EQ(read_value(0, 0xFFFFFFFF), std::tuple(0, 3, 50u));
    EXPECT_EQ(read_value(0, 0xFFFFFFFF), std::tuple(0, 1, 50u)) << "read; the values hold";
    EXPECT_EQ(read_value(0, 5), std::tuple(0, 2, 50u));
    ASSERT_EQ(i_MFB_DisableETM(h, kModule, 0), 0);
    EXPECT_EQ(read_value(0, 0xFFFFFFFF), std::tuple(0, 0, 50u));
}

// The driver's refusals come back unchanged; a request goes to the position in its byte 2.
TEST_F(SimEtm, RefusalsAndPositions) {
    std::uint32_t achieved = 0;
    EXPECT_EQ(i_MFB_EnableETM(h, kModule, 0, 0, 0, 0, 0, 0), EtmModule::kNotInitialised);
    EXPECT_EQ(i_MFB_InitETM(h, kModule, 2, 1, 10, &achieved), EtmModule::kBadRequest);
    EXPECT_EQ(i_MFB_InitETM(h, kModule, 0, 0, 12, &achieved), EtmModule::kBadRequest)
        << "less than one 25-ns clock";
    EXPECT_EQ(i_MFB_InitETM(h, kModule, 0, 2, 107'375, &achieved), EtmModule::kBadRequest);
    EXPECT_EQ(i_MFB_InitETM(h, kModule, 0, 0, 40, &achieved), 0);
    EXPECT_EQ(achieved, 50u) << "40 ns is 1.6 clocks, rounded to 2";
    std::uint64_t tick = 0;
    bench<EtmModule>(kModule, [&](EtmModule& e) { tick = e.tick_ns(0); });
    EXPECT_EQ(tick, 50u);
    ASSERT_EQ(i_MFB_EnableETM(h, kModule, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(i_MFB_InitETM(h, kModule, 0, 0, 40, &achieved), EtmModule::kRunning);
    EXPECT_EQ(i_MFB_EnableETM(h, kModule, 1, 2, 0, 0, 0, 0), EtmModule::kBadRequest);

    std::uint8_t unit = 9, s[6] = {9, 9, 9, 9, 9, 9};
    std::uint32_t base = 0;
    ASSERT_EQ(i_MFB_GetETMInitialisation(h, kModule, 0, &unit, &base, &s[0], &s[1], &s[2], &s[3],
                                         &s[4], &s[5]),
              0);
    EXPECT_EQ(std::tuple(unit, base, s[5]), std::tuple(0, 50u, 1)) << "byte 6: enabled";

    EXPECT_EQ(i_MFB_DisableETM(h, 0, 0), -100) << "position 0 is a counter";
    EXPECT_EQ(i_MFB_DisableETM(h + 1, kModule, 0), -100) << "an unknown handle";
}

} // namespace
