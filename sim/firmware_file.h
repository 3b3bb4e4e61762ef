// Module firmware files, made and taken apart on the board's side: to give the simulated board
// something to flash, for tests, and for tools that show what a file holds.
//
// A firmware file, little-endian:
//   bytes 0 to 2951   header; the four u32 fields at 2136: S1, S2, S3 (lengths of the three
//                     sections after the header) and P (the payload length); the rest is zero here
//   2952 onwards      the three sections, S1 + S2 + S3 bytes, which the loader skips
//   then              P payload bytes, each stored XORed with 0xC6; anything after is ignored
// A file is accepted for flashing when it has the whole header, P is at most 100,000 and the P
// bytes lie within the file after the sections.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mfb::sim {

constexpr std::size_t kFirmwareHeaderSize = 2952;
constexpr std::uint32_t kFirmwarePayloadLimit = 100000;
constexpr std::uint8_t kFirmwareScrambleKey = 0xC6;

// What goes into a firmware file. The header fields give the true lengths unless set otherwise:
// set them to make a file whose header lies.
struct FirmwareImage {
    std::vector<std::uint8_t> payload = {}; // as the flash is to hold it; scrambled in the file
    std::array<std::vector<std::uint8_t>, 3> sections = {};
    std::array<std::optional<std::uint32_t>, 3> section_field = {};
    std::optional<std::uint32_t> payload_field = {};
    std::vector<std::uint8_t> trailer = {}; // after the payload
};

// XOR with the key, both ways.
void scramble(std::span<std::uint8_t> bytes);

std::vector<std::uint8_t> firmware_file_bytes(const FirmwareImage& image);
// Writes the file; false when it cannot be written.
bool write_firmware_file(const std::string& path, const FirmwareImage& image);

// What the loader reads from a file, and whether it would take it.
struct FirmwareFileReport {
    std::uint64_t file_size = 0;
    bool has_header = false; // the other fields are 0 without one
    std::array<std::uint32_t, 3> section_length = {};
    std::uint32_t payload_length = 0;
    std::uint64_t payload_offset = 0;    // 2952 + S1 + S2 + S3, without wrapping
    std::uint64_t payload_available = 0; // bytes from the payload offset to the end of the file
    bool accepted = false;
    std::string reason;                // why not, empty when accepted
    std::vector<std::uint8_t> payload; // de-scrambled, when accepted
};
FirmwareFileReport inspect_firmware_file(std::span<const std::uint8_t> file);
// The same for a file on disk; one that cannot be read is not accepted, with the reason.
FirmwareFileReport inspect_firmware_file(const std::string& path);

} // namespace mfb::sim
