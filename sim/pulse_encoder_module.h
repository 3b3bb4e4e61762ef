// The simulated pulse encoder module: four pulse generators (encoders 0 to 3), each emitting a
// counted number of pulses at its output at a set period, on the bus clock.
//
// Every request is one buffer that is both request and answer, of the size of its layout: byte 0
// the module position, byte 1 the encoder number. The answer carries a signed 16-bit driver status
// at the offset of its layout: 0 when the request was carried out, else one of the refusals below,
// and then nothing changed. A buffer shorter than its layout fails the exchange itself. (The
// library negates the status: these read there as -2, -3 and -4.)
//   kBadRequest (2)    an encoder number above 3, a setting byte or enable setting above 1, a
//                      period of 0
//   kNotSetUp (3)      EnablePulseEncoder before InitPulseEncoder of that encoder
//   kRunning (4)       InitPulseEncoder or EnablePulseEncoder while the encoder runs
//
// Count. Each encoder has a 32-bit count of the pulses still to come, and a start value: the last
// value written (WritePulseEncoderValue 0x90005414, bytes 4-7; status at 8). Each pulse at the
// output takes one from the count. A write loads both count and start value; a running encoder
// goes on from the new count. Read value (0x90005410, 12 bytes): bytes 4-7 the count; status at 8.
//
// Set-up (InitPulseEncoder 0x90005400, 12 bytes; status at 8):
//   setting byte 1 (byte 2)   unit of the period: 0 microseconds, 1 milliseconds
//   setting byte 2 (byte 3)   run mode: 0 single run: when the count reaches 0 the encoder stops;
//                             1 continuous: at 0 it loads the start value and goes on
//   setting value (4-7)       the pulse period in that unit, 1 or more
// Enable (0x90005404, 8 bytes; status at 4):
//   enable setting (byte 2)   0: the first pulse comes one period after the enable; 1: at once,
//                             at the enable itself
//   interrupt flag (byte 3)   0: no interrupts; any other value: an interrupt whenever the count
//                             reaches 0
//   An encoder whose count is 0 loads its start value at the enable; with nothing to emit (start
//   value 0 too) it does not run. A count of 0 written to a running encoder stops it.
// Disable (0x90005408, 8 bytes; status at 4): stops the encoder; the count holds.
// Status (0x9000540C, 8 bytes; answer byte 2; status at 4): bit 0 the encoder runs; bit 1 its count
//   reached 0 since the previous status read (the read clears it); the other bits 0.
//
// Interrupts: an encoder enabled with interrupts raises one InterruptRecord for each catch-up with
//   the clock in which its count reached 0: record byte the module position, word 1 the encoder
//   number, word 2 how often its count reached 0 since the enable (low 32 bits), value 0 how many
//   of those this record covers, value 1 the pulses emitted since the enable (low 32 bits), value
//   count 2. Passages are counted into one record rather than queued one by one.
#pragma once

#include "sim/sim_board.h"

#include <array>
#include <cstdint>

namespace mfb::sim {

class PulseEncoderModule : public Module {
  public:
    static constexpr std::uint16_t kBadRequest = 2;
    static constexpr std::uint16_t kNotSetUp = 3;
    static constexpr std::uint16_t kRunning = 4;

    // ---- bench (through SimBoard::with_module, which catches up with the bus clock first) ----
    // Pulses an encoder has emitted at its output since power-on (0 for numbers above 3).
    std::uint64_t pulses(std::uint8_t encoder) const;
    bool running(std::uint8_t encoder) const;

    Function function() const override { return Function::PulseEncoder; }
    void advance(std::uint64_t now_ns, std::uint8_t position, InterruptSink& interrupts) override;

  private:
    struct Encoder {
        // set-up
        std::uint64_t period_ns = 0; // 0 before the set-up
        bool continuous = false;
        // enable
        bool running = false;
        bool at_once = false;
        bool interrupts = false;
        std::uint64_t origin_ns = 0;    // the enable
        std::uint64_t emitted_seen = 0; // pulses due since the enable, as far as counted
        // count
        std::uint32_t count = 0;
        std::uint32_t start = 0;
        bool reached_zero = false; // since the previous status read
        std::uint64_t zeros = 0;   // since the enable
        std::uint64_t emitted = 0; // since the enable
        std::uint64_t total = 0;   // since power-on
    };

    static std::uint64_t emit(Encoder& e, std::uint64_t due);
    void catch_up(std::uint64_t now, std::uint8_t position, InterruptSink& interrupts);
    std::uint32_t answer(std::uint32_t code, std::uint8_t* b, std::uint64_t now_ns) override;
    std::uint16_t enable(Encoder& e, const std::uint8_t* b);

    std::array<Encoder, 4> encoders_{};
    std::uint64_t now_ = 0;
};

} // namespace mfb::sim
