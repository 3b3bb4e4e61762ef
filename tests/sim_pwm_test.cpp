// The PWM exports end to end on the simulated board 1, whose module 0 is a PWM module, with the
// bus clock run virtually.
#include "bus_fixture.h"

#include "sim/pwm_module.h"
#include "sim/sim_board.h"

using namespace mfbtest;
using mfb::sim::PwmModule;

namespace {

constexpr std::uint8_t kModule = 0;
constexpr std::uint8_t kUs = 1;

// The driver's refusals as the library reports them.
constexpr std::int16_t kNotInitialised = -101;
constexpr std::int16_t kRunning = -102;
constexpr std::int16_t kNotManual = -103;

class SimPwm : public BusTest {
  protected:
    void SetUp() override {
        BusTest::SetUp();
        mfb::vbus::set_virtual_clock(true);
        mfb::sim::attach_boards(2);
        board = std::dynamic_pointer_cast<mfb::sim::SimBoard>(mfb::vbus::board(1));
        ASSERT_TRUE(board);
        ASSERT_EQ(i_MFB_OpenBoardViaIndex(1, &h), 0);
    }
    template <class Fn> void pwm(Fn&& fn) {
        ASSERT_TRUE(board->with_module<PwmModule>(kModule, fn));
    }
    // PWM n set up for 3 us low and 7 us high.
    void init(std::uint8_t n) {
        std::uint32_t low = 0, high = 0;
        ASSERT_EQ(i_MFB_InitPWM(h, kModule, n, kUs, 3, 7, &low, &high), 0);
    }
    std::uint8_t level(std::uint8_t n) {
        std::uint8_t level = 0xEE, gate = 0xEE;
        EXPECT_EQ(i_MFB_GetPWMStatus(h, kModule, n, &level, &gate), 0);
        return level;
    }
    std::uint8_t enabled(std::uint8_t n) {
        std::uint8_t unit, s[6] = {};
        std::uint32_t low, high;
        EXPECT_EQ(i_MFB_GetPWMInitialisation(h, kModule, n, &unit, &low, &high, &s[0], &s[1], &s[2],
                                             &s[3], &s[4], &s[5]),
                  0);
        return s[5];
    }
    bool output() {
        bool on = false;
        pwm([&](PwmModule& m) { on = m.output(); });
        return on;
    }

    std::shared_ptr<mfb::sim::SimBoard> board;
    MFB_BoardHandle h = 0;
};

TEST_F(SimPwm, SetUpResultsAreTheAchievedDurations) {
    struct Case {
        std::uint8_t unit;
        std::uint32_t low, high, real_low, real_high;
        std::uint64_t low_ns;
    };
    const Case cases[] = {
        {0, 150, 249, 200, 200, 200}, // 100-ns steps, halves up
        {0, 0xFFFFFFFF, 250, 4'294'967'200, 300, 4'294'967'200},
        {1, 3, 429'496'729, 3, 429'496'729, 3'000}, // whole units are exact
        {2, 429'496, 1, 429'496, 1, 429'496'000'000},
        {4, 7, 1, 7, 1, 420'000'000'000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "unit " << int{c.unit} << " low " << c.low);
        std::uint32_t low = 0, high = 0;
        ASSERT_EQ(i_MFB_InitPWM(h, kModule, 1, c.unit, c.low, c.high, &low, &high), 0);
        EXPECT_EQ(low, c.real_low);
        EXPECT_EQ(high, c.real_high);
        pwm([&](PwmModule& m) { EXPECT_EQ(m.low_ns(1), c.low_ns); });
    }
}

TEST_F(SimPwm, RefusalsComeBackAsDriverStatus) {
    std::uint32_t low = 0xEE, high = 0xEE;
    EXPECT_EQ(i_MFB_EnablePWM(h, kModule, 0, 0, 0, 0, 0, 0), kNotInitialised);
    EXPECT_EQ(i_MFB_SetNewPWMTiming(h, kModule, 0, kUs, 1, 1), kNotInitialised);
    init(0);
    ASSERT_EQ(i_MFB_EnablePWM(h, kModule, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(i_MFB_EnablePWM(h, kModule, 0, 0, 0, 0, 0, 0), kRunning);
    EXPECT_EQ(i_MFB_InitPWM(h, kModule, 0, kUs, 5, 5, &low, &high), kRunning);
    EXPECT_EQ(low, 0xEEu) << "written although refused";
    EXPECT_EQ(i_MFB_SetPWMDigitalOutputOn(h, kModule), kNotManual);
    // PWM requests to a module position that carries another function fail the exchange.
    EXPECT_EQ(i_MFB_DisablePWM(h, 1, 0), -4);
}

TEST_F(SimPwm, WaveformFollowsStartLevelAndDurations) {
    init(0);
    init(1);
    ASSERT_EQ(i_MFB_EnablePWM(h, kModule, 0, 0, 0, 0, 0, 0), 0); // starts low: 3 us, then high
    ASSERT_EQ(i_MFB_EnablePWM(h, kModule, 1, 1, 0, 0, 0, 0), 0); // starts high: 7 us, then low
    EXPECT_EQ(level(0), 0);
    EXPECT_EQ(level(1), 1);
    mfb::vbus::advance(2'999);
    EXPECT_EQ(level(0), 0);
    mfb::vbus::advance(1);
    EXPECT_EQ(level(0), 1);
    mfb::vbus::advance(4'000); // 7 us
    EXPECT_EQ(level(0), 1);
    EXPECT_EQ(level(1), 0);
    mfb::vbus::advance(3'000); // 10 us: a new period
    EXPECT_EQ(level(0), 0);
    EXPECT_EQ(level(1), 1);
}

TEST_F(SimPwm, StopModesAndStopLevels) {
    init(0);
    init(1);
    // PWM 0 stops at the end of its period and holds its level; PWM 1 stops at once, high.
    ASSERT_EQ(i_MFB_EnablePWM(h, kModule, 0, 0, 1, 2, 0, 0), 0);
    ASSERT_EQ(i_MFB_EnablePWM(h, kModule, 1, 0, 0, 1, 0, 0), 0);
    mfb::vbus::advance(1'000); // both in their low phase
    ASSERT_EQ(i_MFB_DisablePWM(h, kModule, 0), 0);
    ASSERT_EQ(i_MFB_DisablePWM(h, kModule, 1), 0);
    EXPECT_EQ(level(1), 1);
    EXPECT_EQ(enabled(1), 0);
    EXPECT_EQ(enabled(0), 1) << "runs to the end of its period";
    mfb::vbus::advance(8'999);
    EXPECT_EQ(level(0), 1);
    EXPECT_EQ(enabled(0), 1);
    mfb::vbus::advance(1);
    EXPECT_EQ(enabled(0), 0);
    mfb::vbus::advance(2'000); // stopped: holds the high level of the period's end
    EXPECT_EQ(level(0), 1);
    EXPECT_EQ(i_MFB_DisablePWM(h, kModule, 0), 0) << "disabling a stopped PWM does nothing";
}

TEST_F(SimPwm, ExternGateHoldsThePwm) {
    init(0);
    ASSERT_EQ(i_MFB_EnablePWM(h, kModule, 0, 0, 0, 0, 1, 0), 0); // gate: digital input 0
    mfb::vbus::advance(5'000);
    EXPECT_EQ(level(0), 0) << "gate low: the PWM has not run";
    pwm([](PwmModule& m) { m.set_inputs(0x01); });
    std::uint8_t level_now = 0, gate = 0;
    ASSERT_EQ(i_MFB_GetPWMStatus(h, kModule, 0, &level_now, &gate), 0);
    EXPECT_EQ(gate, 1);
    mfb::vbus::advance(3'000);
    EXPECT_EQ(level(0), 1);
    pwm([](PwmModule& m) { m.set_inputs(0x00); });
    mfb::vbus::advance(50'000);
    EXPECT_EQ(level(0), 1) << "gate low again: holds its level";
    pwm([](PwmModule& m) { m.set_inputs(0x01); });
    mfb::vbus::advance(7'000); // 3 + 7 us of running time: a new period
    EXPECT_EQ(level(0), 0);
}

TEST_F(SimPwm, SetUpIsReadBackAsGiven) {
    std::uint32_t low = 0, high = 0;
    ASSERT_EQ(i_MFB_InitPWM(h, kModule, 1, 0, 175, 1'000, &low, &high), 0);
    ASSERT_EQ(i_MFB_SetNewPWMTiming(h, kModule, 1, 0, 333, 444), 0);
    ASSERT_EQ(i_MFB_EnablePWM(h, kModule, 1, 1, 1, 2, 0, 1), 0);
    std::uint8_t unit = 0xEE, s[6] = {};
    ASSERT_EQ(i_MFB_GetPWMInitialisation(h, kModule, 1, &unit, &low, &high, &s[0], &s[1], &s[2],
                                         &s[3], &s[4], &s[5]),
              0);
    EXPECT_EQ(unit, 0);
    EXPECT_EQ(low, 333u);
    EXPECT_EQ(high, 444u);
    const std::uint8_t expected[6] = {1, 1, 2, 0, 1, 1};
    EXPECT_TRUE(std::equal(std::begin(s), std::end(s), std::begin(expected)));
    pwm([](PwmModule& m) { EXPECT_EQ(m.high_ns(1), 400u); });
}

TEST_F(SimPwm, DigitalInputs) {
    pwm([](PwmModule& m) { m.set_inputs(0xFD); }); // three inputs: 0b101
    std::uint8_t byte = 0;
    ASSERT_EQ(i_MFB_ReadPWMAllDigitalInputs(h, kModule, &byte), 0);
    EXPECT_EQ(byte, 0x05);
    const std::uint8_t expected[] = {1, 0, 1};
    for (std::uint8_t n = 0; n < 3; ++n) {
        ASSERT_EQ(i_MFB_ReadPWM1DigitalInput(h, kModule, n, &byte), 0);
        EXPECT_EQ(byte, expected[n]) << "input " << int{n};
    }
}

TEST_F(SimPwm, DigitalOutputAutomaticOrByHand) {
    init(0);
    EXPECT_FALSE(output());
    ASSERT_EQ(i_MFB_EnablePWM(h, kModule, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_TRUE(output()) << "without manual setting it shows a PWM is enabled";
    ASSERT_EQ(i_MFB_EnableDisablePWMDigitalOutputManualSetting(h, kModule, 1), 0);
    EXPECT_TRUE(output()) << "keeps its level until switched";
    ASSERT_EQ(i_MFB_SetPWMDigitalOutputOff(h, kModule), 0);
    EXPECT_FALSE(output());
    ASSERT_EQ(i_MFB_SetPWMDigitalOutputOn(h, kModule), 0);
    ASSERT_EQ(i_MFB_DisablePWM(h, kModule, 0), 0);
    EXPECT_TRUE(output());
    ASSERT_EQ(i_MFB_EnableDisablePWMDigitalOutputManualSetting(h, kModule, 0), 0);
    EXPECT_FALSE(output());
}

// A request shorter than its layout fails in the SSI and the PWM module alike; neither reads
// past it (the sanitizers watch the one-byte buffer).
class SimModules : public BusTest {};
TEST_F(SimModules, ShortRequestsFailTheExchange) {
    struct Family {
        std::size_t board;
        std::uint8_t module;
        std::uint32_t first, last;
    };
    const Family families[] = {{0, 3, 0x900020EC, 0x90002118}, {1, 0, 0x90002158, 0x90002180}};
    for (const Family& f : families) {
        auto board = mfb::sim::make_board(f.board);
        for (std::uint32_t code = f.first; code <= f.last; code += 4) {
            SCOPED_TRACE(code);
            std::uint8_t byte = f.module;
            mfb::vbus::Exchange x;
            x.code = code;
            x.buffer = &byte;
            x.in_size = x.out_size = 1;
            x.in_null = x.out_null = false;
            EXPECT_EQ(board->exchange(x), 0);
        }
    }
}

} // namespace
