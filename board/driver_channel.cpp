#include "board/driver_channel.h"

namespace mfb {

BOOL io_control(std::uint32_t handle, std::uint32_t code, void* in, std::uint32_t in_size,
                void* out, std::uint32_t out_size) {
    DWORD returned = 0; // no result depends on it
    return DeviceIoControl(platform::to_handle(handle), code, in, in_size, out, out_size, &returned,
                           nullptr);
}

} // namespace mfb
