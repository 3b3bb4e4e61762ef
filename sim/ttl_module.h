// The simulated TTL I/O module: 26 TTL lines on five ports.
//
// Ports as the switches number them, 0 to 4: ports 0 and 1 carry one line each (channel 0),
// ports 2, 3 and 4 eight each (channels 0 to 7). Line numbers 0 to 25 count the lines in that
// order: lines 0 and 1 are ports 0 and 1, lines 2 to 9 port 2, 10 to 17 port 3, 18 to 25 port 4.
//
// Ports as the reads number them, 0 to 3 (the read ports): read port 0 holds the two single
// lines, port 0 in bit 0 and port 1 in bit 1 (bits 2 to 7 read 0); read ports 1, 2 and 3 are
// ports 2, 3 and 4, channel n in bit n. The value of all ports (0x900020A8, bytes 4-7) holds read
// port k in bits 8k to 8k + 7: bits 0 and 1 lines 0 and 1, bits 8-15 lines 2-9, bits 16-23
// lines 10-17, bits 24-31 lines 18-25. The test bench's patterns use the same layout.
//
// Directions (0x9000209C, bytes 1-4 direction flags 1 to 4): flag k governs read port k - 1, so
// flag 1 ports 0 and 1, flags 2, 3 and 4 ports 2, 3 and 4. 1 makes the lines outputs, 0 inputs.
// At power on every line is an input and every output latch is 0.
//
// Switches (0x900020AC, byte 3): 1 sets the line's output latch high, 0 low. The latch is
// written whatever the direction; an input line drives it once its port becomes an output.
// Channels 1 to 7 of ports 0 and 1 carry no line: switching them fails the exchange.
//
// Reads: an output line reads back its latch, an input line the level that the test bench
// drives on it (set_inputs, set_input_line; low until set). The channel value (0x900020A0,
// byte 3) is 0 for low, 1 for high; its request names a read port and a bit of it, so read port
// 0 channel 1 is line 1 and channels 2 to 7 of read port 0 read 0. The port value (0x900020A4,
// byte 2) holds one bit a channel.
//
// Requests shorter than their layout, answer buffers smaller than theirs, direction flags above
// 1, read ports above 3, switch ports above 4 and channels above 7 fail the exchange.
#pragma once

#include "sim/sim_board.h"

#include <cstdint>

namespace mfb::sim {

class TtlModule : public Module {
  public:
    // The bits of the all-ports layout that carry a line.
    static constexpr std::uint32_t kLines = 0xFFFFFF03;

    Function function() const override { return Function::TtlIo; }

    // The test bench's side, in the all-ports layout. Levels on output lines are kept and show
    // once those lines become inputs.
    void set_inputs(std::uint32_t levels) { inputs_ = levels & kLines; }
    void set_input_line(std::uint8_t line, bool high);
    std::uint32_t inputs() const { return inputs_; }
    // The output latches, and the lines that are outputs (both in the all-ports layout).
    std::uint32_t latches() const { return latches_; }
    std::uint32_t output_lines() const { return outputs_; }
    // What the lines read now.
    std::uint32_t levels() const { return (latches_ & outputs_) | (inputs_ & ~outputs_); }

    // The bit of the all-ports layout for a switch port and channel; -1 where no line is.
    static int bit_of(std::uint8_t port, std::uint8_t channel);

  private:
    std::uint32_t answer(std::uint32_t code, std::uint8_t* b, std::uint64_t now_ns) override;

    std::uint32_t latches_ = 0;
    std::uint32_t outputs_ = 0;
    std::uint32_t inputs_ = 0;
};

} // namespace mfb::sim
