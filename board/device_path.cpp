#include "board/device_path.h"

#include <cstddef>

namespace mfb {

const GUID kBoardInterfaceClass = {
    0x51BD3798, 0xAAD4, 0x4492, {0x82, 0x3A, 0x92, 0x2F, 0x8B, 0x0A, 0x1F, 0x7C}};

namespace {
constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE; // 0x12
}

bool count_boards(std::uint32_t& count) {
    HDEVINFO set =
        SetupDiGetClassDevsA(&kBoardInterfaceClass, nullptr, nullptr, kPresentInterfaces);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(SP_DEVINFO_DATA); // 28 in a 32-bit process
    DWORD n = 0;
    while (SetupDiEnumDeviceInfo(set, n, &info))
        ++n;
    DWORD error = GetLastError();
    SetupDiDestroyDeviceInfoList(set);
    if (error != ERROR_SUCCESS && error != ERROR_NO_MORE_ITEMS)
        return false;
    count = n;
    return true;
}

DevicePath::~DevicePath() {
    if (detail_)
        HeapFree(GetProcessHeap(), 0, detail_);
    if (set_ != INVALID_HANDLE_VALUE)
        SetupDiDestroyDeviceInfoList(set_);
}

std::int16_t DevicePath::find(std::uint8_t board_index) {
    set_ = SetupDiGetClassDevsA(&kBoardInterfaceClass, nullptr, nullptr, kPresentInterfaces);
    if (set_ == INVALID_HANDLE_VALUE)
        return -3;

    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA); // 28 in a 32-bit process
    if (!SetupDiEnumDeviceInterfaces(set_, nullptr, &kBoardInterfaceClass, board_index, &iface))
        return -4;

    // The first call only reports the size; it "fails" with ERROR_INSUFFICIENT_BUFFER by design.
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailA(set_, &iface, nullptr, 0, &needed, nullptr);
    constexpr DWORD kSizeField = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    if (needed < kSizeField + 1) // no room for the size field and a terminated path
        return -6;
    detail_ =
        static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(HeapAlloc(GetProcessHeap(), 0, needed));
    if (!detail_)
        return -5;
    detail_->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A); // 5 in a 32-bit process
    if (!SetupDiGetDeviceInterfaceDetailA(set_, &iface, detail_, needed, nullptr, nullptr))
        return -6;
    return 0;
}

std::int16_t DevicePath::open(std::uint8_t board_index, HANDLE& h) {
    if (std::int16_t step = find(board_index); step != 0)
        return step;
    h = CreateFileA(path(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? -7 : 0;
}

} // namespace mfb
