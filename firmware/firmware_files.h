// The four module firmware files and the working memory of one firmware update.
//
// A firmware file, little-endian:
//   bytes 0 to 2951   header; only the four u32 fields at 2136 are read:
//                     2136 S1, 2140 S2, 2144 S3 (the three sections after the header), 2148 P
//   2952 onwards      the three sections, S1 + S2 + S3 bytes, skipped
//   then              P bytes of payload, each stored XORed with 0xC6; anything after is ignored
// A module's payload is at most 100,000 bytes: the flash holds four such areas back to back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mfb::firmware {

constexpr std::size_t kModules = 4;
constexpr std::uint32_t kModuleArea = 100000;
constexpr std::uint8_t kScrambleKey = 0xC6;

// Both buffers hold the four module areas, module m at m * kModuleArea: `file` the bytes as read
// from the files (and later as read back from the flash), `plain` the de-scrambled payloads.
struct WorkingMemory {
    std::uint8_t file[kModules * kModuleArea];
    std::uint8_t plain[kModules * kModuleArea];
    std::uint32_t length[kModules];
};

// The working memory of one call, zeroed, on the process heap: 800,000 bytes do not belong on
// the stack of the caller's thread. Empty (false) when the heap has no room.
class WorkingMemoryBlock {
  public:
    WorkingMemoryBlock();
    ~WorkingMemoryBlock();
    WorkingMemoryBlock(const WorkingMemoryBlock&) = delete;
    WorkingMemoryBlock& operator=(const WorkingMemoryBlock&) = delete;

    explicit operator bool() const { return memory_ != nullptr; }
    WorkingMemory& operator*() const { return *memory_; }

  private:
    WorkingMemory* memory_ = nullptr;
};

// Reads the payloads of the four files (paths for modules 0 to 3) into w.file and their lengths
// into w.length. True only when all four loaded completely: a partial set is refused, so that
// an update never erases the flash for modules whose firmware it could not read. Every file that
// was opened is closed before it returns; a close that fails is reported on the standard error
// stream and does not fail the load.
bool load_firmware_files(const char* const (&paths)[kModules], WorkingMemory& w);

} // namespace mfb::firmware
