// The simulated ETM module: two ETMs (0 and 1), each measuring the pulse signal at its input in
// ticks of a time base, on the bus clock.
//
// Every request is one buffer that is both request and answer, of the size of its layout. Unlike
// the other families it starts with the driver status field: bytes 0-1 (a signed 16-bit status,
// 0 on the way in), then byte 2 the module position and byte 3 the ETM number. The status comes
// back in bytes 0-1: 0 when the request was carried out, else one of the refusals below, and then
// nothing changed. A buffer shorter than its layout fails the exchange itself.
//
// Driver statuses (the library returns them unchanged):
//   kNotInitialised (1)  EnableETM before InitETM of that ETM
//   kRunning (2)         InitETM or EnableETM while the ETM is enabled
//   kBadRequest (3)      an ETM number above 1, a time-base unit above 2, a time base out of
//                        range, a setting byte out of range, a read that asks for anything but
//                        the most recent measurement
//
// Signal. The input of each ETM carries a pulse train that the bench sets (set_signal): period P
// and high phase H in nanoseconds, rising edges at t0 + kP (t0 the time it was set) and falling
// edges H later. No signal is connected at power-on, and a period of 0, a high phase of 0 or one
// not shorter than the period is a constant level: it has no edges and nothing is measured.
//
// Time base (InitETM 0x90002140, 16 bytes: 4 unit, 0 ns, 1 us, 2 ms; 8-11 value). The ETM counts
// ticks of its 40 MHz clock (25 ns) divided down: the time base is rounded to whole 25-ns clocks
// (halves up), so units 1 and 2 are kept exactly and nanoseconds go in steps of 25. The answer's
// bytes 12-15 hold the time base achieved, in the unit asked. The divider has 32 bits: a time
// base of less than one clock or more than 2^32 - 1 clocks (107,374,182 us, 107,374 ms) is
// refused, and so is one whose achieved value does not fit 32 bits (above 4,294,967,275 ns). The
// set-up forgets the measurements.
//
// Enable (0x90002144, 10 bytes, setting bytes 1 to 5 at 4 to 8):
//   1 start edge  0: a measurement starts at a rising edge and its value is the high phase;
//                 1: at a falling edge, and the value is the low phase. The total time is the
//                 period from that edge to the next edge of its kind.
//   2 mode        0: single: one measurement, after which the ETM stops (disables itself);
//                 1: continuous: one measurement per period, without end
//   3 to 5        reserved, 0
// The enable starts afresh: no measurement, value and total time 0; the first measurement starts
// at the first start edge at or after the enable. Disable (0x90002148, 4 bytes) stops the ETM; a
// measurement under way is dropped, finished ones and their values hold. A new signal while the
// ETM is enabled drops the measurement under way, and the next one starts at the first start edge
// of the new signal.
// Values: whole ticks of the time base in the interval (rounded down), at most 0xFFFFFFFF.
//
// Read set-up (0x9000214C, 20 bytes): 4 unit, 8-11 the achieved time base (both 0 before InitETM),
// 12-16 setting bytes 1 to 5 of the last enable (0 before any), 17 setting byte 6: 1 while the
// ETM is enabled, 0 otherwise.
// Progress status (0x90002150, 6 bytes, answer byte 4): 0 not enabled, 1 enabled and waiting for
// the start edge, 2 enabled and measuring (a start edge has come).
// Read (0x90002154, 20 bytes; 4-7 must be 0xFFFFFFFF: the most recent measurement): 8 measurement
// state, 12-15 the ETM value and 16-19 the total time of the most recent finished measurement
// (0 before any). Measurement states:
//   0  not enabled, and no finished measurement not yet read
//   1  enabled, no finished measurement not yet read: under way or waiting for its start edge
//   2  a finished measurement that has not been read yet
//   3  continuous mode: more than one finished since the previous read (the values are the last)
// In continuous mode a read takes the finished measurements: the next read shows 1 until the next
// one finishes. In single mode the finished measurement stays at 2 until the next enable or
// set-up.
// The module raises no interrupts.
#pragma once

#include "sim/sim_board.h"

#include <array>
#include <cstdint>

namespace mfb::sim {

class EtmModule : public Module {
  public:
    static constexpr std::uint16_t kNotInitialised = 1;
    static constexpr std::uint16_t kRunning = 2;
    static constexpr std::uint16_t kBadRequest = 3;
    static constexpr std::uint64_t kClockNs = 25; // the 40 MHz clock

    // ---- bench (through SimBoard::with_module, which catches up with the bus clock first) ----
    // The pulse train at an ETM's input, from now on; a period of 0 disconnects it. ETM numbers
    // above 1 are ignored.
    void set_signal(std::uint8_t etm, std::uint64_t period_ns, std::uint64_t high_ns);
    // One tick of the ETM's time base in nanoseconds (0 before InitETM and for numbers above 1).
    std::uint64_t tick_ns(std::uint8_t etm) const {
        return etm < etms_.size() ? etms_[etm].tick_ns : 0;
    }

    Function function() const override { return Function::Etm; }
    void advance(std::uint64_t now_ns, std::uint8_t position, InterruptSink& interrupts) override;

  private:
    static constexpr std::uint64_t kNever = ~std::uint64_t{0};

    struct Etm {
        // set-up
        std::uint8_t unit = 0;
        std::uint32_t base = 0; // achieved, in the unit
        std::uint64_t tick_ns = 0;
        std::array<std::uint8_t, 5> settings{};
        // input
        std::uint64_t period_ns = 0, high_ns = 0, origin_ns = 0;
        // state
        bool enabled = false;
        std::uint64_t end_ns = kNever; // when the measurement under way finishes
        std::uint32_t fresh = 0;       // finished measurements not yet read (1, or 2 for more)
        std::uint32_t value = 0, total = 0;
    };

    bool has_edges(const Etm& e) const;
    void start(Etm& e);
    void catch_up(std::uint64_t now);
    std::uint32_t answer(std::uint32_t code, std::uint8_t* b, std::uint64_t now_ns) override;
    std::uint16_t set_up(Etm& e, std::uint8_t* b);
    std::uint16_t enable(Etm& e, const std::uint8_t* b);
    std::uint8_t state(const Etm& e) const;

    std::array<Etm, 2> etms_{};
    std::uint64_t now_ = 0;
};

} // namespace mfb::sim
