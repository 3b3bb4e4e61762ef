// What the simulated board says about itself: its hardware type, its driver's version and the
// configuration word of each module position.
//
// Hardware type (ControlCode 0x900020E8, 1 byte in and out): 0x03, the four-position PCI board in
//   its third hardware revision. The request byte is not looked at.
// Driver version (0x9000208C, no request, 4-byte answer): 0x00030102, version 3.1.2: bits 31-16
//   the major version, bits 15-8 the minor version, bits 7-0 the release.
// Module configuration word (0x90004000, 12 bytes in and out): request byte 0 the module
//   position. The answer keeps byte 0 and puts the word in bytes 4-7 and a 16-bit status in bytes
//   8-9. The word tells which function the position carries now, so it follows set_function:
//     bits 7-0   the function, numbered as the Function enumeration of sim_board.h (0 none,
//                1 counter, 2 timer, 3 TTL I/O, 4 SSI, 5 PWM, later functions after them);
//     bits 15-8  the position itself, 0 to 3;
//     bits 31-16 0.
//   An empty position answers its word with function 0 and status 0. A position above 3 answers
//   word 0 and status 2 (no such position), which the library reports as -2.
// Requests or answer buffers shorter than these layouts fail the exchange.
#pragma once

#include "sim/sim_board.h"

#include <cstdint>
#include <memory>

namespace mfb::sim {

constexpr std::uint8_t kHardwareType = 0x03;
constexpr std::uint32_t kDriverVersion = 0x00030102;
constexpr std::uint16_t kNoSuchPosition = 2;

std::uint32_t configuration_word(std::uint8_t position, Function f);

// Whether a ControlCode is one of the three above.
bool is_identity_code(std::uint32_t code);
// Answer one of them for a board with these modules fitted; false fails the exchange.
bool identity_exchange(vbus::Exchange& x, const std::unique_ptr<Module> (&modules)[4]);

} // namespace mfb::sim
