// The pulse encoder family end to end on the simulated board (fitted at position 1 of board 0),
// on the virtual bus clock, with its interrupts delivered to the board's interrupt routine.
#include "bus_fixture.h"

#include "sim/pulse_encoder_module.h"
#include "sim/sim_board.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <tuple>
#include <vector>

using namespace mfbtest;
using mfb::sim::PulseEncoderModule;

namespace {

constexpr std::uint8_t kModule = 1;
constexpr std::uint64_t kUs = 1'000;

struct Record {
    std::uint32_t byte = 0, word1 = 0, word2 = 0;
    std::vector<std::uint32_t> values;
};
std::mutex g_mutex;
std::condition_variable g_arrived;
std::vector<Record> g_records;

void MFB_CALL deliver(std::uint32_t, std::uint32_t byte, std::uint32_t word1, std::uint32_t word2,
                      std::uint32_t count, std::uint32_t* values) {
    std::lock_guard lock(g_mutex);
    g_records.push_back({byte, word1, word2, {values, values + count}});
    g_arrived.notify_all();
}

class SimPulseEncoder : public OpenSimBoard {
  protected:
    SimPulseEncoder() : OpenSimBoard(0, mfb::sim::Function::PulseEncoder, kModule) {}
    void SetUp() override {
        OpenSimBoard::SetUp();
        std::lock_guard lock(g_mutex);
        g_records.clear();
    }
    std::uint32_t value(std::uint8_t encoder) {
        std::uint32_t v = 0xA5A5A5A5;
        EXPECT_EQ(i_MFB_ReadPulseEncoderValue(h, kModule, encoder, &v), 0);
        return v;
    }
    std::uint8_t status(std::uint8_t encoder) {
        std::uint8_t s = 0xA5;
        EXPECT_EQ(i_MFB_ReadPulseEncoderStatus(h, kModule, encoder, &s), 0);
        return s;
    }
    std::uint64_t pulses(std::uint8_t encoder) {
        std::uint64_t n = 0;
        bench<PulseEncoderModule>(kModule, [&](PulseEncoderModule& p) { n = p.pulses(encoder); });
        return n;
    }
};

// A single run of 100 pulses, 10 us apart: the count goes down with the clock and stops at 0.
TEST_F(SimPulseEncoder, SingleRunEmitsTheCount) {
    ASSERT_EQ(i_MFB_InitPulseEncoder(h, kModule, 2, 0, 0, 10), 0);
    ASSERT_EQ(i_MFB_WritePulseEncoderValue(h, kModule, 2, 100), 0);
    ASSERT_EQ(i_MFB_EnablePulseEncoder(h, kModule, 2, 0, 0), 0);
    mfb::vbus::advance(505 * kUs);
    EXPECT_EQ(value(2), 50u);
    EXPECT_EQ(status(2), 0x01) << "running";
    mfb::vbus::advance(2'000 * kUs);
    EXPECT_EQ(value(2), 0u);
    EXPECT_EQ(status(2), 0x02) << "stopped, reached 0";
    bool running = true;
    bench<PulseEncoderModule>(kModule, [&](PulseEncoderModule& p) { running = p.running(2); });
    EXPECT_FALSE(running);
    EXPECT_EQ(status(2), 0x00) << "the read cleared it";
    EXPECT_EQ(pulses(2), 100u);
    // Enabled again it reloads the value written, and the first pulse may come at once.
    ASSERT_EQ(i_MFB_EnablePulseEncoder(h, kModule, 2, 1, 0), 0);
    EXPECT_EQ(value(2), 99u);
}

// Continuous, with interrupts: each catch-up in which the count reached 0 raises one record,
// which the library's interrupt thread hands to the routine.
TEST_F(SimPulseEncoder, ContinuousRunRaisesInterrupts) {
    ASSERT_EQ(i_MFB_InitPulseEncoder(h, kModule, 3, 1, 1, 2), 0); // 2 ms, continuous
    ASSERT_EQ(i_MFB_WritePulseEncoderValue(h, kModule, 3, 5), 0);
    EXPECT_EQ(i_MFB_EnablePulseEncoder(h, kModule, 3, 0, 1), -7) << "no routine yet";
    ASSERT_EQ(i_MFB_SetBoardIntRoutine(h, deliver), 0);
    ASSERT_EQ(i_MFB_EnablePulseEncoder(h, kModule, 3, 0, 1), 0);
    mfb::vbus::advance(22'000 * kUs); // 11 pulses: 0 reached twice, 4 to go
    board->tick();
    EXPECT_EQ(value(3), 4u);
    EXPECT_EQ(pulses(3), 11u);
    std::unique_lock lock(g_mutex);
    ASSERT_TRUE(
        g_arrived.wait_for(lock, std::chrono::seconds(10), [] { return !g_records.empty(); }));
    ASSERT_EQ(g_records.size(), 1u);
    const Record& r = g_records[0];
    EXPECT_EQ(std::tuple(r.byte, r.word1, r.word2), std::tuple(kModule, 3u, 2u));
    EXPECT_EQ(r.values, (std::vector<std::uint32_t>{2, 11}));
}

// The module's refusals come back negated.
TEST_F(SimPulseEncoder, Refusals) {
    EXPECT_EQ(i_MFB_EnablePulseEncoder(h, kModule, 0, 0, 0), -3) << "not set up";
    EXPECT_EQ(i_MFB_InitPulseEncoder(h, kModule, 4, 0, 0, 10), -2) << "encoder 4";
    EXPECT_EQ(i_MFB_InitPulseEncoder(h, kModule, 0, 0, 0, 0), -2) << "period 0";
    ASSERT_EQ(i_MFB_InitPulseEncoder(h, kModule, 0, 0, 0, 10), 0);
    ASSERT_EQ(i_MFB_WritePulseEncoderValue(h, kModule, 0, 3), 0);
    ASSERT_EQ(i_MFB_EnablePulseEncoder(h, kModule, 0, 0, 0), 0);
    EXPECT_EQ(i_MFB_InitPulseEncoder(h, kModule, 0, 0, 0, 10), -4) << "running";
    EXPECT_EQ(i_MFB_DisablePulseEncoder(h, 0, 0), -100) << "position 0 is a counter";
}

} // namespace
