#include "board/driver_channel.h"

namespace mfb {

BOOL io_control(std::uint32_t handle, std::uint32_t code, void* in, std::uint32_t in_size,
                void* out, std::uint32_t out_size, std::uint32_t* returned) {
    DWORD n = 0;
    const BOOL ok =
        DeviceIoControl(platform::to_handle(handle), code, in, in_size, out, out_size, &n, nullptr);
    if (returned)
        *returned = n;
    return ok;
}

} // namespace mfb
