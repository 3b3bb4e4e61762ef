#include "sim/firmware_file.h"
#include "sim/le_bytes.h"

#include <fstream>
#include <iterator>

namespace mfb::sim {
namespace {

constexpr std::size_t kFields = 2136; // S1, S2, S3, P: four u32

void append(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

} // namespace

void scramble(std::span<std::uint8_t> bytes) {
    for (std::uint8_t& b : bytes)
        b ^= kFirmwareScrambleKey;
}

std::vector<std::uint8_t> firmware_file_bytes(const FirmwareImage& image) {
    std::vector<std::uint8_t> file(kFirmwareHeaderSize, 0);
    for (std::size_t s = 0; s < 3; ++s) {
        const auto length = static_cast<std::uint32_t>(image.sections[s].size());
        put_le_u32(file.data(), kFields + 4 * s, image.section_field[s].value_or(length));
        append(file, image.sections[s]);
    }
    const auto length = static_cast<std::uint32_t>(image.payload.size());
    put_le_u32(file.data(), kFields + 12, image.payload_field.value_or(length));
    const std::size_t payload_at = file.size();
    append(file, image.payload);
    scramble(std::span(file).subspan(payload_at));
    append(file, image.trailer);
    return file;
}

bool write_firmware_file(const std::string& path, const FirmwareImage& image) {
    const std::vector<std::uint8_t> bytes = firmware_file_bytes(image);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

FirmwareFileReport inspect_firmware_file(std::span<const std::uint8_t> file) {
    FirmwareFileReport r;
    r.file_size = file.size();
    if (file.size() < kFirmwareHeaderSize) {
        r.reason = "shorter than the 2952-byte header";
        return r;
    }
    r.has_header = true;
    r.payload_offset = kFirmwareHeaderSize;
    for (std::size_t s = 0; s < 3; ++s) {
        r.section_length[s] = le_u32(file.data(), kFields + 4 * s);
        r.payload_offset += r.section_length[s];
    }
    r.payload_length = le_u32(file.data(), kFields + 12);
    if (r.payload_offset > file.size()) {
        r.reason = "the sections end past the end of the file";
        return r;
    }
    r.payload_available = file.size() - r.payload_offset;
    if (r.payload_length > kFirmwarePayloadLimit) {
        r.reason = "payload longer than 100000 bytes";
        return r;
    }
    if (r.payload_length > r.payload_available) {
        r.reason = "payload runs past the end of the file";
        return r;
    }
    const auto* first = file.data() + r.payload_offset;
    r.payload.assign(first, first + r.payload_length);
    scramble(r.payload);
    r.accepted = true;
    return r;
}

FirmwareFileReport inspect_firmware_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        FirmwareFileReport r;
        r.reason = "cannot be opened";
        return r;
    }
    const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    return inspect_firmware_file(bytes);
}

} // namespace mfb::sim
