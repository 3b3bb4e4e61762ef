// The four module firmware files of an update (their layout: protocol/firmware_file.h) and the
// working memory of one firmware update.
//
// The loader here is the one reader of firmware files: the update reads its four files with it,
// and the tools that show what a file holds (mfbctl firmware inspect, through the simulated
// board's inspect_firmware_file) ask it what it makes of a file.
#pragma once

#include "protocol/firmware_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace mfb::firmware {

constexpr std::size_t kModules = 4;
constexpr std::uint32_t kModuleArea = protocol::firmware_file::kPayloadLimit;
constexpr std::uint8_t kScrambleKey = protocol::firmware_file::kScrambleKey;

// What the loader makes of one module's file: the fields of its header, where the payload lies,
// and whether it takes the file.
enum class FileVerdict : std::uint8_t {
    Accepted,
    Unreadable,      // its size, header or payload could not be read
    NoHeader,        // shorter than the header
    SectionsPastEnd, // the sections end past the end of the file
    PayloadTooLong,  // more payload than a module's flash area holds
    PayloadPastEnd,  // the payload runs past the end of the file
};
struct FileLayout {
    std::uint64_t size = 0;
    bool has_header = false; // the fields below are 0 without one
    std::uint32_t section_length[3] = {};
    std::uint32_t payload_length = 0;
    std::uint64_t payload_offset = 0;    // the header and the sections, added without wrapping
    std::uint64_t payload_available = 0; // bytes from the payload offset to the end of the file
    FileVerdict verdict = FileVerdict::Unreadable;
};

// The layout of a file of `size` bytes from its first bytes, which hold the whole header when the
// file is long enough to have one. Every length is checked against the file before it is used,
// so a header that lies cannot move a read outside the file or past a module's area.
FileLayout file_layout(const std::uint8_t* header, std::uint64_t size);

// Reads one module's file from its start: its layout and, when it is accepted, its payload as
// stored (scrambled) into `area`, which holds kModuleArea bytes.
FileLayout read_module_file(std::FILE* f, std::uint8_t* area);

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
