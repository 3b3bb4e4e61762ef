// The module firmware file, one per module position, as the firmware update reads it and the
// simulated board's side writes it. Little-endian:
//
//   bytes 0 to 2951   header; only the four u32 fields at 2136 are read:
//                     2136 S1, 2140 S2, 2144 S3 (the three sections after the header), 2148 P
//   2952 onwards      the three sections, S1 + S2 + S3 bytes, skipped
//   then              P bytes of payload, each stored XORed with 0xC6; anything after is ignored
//
// A module's payload is at most 100,000 bytes: the flash holds the four modules' areas back to
// back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mfb::protocol::firmware_file {

constexpr std::size_t kHeaderSize = 2952;
constexpr std::size_t kSectionLength[3] = {2136, 2140, 2144};
constexpr std::size_t kPayloadLength = 2148;
constexpr std::uint32_t kPayloadLimit = 100000;
constexpr std::uint8_t kScrambleKey = 0xC6;

} // namespace mfb::protocol::firmware_file
