// Board discovery, open and close: counting the boards of the device-interface class, opening a
// board by index or by identifier (opens are counted per slot; the first one tells the driver its
// handle) and closing it again (the last close uninstalls the board's interrupt routine first, and
// leaves the device handle to an interrupt thread that still runs).
#include "board/board_table.h"
#include "board/device_path.h"
#include "board/driver_channel.h"
#include "interrupt/board_interrupt.h"
#include "mfb.h"

#include <cstring>
#include <limits>
#include <new>

namespace mfb {
namespace {

constexpr std::size_t kIdentifierBuffer = 50; // 49 characters and the terminating zero

// Enumerates and stores the count (its low 8 bits, as the table keeps it). A failed enumeration
// leaves no boards counted.
bool enumerate(std::uint8_t& count) {
    std::uint32_t n = 0;
    if (!count_boards(n)) {
        boards().count.store(0);
        return false;
    }
    count = static_cast<std::uint8_t>(n);
    boards().count.store(count);
    return true;
}

} // namespace

DeviceHandle* share_device(BoardSlot& slot) {
    if (DeviceHandle* shared = slot.device.load()) {
        shared->references.fetch_add(1);
        return shared;
    }
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(DeviceHandle));
    if (!memory)
        return nullptr;
    auto* shared = new (memory) DeviceHandle{slot.handle.load(), {2}};
    slot.device.store(shared);
    return shared;
}

bool release_device(DeviceHandle* device) {
    if (device->references.fetch_sub(1) != 1)
        return true;
    const BOOL closed = CloseHandle(platform::to_handle(device->value));
    device->~DeviceHandle();
    HeapFree(GetProcessHeap(), 0, device);
    return closed != FALSE;
}

} // namespace mfb

using namespace mfb;

extern "C" {

int16_t MFB_CALL i_MFB_GetNumberOfBoards(uint8_t* pb_NumberOfBoards) {
    std::uint8_t count = 0;
    if (!enumerate(count))
        return -1;
    *pb_NumberOfBoards = count;
    return 0;
}

int16_t MFB_CALL i_MFB_OpenBoardViaIndex(uint8_t b_BoardIndex, MFB_BoardHandle* pdw_BoardHandle) {
    std::uint8_t count = 0;
    if (!enumerate(count))
        return -1;
    // The table has 30 slots, however many boards the bus reports.
    if (b_BoardIndex >= count || b_BoardIndex >= kSlotCount)
        return -2;
    BoardSlot& slot = boards().slots[b_BoardIndex];

    if (slot.open_count != 0) {
        std::uint32_t stored = slot.handle.load();
        if (stored == 0) {
            *pdw_BoardHandle = 0;
            return -9;
        }
        // A 16-bit count must not wrap to 0 and free the slot under 65,535 users.
        if (slot.open_count == std::numeric_limits<std::uint16_t>::max())
            return -10;
        *pdw_BoardHandle = stored;
        ++slot.open_count;
        return 0;
    }

    DevicePath device;
    HANDLE h = INVALID_HANDLE_VALUE;
    const std::int16_t step = device.open(b_BoardIndex, h);
    if (step == 0 || step == -7) // the device open's result goes out at once, failed or not
        *pdw_BoardHandle = platform::handle_value(h);
    if (step != 0)
        return step;
    std::uint32_t handle = platform::handle_value(h);
    slot.handle.store(handle);

    // Tell the driver the handle value it will be addressed by; the answer does not matter.
    Buffer<protocol::board::kHandleNotice> notice;
    notice.u32<0>(handle);
    io_control(handle, notice);

    ++slot.open_count;
    return 0;
}

int16_t MFB_CALL i_MFB_OpenBoardViaIdentifier(const char* pc_Identifier,
                                              MFB_BoardHandle* pdw_BoardHandle) {
    std::uint8_t count = 0;
    if (!enumerate(count))
        return -1;
    for (std::uint8_t i = 0; i < count && i < kSlotCount; ++i) {
        char identifier[kIdentifierBuffer] = {};
        std::uint32_t words[5];
        std::uint8_t byte;
        std::int16_t read =
            i_MFB_GetBoardInformation(i, identifier, sizeof identifier, &words[0], &words[2],
                                      &words[1], &words[3], &words[4], &byte);
        if (read == -9)
            continue; // an identifier too long to compare can match no text; look further
        if (read != 0)
            return -2;
        if (std::strcmp(identifier, pc_Identifier) == 0)
            return i_MFB_OpenBoardViaIndex(i, pdw_BoardHandle) == 0 ? 0 : -3;
    }
    return -4;
}

int16_t MFB_CALL i_MFB_CloseBoard(MFB_BoardHandle dw_BoardHandle) {
    // An open board must stay closable whatever a later enumeration counted.
    BoardSlot* slot = find_open_slot(dw_BoardHandle);
    if (!slot)
        return -2;
    if (slot->open_count > 1) {
        --slot->open_count;
        return 0;
    }
    // The last close. The routine goes first. Windows hands a closed handle's value to the next
    // object opened, so an interrupt thread that runs on (the uninstall did not wait for it, or
    // gave up waiting) keeps the handle open until it ends, and closes it then: neither its reads
    // nor its routine's calls with the value reach another device. The slot is free at once.
    uninstall_routine(*slot);
    slot->open_count = 0;
    DeviceHandle* shared = slot->device.exchange(nullptr);
    slot->handle.store(0);
    const bool closed =
        shared ? release_device(shared) : CloseHandle(platform::to_handle(dw_BoardHandle)) != FALSE;
    return closed ? 0 : -1;
}

} // extern "C"
