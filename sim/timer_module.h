// The simulated timer module: three 32-bit down-counting timers, 0 to 2, each with a clock, a gate
// input and an output, all run on the bus clock so that a test that advances the clock by a
// whole number of clock periods sees exactly that many counts.
//
// Set-up (0x900020B0; bytes 0 module, 1 timer, 2 mode, 3 clock selector, 4 flag 1, 5 flag 2,
// 6 flag 3, 8-11 value). The set-up stops the timer, loads the value and clears its status.
//   Value: the count to start from; 0 stands for 2^32 counts (and reads back as 0).
//   Mode, what the timer does when its count reaches zero and what its output shows:
//     0  single count: stops at 0. Output low while the count runs, high from zero on.
//     1  gate-triggered single count: as 0, but the count starts when the gate becomes active
//        after the enable, and every later activation starts it again from the value, also
//        during a count (retriggerable one-shot).
//     2  rate generator: counts the value down to 1 and reloads it on the next clock, without
//        end. Output high, low during the last count of each period (count 1).
//     3  square wave: reloads as mode 2. Output high while the count is above half the value,
//        low for the rest of the period.
//     4  single strobe: counts once and stops like mode 0. Output high, low during the last
//        count (count 1).
//     5  gate-triggered strobe: as 4, started and restarted by the gate as in mode 1.
//   Clock selector:
//     0  the module's 1 MHz clock: one count a microsecond.
//     1  the timer below (cascade): one count each time timer n - 1 reaches zero. Timer 0 has
//        no timer below and refuses it.
//     2  the timer's external clock input: a square wave whose period the test bench sets
//        (set_external_clock); nothing is connected at power on, so the timer does not count.
//   Flag 1, clock edge: 0 counts rising edges, 1 falling edges. The clocks are square waves that
//     are high at the enable, fall half a period later and rise at every whole period after the
//     enable; so with flag 1 the first count comes half a period after the enable, not a whole
//     one. A cascade clock has no such edges: the flag does not change it.
//   Flag 2, output level: 1 inverts the output described with the modes.
//   Flag 3, gate level: the active level of the gate input, 0 high, 1 low. The gate input of
//     each timer floats high while the bench drives nothing (an open TTL input), so with flag
//     3 = 0 a timer counts without any gate wiring. In modes 0, 2, 3 and 4 the timer counts only
//     while its gate is active (clock edges while it is not are lost); in modes 1 and 5 the gate
//     only starts the count.
//
// Enable (0x900020B4; byte 2 the enable flag): starts the timer. Enable flag 1: the timer raises
//   an interrupt when its count reaches zero (see below); 0: it does not. The clock phase starts
//   at the enable. Modes 0, 2, 3 and 4 count from the enable on, from the count held (a single
//   count that has ended starts again from the value); modes 1 and 5 wait for the gate. Enabling
//   an enabled timer changes only its enable flag.
// Disable (0x900020B8): stops the timer; count, output and status hold until the next enable.
// Write value (0x900020CC; bytes 4-7): loads a value as the set-up does: the count starts again
//   from it and the periodic modes reload it from then on; a running timer keeps running.
// Read value (0x900020BC): bytes 4-7 the count. Read all (0x900020C0): bytes 4-7, 8-11 and 12-15
//   the counts of timers 0, 1 and 2.
// Output level (0x900020C4): byte 2 the level of the output pin, 1 high, 0 low.
// Progress status (0x900020C8): byte 2, 1 while the timer counts; 0 when it is not enabled, is
//   disabled, waits for its gate, or its single count has ended.
// Progress status Ex (0x90002184): byte 2 a set of bits, the others 0:
//   bit 0  counting (as the progress status);
//   bit 1  enabled but waiting: for an active gate (modes 0, 2, 3, 4) or for a trigger (1, 5);
//   bit 2  the count has reached zero since the previous Ex read; this read clears it.
//
// Interrupts: a timer with enable flag 1 raises one InterruptRecord for each catch-up with the
//   clock in which its count reached zero: record byte the module position, word 1 the timer
//   number, word 2 the number of times it reached zero since the enable (low 32 bits), value 0
//   the number of those that this record covers, value count 1. Zero passages are counted into
//   one record rather than queued one by one, so a fast timer cannot flood the queue.
//
// Requests shorter than their layout, answer buffers smaller than theirs, a timer number above
// 2 and set-up bytes out of their ranges fail the exchange, as the driver refuses them.
#pragma once

#include "sim/sim_board.h"

#include <array>
#include <cstdint>

namespace mfb::sim {

class TimerModule : public Module {
  public:
    static constexpr std::uint64_t kClockPeriodNs = 1000; // the module's 1 MHz clock

    Function function() const override { return Function::Timer; }
    void advance(std::uint64_t now_ns, std::uint8_t position, InterruptSink& interrupts) override;

    // The test bench's side, taking effect at the time of the last catch-up with the clock
    // (with_module catches up first). Timer numbers above 2 are ignored.
    void set_gate(std::uint8_t timer, bool high);
    bool gate(std::uint8_t timer) const;
    // The period of the square wave at a timer's external clock input; 0 disconnects it.
    void set_external_clock(std::uint8_t timer, std::uint64_t period_ns);

  private:
    struct Timer {
        // set-up
        std::uint8_t mode = 0;
        std::uint8_t selector = 0;
        bool falling_edge = false;
        bool inverted = false;
        bool gate_active_low = false;
        std::uint64_t value = std::uint64_t{1} << 32; // 1 to 2^32
        // inputs
        bool gate_high = true;
        std::uint64_t external_period_ns = 0;
        // state
        std::uint64_t count = std::uint64_t{1} << 32;
        bool enabled = false;
        bool triggered = false; // modes 1 and 5: the gate has started the count
        bool started = false;   // counted since the set-up
        bool finished = false;  // a single count reached zero
        bool interrupts = false;
        bool zero_since_read = false;
        std::uint64_t zeros = 0; // zero passages since the enable
        std::uint64_t origin_ns = 0;
        std::uint64_t edges_seen = 0;
    };

    static bool triggered_mode(const Timer& t) { return t.mode == 1 || t.mode == 5; }
    static bool periodic_mode(const Timer& t) { return t.mode == 2 || t.mode == 3; }
    static bool gate_active(const Timer& t) { return t.gate_high != t.gate_active_low; }
    static bool counting(const Timer& t);
    static bool output_high(const Timer& t);
    static std::uint64_t new_edges(Timer& t, std::uint64_t now_ns);
    static std::uint64_t count_down(Timer& t, std::uint64_t edges);
    void start_clock(Timer& t, std::uint64_t now_ns);
    void trigger(Timer& t);
    std::uint32_t answer(std::uint32_t code, std::uint8_t* b, std::uint64_t now_ns) override;

    std::array<Timer, 3> timers_{};
    std::uint64_t now_ns_ = 0;
};

} // namespace mfb::sim
