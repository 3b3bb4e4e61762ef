// Module firmware files (protocol/firmware_file.h) on the board's side: made from a payload, to
// give the simulated board something to flash, for tests and for tools; and told apart, for tools
// that show what a file holds, by the library's own loader (firmware/firmware_files.h).
#pragma once

#include "firmware/firmware_files.h"
#include "protocol/firmware_file.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mfb::sim {

constexpr std::uint32_t kFirmwarePayloadLimit = protocol::firmware_file::kPayloadLimit;

// What goes into a firmware file. The header fields give the true lengths unless set otherwise:
// set them to make a file whose header lies. The rest of the header is zero.
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

// What the loader reads from a file, and whether it takes it, with the reason in words.
struct FirmwareFileReport : firmware::FileLayout {
    bool accepted = false;
    std::string reason;                // why not, empty when accepted
    std::vector<std::uint8_t> payload; // de-scrambled, when accepted
};
FirmwareFileReport inspect_firmware_file(std::span<const std::uint8_t> file);
// The same for a file on disk; one that cannot be opened or read is not accepted.
FirmwareFileReport inspect_firmware_file(const std::string& path);

} // namespace mfb::sim
