#include "firmware/firmware_files.h"

#include "board/frame.h"
#include "platform/win32.h"

#include <cstdio>
#include <new>

namespace mfb::firmware {
namespace {

constexpr std::size_t kHeaderSize = 2952;
constexpr std::size_t kSection1 = 2136;
constexpr std::size_t kSection2 = 2140;
constexpr std::size_t kSection3 = 2144;
constexpr std::size_t kPayloadLength = 2148;

// One module's file: its payload into `area`, its length into `length`. Every size is checked
// against the file before it is used, so a header that lies cannot move the read outside the
// file or past the module's area.
bool read_module_file(std::FILE* f, std::uint8_t* area, std::uint32_t& length) {
    if (std::fseek(f, 0, SEEK_END) != 0)
        return false;
    const long size = std::ftell(f); // -1 when the size cannot be told
    if (size < static_cast<long>(kHeaderSize) || std::fseek(f, 0, SEEK_SET) != 0)
        return false;
    Frame<kHeaderSize> header;
    if (std::fread(header.bytes, 1, kHeaderSize, f) != kHeaderSize)
        return false;
    // 64 bits: three u32 section lengths may add up past 4 GiB, and a wrapped sum would point
    // back into the file.
    const std::uint64_t offset = std::uint64_t{kHeaderSize} + header.get_u32<kSection1>() +
                                 header.get_u32<kSection2>() + header.get_u32<kSection3>();
    const std::uint32_t payload = header.get_u32<kPayloadLength>();
    if (payload > kModuleArea || offset > static_cast<std::uint64_t>(size))
        return false;
    if (std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0)
        return false;
    length = static_cast<std::uint32_t>(std::fread(area, 1, payload, f));
    return length == payload;
}

} // namespace

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
        loaded = paths[m] != nullptr && (files[m] = std::fopen(paths[m], "rb")) != nullptr &&
                 read_module_file(files[m], w.file + m * kModuleArea, w.length[m]);
    }
    for (std::size_t m = 0; m < kModules; ++m) {
        if (files[m] && platform::close_file(files[m]) != 0)
            std::fprintf(stderr, "\n i_MFB_LoadFile Error : file %d close error",
                         static_cast<int>(m));
    }
    return loaded;
}

} // namespace mfb::firmware
