// Firmware files for the fuzz targets, made on the spot: a header with its four length fields,
// the three sections, the payload stored scrambled, in a folder of this process's own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mfbfuzz {

constexpr std::size_t kHeaderSize = 2952;
constexpr std::size_t kLengthFields = 2136; // S1, S2, S3, P: four u32
constexpr std::uint32_t kPayloadLimit = 100000;
constexpr std::uint8_t kScrambleKey = 0xC6;

// The file of a payload (as the flash is to hold it) after `skipped` bytes of sections.
std::vector<std::uint8_t> firmware_file(const std::vector<std::uint8_t>& payload,
                                        std::uint32_t skipped = 0);

// A folder for this process's files, made on first use; `name` within it.
std::string scratch_path(const std::string& name);
// Writes the bytes over the file at path; aborts when it cannot.
void write_file(const std::string& path, const std::uint8_t* bytes, std::size_t size);

} // namespace mfbfuzz
