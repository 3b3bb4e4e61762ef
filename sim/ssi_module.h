// The simulated SSI module: three absolute multi-turn encoders on SSI channels 0 to 2, a byte of
// digital inputs and one digital output.
//
// Encoders. Each encoder has a step count (64 bits, wrapping) that moves at a rate in steps per
// second that the bench sets (set_rate; negative turns backwards), following the bus clock: the
// count at a time is the count when the rate was last set plus rate x elapsed time, in whole
// steps towards zero. At power-on the counts are 0x12345, 0x2468A and 0 and the rates 100,000,
// -20,000 and 0 steps per second, so that the channels differ and two of them move. An encoder
// sends its count in binary, or in Gray code after set_gray(channel, true).
//
// Frames. An encoder answers a frame of the set-up's frame length L, most significant bit first,
// whose leading D data bits are its count modulo 2^D in its code, and whose L - D trailing bits
// are 0. After InitSSI, D = position bits P + turn bits T; after InitSSIRawData, D = L.
//
// Set-up for values (ControlCode 0x900020EC, 16-byte request: module, L, P, T, clock base,
// 3 bytes unused, u32 SSI clock in Hz, option flag): the module takes the D data bits of a frame,
// converts them from Gray code to binary when the option flag is 1 (0: the encoder sends binary),
// and splits them: value 1 is the POSITION, the low P data bits; value 2 is the TURNS, the T bits
// above them (0 when T is 0). So with matching settings value 1 = count mod 2^P and value 2 =
// (count >> P) mod 2^T; a Gray-coded encoder read with option 0 (or the reverse) gives garbled
// values, as on a real module.
//
// Set-up for raw frames (0x900020F0, 8-byte request: module, L, clock base, unused, u32 SSI clock):
// a channel's raw frame is the L received bits right-aligned in two words: word 0 holds frame bits
// 0 to 31 (the last 32 bits clocked in), word 1 bits 32 to 47 (0 when L <= 32). No code is
// converted. The all-channel raw read (0x90002100) packs the channels one after the other from
// word 0 of its answer: one word per channel when L <= 32 (channel n in word n), two when L > 32
// (channel n in words 2n and 2n + 1, low word first); the rest of its 16 words are 0.
//
// Each set-up is checked as the library checks it (ranges of L, P, T, clock base and clock, option
// flag); a set-up out of range fails the exchange and changes nothing. A new set-up replaces the
// mode and forgets any acquisition. The SSI clock is the clock base (30 or 33 MHz) divided by the
// smallest whole divider that gives at most the asked frequency (clock_hz()); a frame takes L + 1
// periods of it (frame_ns()).
//
// Reads. The value reads (0x900020F4 one channel: answer u32 value 1 at offset 4, value 2 at 8;
// 0x900020FC all channels: value 1 of channels 0, 1, 2 at offsets 4, 8, 12, value 2 at 16, 20, 24)
// answer after a value set-up only; the raw reads (0x900020F8 one channel: word 0 at offset 4,
// word 1 at 8, the word count at offset 12 is not needed; 0x90002100 all channels) after a raw
// set-up only. The others fail the exchange, as do channel numbers above 2. An immediate read
// samples the encoders at the time of the exchange.
//
// Two-step acquisition. StartSSIAcquisition (0x9000210C) latches all three encoders at once and
// runs for frame_ns(); it fails before any set-up and while an acquisition runs. The acquisition
// status (0x90002110, answer byte 1) is kIdle (0) before any start since the set-up, kRunning (1)
// while the frames come in and kDone (2) once they are in. GetSSIValue (0x90002114) and
// GetSSIRawDataValue (0x90002118) answer as the immediate reads of the mode, with the latched
// frames, and fail unless the status is kDone.
//
// Digital I/O. The input byte (0x90002104, answer byte 1) is what the bench set (set_inputs; bit n
// is input n; 0 at power-on). The output (0x90002108, request byte 1: 1 on, 0 off, anything else
// fails the exchange) is off at power-on; output() shows it.
//
// A request shorter than its layout fails the exchange. The module raises no interrupts.
#pragma once

#include "sim/sim_board.h"

#include <array>
#include <cstdint>

namespace mfb::sim {

class SsiModule : public Module {
  public:
    static constexpr std::size_t kChannels = 3;
    enum class Mode : std::uint8_t { None, Values, Raw };
    static constexpr std::uint8_t kIdle = 0, kRunning = 1, kDone = 2;

    SsiModule();

    // ---- bench ----
    void set_rate(std::size_t channel, std::int64_t steps_per_second);
    void set_count(std::size_t channel, std::uint64_t count);
    std::uint64_t count(std::size_t channel) const; // at the last bus time the module saw
    void set_gray(std::size_t channel, bool gray);
    void set_inputs(std::uint8_t inputs) { inputs_ = inputs; }
    std::uint8_t inputs() const { return inputs_; }
    bool output() const { return output_; }
    Mode mode() const { return mode_; }
    std::uint32_t clock_hz() const;
    std::uint64_t frame_ns() const;

    Function function() const override { return Function::Ssi; }
    void advance(std::uint64_t now_ns, std::uint8_t position, InterruptSink& interrupts) override;

  private:
    struct Encoder {
        std::uint64_t count = 0; // at `since`
        std::uint64_t since = 0;
        std::int64_t rate = 0; // steps per second
        bool gray = false;
        std::uint64_t count_at(std::uint64_t t) const;
    };
    struct Setup {
        std::uint8_t frame = 0, position = 0, turns = 0, base_mhz = 0, option = 0;
        std::uint32_t clock = 0;
    };

    std::uint8_t data_bits() const;
    std::uint64_t frame_of(std::size_t channel, std::uint64_t t) const;
    void values(std::uint64_t frame, std::uint32_t& value1, std::uint32_t& value2) const;
    std::uint8_t acquisition_status(std::uint64_t t) const;
    std::uint32_t answer(std::uint32_t code, std::uint8_t* b, std::uint64_t now_ns) override;
    bool set_up(const std::uint8_t* b, Mode mode);
    bool answer_values(std::uint8_t* b, const std::array<std::uint64_t, kChannels>& frames,
                       bool all) const;
    bool answer_raw(std::uint8_t* b, const std::array<std::uint64_t, kChannels>& frames,
                    bool all) const;

    std::array<Encoder, kChannels> encoders_;
    std::uint64_t now_ = 0;
    Mode mode_ = Mode::None;
    Setup setup_;
    bool acquired_ = false; // an acquisition was started since the set-up
    std::uint64_t acquisition_done_ = 0;
    std::array<std::uint64_t, kChannels> latched_{};
    std::uint8_t inputs_ = 0;
    bool output_ = false;
};

} // namespace mfb::sim
