// The simulated frequency measurement module: counts the periods of the signal at its input over
// a gate time that it counts in ticks of its clock, on the bus clock.
//
// Every request is one buffer that is both request and answer, of the size of its layout, with
// the module position in byte 0; its last four bytes carry the driver status word back: 0 when
// the request was carried out, else one of the refusals below, and then nothing changed. A buffer
// shorter than its layout fails the exchange itself. (The library turns a status word s into
// s - 1, so these read there as -2 and -3.)
//   kBadRequest (-1)   a clock other than 30, 33 or 40 MHz, a gate count above 65,534, an enable
//                      setting above 1
//   kWrongState (-2)   EnableFrequencyMeasurement before the set-up or while enabled; the set-up
//                      while enabled
//
// Input. The bench sets the frequency of the signal at the input in hertz (set_input_frequency;
// nothing connected, 0 Hz, at power-on).
//
// Set-up (0x9000608C, 16 bytes: 4-7 the gate count, 8 the clock in MHz). The gate lasts gate
// count + 2 ticks of the clock, each 4 / clock microseconds long (the clock is divided by 4).
// Enable (0x90006090, 8 bytes, byte 1 the enable setting): 0 one gate, after which the module
// stops; 1 gates back to back without end. The first gate opens at the enable.
// Disable (0x90006098, 8 bytes): stops the module; a gate that is open is dropped; the result of
// the last closed gate holds.
// Read (0x90006094, 12 bytes), the result of the last gate that closed:
//   byte 1     1 while the module is enabled (a gate is open), 0 otherwise
//   byte 2     gates closed since the previous read, at most 255: 0 means the value was read
//              before, 1 it is new, more than 1 that results were overwritten unread
//   bytes 4-7  the whole input periods that fit the gate: floor(frequency x gate time), with the
//              input frequency as it stands when the gate closes; 0 before any gate closed
// So the input frequency is the value divided by the achieved gate time that the library's set-up
// reports. The read sets the count of byte 2 to 0. The module raises no interrupts.
#pragma once

#include "sim/sim_board.h"

#include <cstdint>

namespace mfb::sim {

class FrequencyModule : public Module {
  public:
    static constexpr std::uint32_t kBadRequest = 0xFFFFFFFF; // -1
    static constexpr std::uint32_t kWrongState = 0xFFFFFFFE; // -2

    // ---- bench (through SimBoard::with_module, which catches up with the bus clock first) ----
    void set_input_frequency(std::uint32_t hz) { input_hz_ = hz; }
    std::uint32_t input_frequency() const { return input_hz_; }
    // The gate's length in nanoseconds, rounded down (0 before the set-up).
    std::uint64_t gate_ns() const;

    Function function() const override { return Function::Frequency; }
    void advance(std::uint64_t now_ns, std::uint8_t position, InterruptSink& interrupts) override;

  private:
    void catch_up(std::uint64_t now);
    std::uint32_t answer(std::uint32_t code, std::uint8_t* b, std::uint64_t now_ns) override;

    std::uint32_t input_hz_ = 0;
    // set-up
    std::uint8_t clock_mhz_ = 0; // 0 before the set-up
    std::uint32_t ticks_ = 0;
    // state
    bool enabled_ = false;
    bool continuous_ = false;
    std::uint64_t origin_ns_ = 0;  // the enable
    std::uint64_t gates_seen_ = 0; // gates closed since the enable
    std::uint32_t closed_ = 0;     // gates closed since the previous read, at most 255
    std::uint32_t value_ = 0;
    std::uint64_t now_ = 0;
};

} // namespace mfb::sim
