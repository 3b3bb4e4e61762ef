// The driver control channel: one synchronous DeviceIoControl exchange with the board driver.
//
// Every hardware operation of the library is one call of io_control, with a request of
// protocol/requests.h: its buffer (Buffer<R>) goes in, comes back, or both, as the request says.
// With a request and an answer the same buffer is both: the driver writes its answer over the
// request.
#pragma once

#include "platform/win32.h"
#include "protocol/frame.h"
#include "protocol/requests.h"

#include <cstdint>

namespace mfb {

using protocol::Buffer;
using protocol::Io;

// DeviceIoControl on a board handle value; returns its BOOL as it came (Windows gives 1 for
// success, 0 for failure). A null buffer goes with size 0. `returned`, when given, receives the
// number of answer bytes that DeviceIoControl reported.
BOOL io_control(std::uint32_t handle, std::uint32_t code, void* in, std::uint32_t in_size,
                void* out, std::uint32_t out_size, std::uint32_t* returned = nullptr);

// One request of protocol/requests.h with its buffer, passed as input, output or both.
template <protocol::Request R>
BOOL io_control(std::uint32_t handle, Buffer<R>& f, std::uint32_t* returned = nullptr) {
    void* in = R.sends() ? f.bytes : nullptr;
    void* out = R.answers() ? f.bytes : nullptr;
    return io_control(handle, R.code, in, in ? R.size : 0, out, out ? R.size : 0, returned);
}

// One request that passes no buffer: the ControlCode alone.
template <protocol::Request R> BOOL io_control(std::uint32_t handle) {
    static_assert(R.io == Io::None, "the request has a buffer");
    return io_control(handle, R.code, nullptr, 0, nullptr, 0);
}

} // namespace mfb
