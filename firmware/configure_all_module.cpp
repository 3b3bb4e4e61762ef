// Replacing the firmware of all four function modules: the payloads of four firmware files go
// into the board's flash memory, one byte per exchange, are read back and compared, and the board
// reloads its FLEX logic from the flash.
//
// The flash address counts the payload bytes of modules 0, 1, 2 and 3 in this order, so each
// module's payload follows the previous one directly; programming, read-back and the reported
// error position all use it. Nothing reaches the board unless all four files loaded: the erase
// is the point of no return. After it, a failure leaves the flash partly written and the caller
// starts again from the erase.
//
// Each stage is announced on the standard output, flushed at once, so that someone watching a
// long update sees where it is. The texts stay exactly as they are, spelling included: programs
// that watch an update read them.
#include "board/board_table.h"
#include "board/driver_channel.h"
#include "firmware/firmware_files.h"
#include "mfb.h"
#include "platform/win32.h"

#include <cstdio>
#include <cstring>

namespace mfb::firmware {
namespace {

namespace flash = protocol::flash;

// A byte that does not program at once is tried again straight away, five times in all.
constexpr int kWriteAttempts = 5;
constexpr DWORD kAfterReloadMs = 100;
constexpr DWORD kAfterCheckMs = 200;

void progress(const char* line) {
    std::fputs(line, stdout);
    std::fflush(stdout);
}

bool write_byte(std::uint32_t handle, std::uint32_t address, std::uint8_t value) {
    Buffer<flash::kWriteByte> f;
    f.u32<0>(address).u8<4>(value);
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt)
        if (io_control(handle, f))
            return true;
    return false;
}

bool read_byte(std::uint32_t handle, std::uint32_t address, std::uint8_t& value) {
    Buffer<flash::kReadByte> f;
    f.u32<0>(address);
    if (!io_control(handle, f))
        return false;
    value = f.get_u8<4>();
    return true;
}

// Runs `step(address, offset)` for every payload byte in flash order, offset being the byte's
// place in the buffers; stops at the first step that fails and gives its address.
template <class Step> bool each_byte(const WorkingMemory& w, std::uint32_t& address, Step step) {
    address = 0;
    for (std::size_t m = 0; m < kModules; ++m) {
        for (std::uint32_t i = 0; i < w.length[m]; ++i, ++address)
            if (!step(address, m * kModuleArea + i))
                return false;
    }
    return true;
}

std::int16_t configure(std::uint32_t handle, const char* const (&paths)[kModules],
                       std::uint32_t* error_position) {
    progress("\n i_MFB_ConfigureAllModule -> start");
    if (!find_slot(handle))
        return -1;
    progress("\n i_MFB_ConfigureAllModule -> handle ok");

    WorkingMemoryBlock block;
    if (!block || !load_firmware_files(paths, *block))
        return -2;
    WorkingMemory& w = *block;
    progress("\n i_MFB_ConfigureAllModule -> file loaded");

    for (std::size_t m = 0; m < kModules; ++m)
        for (std::size_t i = m * kModuleArea; i < m * kModuleArea + w.length[m]; ++i)
            w.plain[i] = static_cast<std::uint8_t>(w.file[i] ^ kScrambleKey);
    progress("\n i_MFB_ConfigureAllModule -> file decripted");

    if (!io_control<flash::kErase>(handle))
        return -4;
    progress("\n i_MFB_ConfigureAllModule -> flash erased");

    std::uint32_t address = 0;
    if (!each_byte(w, address, [&](std::uint32_t a, std::size_t i) {
            return write_byte(handle, a, w.plain[i]);
        })) {
        *error_position = address;
        return -5;
    }
    progress("\n i_MFB_ConfigureAllModule -> flash programmed");

    std::memset(w.file, 0, sizeof w.file);
    if (!each_byte(w, address,
                   [&](std::uint32_t a, std::size_t i) { return read_byte(handle, a, w.file[i]); }))
        return -6;
    progress("\n i_MFB_ConfigureAllModule -> flash read");

    *error_position = 0;
    if (!each_byte(w, address,
                   [&](std::uint32_t, std::size_t i) { return w.file[i] == w.plain[i]; })) {
        *error_position = address;
        return -7;
    }
    progress("\n i_MFB_ConfigureAllModule -> read value ok");

    if (!io_control<flash::kReload>(handle))
        return -8;
    Sleep(kAfterReloadMs);
    progress("\n i_MFB_ConfigureAllModule -> flex reloaded");

    if (!io_control<flash::kCheckReload>(handle))
        return -9;
    Sleep(kAfterCheckMs);
    progress("\n i_MFB_ConfigureAllModule -> flex reload ok");

    if (!io_control<flash::kClose>(handle))
        return -10;
    return 0;
}

} // namespace
} // namespace mfb::firmware

extern "C" int16_t MFB_CALL i_MFB_ConfigureAllModule(
    MFB_BoardHandle dw_BoardHandle, const char* pc_FileModule0, const char* pc_FileModule1,
    const char* pc_FileModule2, const char* pc_FileModule3, uint32_t* pdw_ErrorPosition) {
    const char* const paths[] = {pc_FileModule0, pc_FileModule1, pc_FileModule2, pc_FileModule3};
    return mfb::firmware::configure(dw_BoardHandle, paths, pdw_ErrorPosition);
}
