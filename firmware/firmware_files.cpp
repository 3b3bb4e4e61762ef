#include "firmware/firmware_files.h"

#include "platform/win32.h"
#include "protocol/frame.h"

#include <new>

namespace mfb::firmware {

namespace file = protocol::firmware_file;

FileLayout file_layout(const std::uint8_t* header, std::uint64_t size) {
    FileLayout l;
    l.size = size;
    if (size < file::kHeaderSize) {
        l.verdict = FileVerdict::NoHeader;
        return l;
    }
    l.has_header = true;
    // 64 bits: three u32 section lengths may add up past 4 GiB, and a wrapped sum would point
    // back into the file.
    l.payload_offset = file::kHeaderSize;
    for (std::size_t s = 0; s < 3; ++s) {
        l.section_length[s] = protocol::get_le32(header + file::kSectionLength[s]);
        l.payload_offset += l.section_length[s];
    }
    l.payload_length = protocol::get_le32(header + file::kPayloadLength);
    if (l.payload_offset > size) {
        l.verdict = FileVerdict::SectionsPastEnd;
        return l;
    }
    l.payload_available = size - l.payload_offset;
    if (l.payload_length > kModuleArea)
        l.verdict = FileVerdict::PayloadTooLong;
    else if (l.payload_length > l.payload_available)
        l.verdict = FileVerdict::PayloadPastEnd;
    else
        l.verdict = FileVerdict::Accepted;
    return l;
}

FileLayout read_module_file(std::FILE* f, std::uint8_t* area) {
    FileLayout unreadable;
    if (std::fseek(f, 0, SEEK_END) != 0)
        return unreadable;
    const long size = std::ftell(f); // -1 when the size cannot be told
    if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0)
        return unreadable;
    protocol::Frame<file::kHeaderSize> header;
    const std::size_t got = std::fread(header.bytes, 1, header.size, f);
    if (got != header.size && got != static_cast<std::size_t>(size))
        return unreadable;
    FileLayout l = file_layout(header.bytes, static_cast<std::uint64_t>(size));
    if (l.verdict != FileVerdict::Accepted)
        return l;
    if (std::fseek(f, static_cast<long>(l.payload_offset), SEEK_SET) != 0 ||
        std::fread(area, 1, l.payload_length, f) != l.payload_length)
        l.verdict = FileVerdict::Unreadable;
    return l;
}

WorkingMemoryBlock::WorkingMemoryBlock() {
    if (void* p = HeapAlloc(GetProcessHeap(), 0, sizeof(WorkingMemory)))
        memory_ = new (p) WorkingMemory{}; // zeroed: both buffers and the four lengths
}

WorkingMemoryBlock::~WorkingMemoryBlock() {
    if (memory_)
        HeapFree(GetProcessHeap(), 0, memory_);
}

bool load_firmware_files(const char* const (&paths)[kModules], WorkingMemory& w) {
    std::FILE* files[kModules] = {};
    bool loaded = true;
    for (std::size_t m = 0; m < kModules && loaded; ++m) {
        loaded = paths[m] != nullptr && (files[m] = std::fopen(paths[m], "rb")) != nullptr;
        if (loaded) {
            const FileLayout l = read_module_file(files[m], w.file + m * kModuleArea);
            loaded = l.verdict == FileVerdict::Accepted;
            w.length[m] = loaded ? l.payload_length : 0;
        }
    }
    for (std::size_t m = 0; m < kModules; ++m) {
        if (files[m] && platform::close_file(files[m]) != 0)
            std::fprintf(stderr, "\n i_MFB_LoadFile Error : file %d close error",
                         static_cast<int>(m));
    }
    return loaded;
}

} // namespace mfb::firmware
