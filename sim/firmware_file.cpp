#include "sim/firmware_file.h"

#include "protocol/wire.h"

#include <cstdio>
#include <fstream>

namespace mfb::sim {
namespace {

namespace file = protocol::firmware_file;

void append(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

// The loader's layout in words, and the payload de-scrambled where it is taken.
FirmwareFileReport report(const firmware::FileLayout& layout, const std::uint8_t* payload) {
    FirmwareFileReport r;
    static_cast<firmware::FileLayout&>(r) = layout;
    switch (layout.verdict) {
    case firmware::FileVerdict::Accepted:
        r.accepted = true;
        r.payload.assign(payload, payload + layout.payload_length);
        scramble(r.payload);
        break;
    case firmware::FileVerdict::Unreadable:
        r.reason = "cannot be read";
        break;
    case firmware::FileVerdict::NoHeader:
        r.reason = "shorter than the 2952-byte header";
        break;
    case firmware::FileVerdict::SectionsPastEnd:
        r.reason = "the sections end past the end of the file";
        break;
    case firmware::FileVerdict::PayloadTooLong:
        r.reason = "payload longer than 100000 bytes";
        break;
    case firmware::FileVerdict::PayloadPastEnd:
        r.reason = "payload runs past the end of the file";
        break;
    }
    return r;
}

} // namespace

void scramble(std::span<std::uint8_t> bytes) {
    for (std::uint8_t& b : bytes)
        b ^= file::kScrambleKey;
}

std::vector<std::uint8_t> firmware_file_bytes(const FirmwareImage& image) {
    std::vector<std::uint8_t> f(file::kHeaderSize, 0);
    for (std::size_t s = 0; s < 3; ++s) {
        const auto length = static_cast<std::uint32_t>(image.sections[s].size());
        protocol::put_le32(f.data() + file::kSectionLength[s],
                           image.section_field[s].value_or(length));
        append(f, image.sections[s]);
    }
    const auto length = static_cast<std::uint32_t>(image.payload.size());
    protocol::put_le32(f.data() + file::kPayloadLength, image.payload_field.value_or(length));
    const std::size_t payload_at = f.size();
    append(f, image.payload);
    scramble(std::span(f).subspan(payload_at));
    append(f, image.trailer);
    return f;
}

bool write_firmware_file(const std::string& path, const FirmwareImage& image) {
    const std::vector<std::uint8_t> bytes = firmware_file_bytes(image);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

FirmwareFileReport inspect_firmware_file(std::span<const std::uint8_t> bytes) {
    const firmware::FileLayout layout = firmware::file_layout(bytes.data(), bytes.size());
    const bool taken = layout.verdict == firmware::FileVerdict::Accepted;
    return report(layout, taken ? bytes.data() + layout.payload_offset : nullptr);
}

FirmwareFileReport inspect_firmware_file(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        FirmwareFileReport r;
        r.reason = "cannot be opened";
        return r;
    }
    std::vector<std::uint8_t> area(firmware::kModuleArea);
    const firmware::FileLayout layout = firmware::read_module_file(f, area.data());
    std::fclose(f);
    return report(layout, area.data());
}

} // namespace mfb::sim
