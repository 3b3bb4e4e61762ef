// Finding a board's device interface through SetupAPI: the device set of the board class, the
// interface at a board index and its device path. Used by the open and by the information read.
#pragma once

#include "platform/win32.h"

#include <cstdint>

namespace mfb {

// The device-interface class of the board: {51BD3798-AAD4-4492-823A-922F8B0A1F7C}.
extern const GUID kBoardInterfaceClass;

// Counts the present devices of the board class. False when the device list cannot be had or
// the enumeration ends on an error other than "no more items".
bool count_boards(std::uint32_t& count);

// Owns the device set and the detail buffer of one lookup and releases them, buffer first, when
// it goes out of scope, so every path of its user releases what it held.
class DevicePath {
  public:
    DevicePath() = default;
    DevicePath(const DevicePath&) = delete;
    DevicePath& operator=(const DevicePath&) = delete;
    ~DevicePath();

    // 0, or the step that failed: -3 device set, -4 interface, -5 memory, -6 detail record.
    std::int16_t find(std::uint8_t board_index);
    const char* path() const { return detail_->DevicePath; }
    // find(), then CreateFileA on the path with the access the driver expects: 0, the code of
    // find(), or -7 when the device does not open (h is then INVALID_HANDLE_VALUE).
    std::int16_t open(std::uint8_t board_index, HANDLE& h);

  private:
    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail_ = nullptr;
};

} // namespace mfb
