// The PWM exports end to end on a simulated board whose module 0 is a PWM module, with the bus
// clock run virtually.
#include "bus_fixture.h"

#include "sim/pwm_module.h"
#include "sim/sim_board.h"

using namespace mfbtest;
using mfb::sim::PwmModule;

namespace {

class SimPwm : public OpenSimBoard {
  protected:
    SimPwm() : OpenSimBoard(1) {}
    // PWM n set up for 3 us low and 7 us high.
    std::int16_t init(std::uint8_t n) { return i_MFB_InitPWM(h, 0, n, 1, 3, 7, &low, &high); }
    std::uint8_t level(std::uint8_t n) {
        std::uint8_t level = 0xEE, gate = 0xEE;
        EXPECT_EQ(i_MFB_GetPWMStatus(h, 0, n, &level, &gate), 0);
        return level;
    }

    std::uint32_t low = 0xEE, high = 0xEE;
};

TEST_F(SimPwm, SetUpResultsAreTheAchievedDurations) {
    struct Case {
        std::uint8_t unit;
        std::uint32_t low, high, real_low, real_high;
        std::uint64_t low_ns;
    };
    const Case cases[] = {{0, 150, 249, 200, 200, 200},               // 100-ns steps, halves up
                          {1, 3, 429'496'729, 3, 429'496'729, 3'000}, // whole units are exact
                          {4, 7, 1, 7, 1, 420'000'000'000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.unit});
        ASSERT_EQ(i_MFB_InitPWM(h, 0, 1, c.unit, c.low, c.high, &low, &high), 0);
        EXPECT_EQ(low, c.real_low);
        EXPECT_EQ(high, c.real_high);
        bench<PwmModule>(0, [&](PwmModule& m) { EXPECT_EQ(m.low_ns(1), c.low_ns); });
    }
}

TEST_F(SimPwm, RefusalsComeBackAsDriverStatus) {
    EXPECT_EQ(i_MFB_EnablePWM(h, 0, 0, 0, 0, 0, 0, 0), -101) << "not set up";
    ASSERT_EQ(init(0), 0);
    ASSERT_EQ(i_MFB_EnablePWM(h, 0, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(i_MFB_EnablePWM(h, 0, 0, 0, 0, 0, 0, 0), -102) << "running";
    low = 0xEE;
    EXPECT_EQ(init(0), -102);
    EXPECT_EQ(low, 0xEEu) << "written although refused";
    EXPECT_EQ(i_MFB_SetPWMDigitalOutputOn(h, 0), -103) << "output not set by hand";
    EXPECT_EQ(i_MFB_DisablePWM(h, 1, 0), -4) << "module 1 carries another function";
}

TEST_F(SimPwm, WaveformFollowsStartLevelAndDurations) {
    ASSERT_EQ(init(0), 0);
    ASSERT_EQ(init(1), 0);
    ASSERT_EQ(i_MFB_EnablePWM(h, 0, 0, 0, 0, 0, 0, 0), 0);     // starts low: 3 us, then high
    ASSERT_EQ(i_MFB_EnablePWM(h, 0, 1, 1, 0, 0, 0, 0), 0);     // starts high: 7 us, then low
    const std::uint64_t steps[] = {0, 2'999, 1, 4'000, 3'000}; // to 0, 2.999, 3, 7 and 10 us
    const std::uint8_t levels0[] = {0, 0, 1, 1, 0}, levels1[] = {1, 1, 1, 0, 1};
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        mfb::vbus::advance(steps[i]);
        SCOPED_TRACE(i);
        EXPECT_EQ(level(0), levels0[i]);
        EXPECT_EQ(level(1), levels1[i]);
    }
}

} // namespace
