// The simulated board's own digital ports and the EEPROM of its PCI interface chip.
//
// Digital ports 0 to 3. Each port has eight output lines, driven from an output latch, and eight
// input lines. At power on every latch is 0, no line is driven and both configuration values are 0.
//   Write outputs (0x90002120, request: byte 0 port, byte 1 new latch): the latch takes the byte.
//   Read inputs (0x9000211C, request byte 0 port; answer byte 1): the levels of the input lines,
//     bit n for line n, as they are now, or as sampled at the last strobe (see the second value).
//     The board answers every line as it is, lines 5 and 6 too; hiding them while they serve as
//     control lines is the library's part.
//   Configure (0x90002124, request: byte 0 port, bytes 1 and 2 the first and second value, each
//     0 or 1). A port works with values 0 from power on; configuring only changes what lines 5
//     and 6 do:
//     first value 1:  input line 5 is the port's output enable: the output lines drive the latch
//                     only while line 5 is high and are all low while it is low. With 0 the
//                     outputs always drive the latch.
//     second value 1: input line 6 is the port's input strobe: each rising edge of line 6 samples
//                     the eight input lines, and reads answer that sample (0 until the first
//                     edge after configuring). With 0 reads answer the lines as they are.
//   Input lines read what the bench drives on them (drive_inputs; low until driven), or, with
//   the loop-back of a port on, the port's own output latch through the board's internal
//   read-back path, before the output enable. Output lines are what the bench reads (outputs).
//   Requests shorter than their layout, a read without a 2-byte answer buffer, a port above 3
//   and a configuration value above 1 fail the exchange.
//
// EEPROM: 256 words of 32 bits at word addresses 0 to 255, all 0xFFFFFFFF (erased) on a new
// board and kept for the life of the board object, across closes and reopens of it.
//   Buffer (12 bytes in and out, both operations): byte 0 answers the status byte, bytes 4-7 the
//   address, bytes 8-11 the value. The answer keeps the address, and carries in bytes 8-11 the
//   word read, or for a write the word now stored; 12 bytes are returned.
//   Write (0x9001C000) stores the value; read (0x9001C004) answers it.
//   Status byte: 0 done; 2 (kAddressOutOfRange) the address lies beyond word 255, nothing stored
//   or read. Buffers shorter than 12 bytes fail the exchange.
#pragma once

#include "mfb_vbus.h"

#include <array>
#include <cstdint>

namespace mfb::sim {

class BoardIo {
  public:
    static constexpr std::uint8_t kPorts = 4;
    static constexpr std::uint32_t kEepromWords = 256;
    static constexpr std::uint8_t kAddressOutOfRange = 2;
    static constexpr std::uint8_t kEnableLine = 0x20; // line 5, with the first value 1
    static constexpr std::uint8_t kStrobeLine = 0x40; // line 6, with the second value 1

    BoardIo() { eeprom_.fill(0xFFFFFFFF); }

    // Whether a ControlCode is one of the ports' or the EEPROM's.
    static bool answers(std::uint32_t code);
    // Answer one of them; false fails the exchange.
    bool exchange(vbus::Exchange& x);

    // ---- the bench's side; port numbers above 3 are ignored (reads give 0) ----

    // Drive the input lines of a port (bit n, line n), as seen while its loop-back is off.
    void drive_inputs(std::uint8_t port, std::uint8_t levels);
    // Connect a port's input lines to its own output latch, or back to the bench's levels.
    void set_loopback(std::uint8_t port, bool on);
    // What the output lines drive now (the latch, or 0 while the output enable holds them low).
    std::uint8_t outputs(std::uint8_t port) const;
    // The output latch as the library last wrote it.
    std::uint8_t latch(std::uint8_t port) const;
    // The levels on the input lines now, and what a read of the port answers.
    std::uint8_t input_lines(std::uint8_t port) const;
    std::uint8_t read_inputs(std::uint8_t port) const;

    // EEPROM words; addresses beyond the last word read 0 and are not written.
    std::uint32_t eeprom(std::uint32_t address) const;
    void set_eeprom(std::uint32_t address, std::uint32_t value);

  private:
    struct Port {
        std::uint8_t latch = 0;
        std::uint8_t driven = 0;
        bool loopback = false;
        bool enable_selected = false; // first value 1
        bool strobe_selected = false; // second value 1
        std::uint8_t sample = 0;      // the lines at the last strobe edge
        bool strobe_level = false;    // line 6 as last seen, to find its rising edges
    };

    // After any change of a port's lines: sample on a rising strobe edge.
    void lines_changed(Port& p);
    static std::uint8_t lines(const Port& p) { return p.loopback ? p.latch : p.driven; }

    std::array<Port, kPorts> ports_{};
    std::array<std::uint32_t, kEepromWords> eeprom_{};
};

} // namespace mfb::sim
