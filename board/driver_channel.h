// The driver control channel: one synchronous DeviceIoControl exchange with the board driver.
//
// Every hardware operation of the library is one call of io_control. With a request and an
// answer the same frame is both: the driver writes its answer over the request.
#pragma once

#include "board/frame.h"
#include "platform/win32.h"

#include <cstdint>

namespace mfb {

// The ControlCodes that more than one part of the library sends.
namespace code {
constexpr std::uint32_t kBoardInformation = 0x90002098;
constexpr std::uint32_t kHandleNotice = 0x9001C014;
constexpr std::uint32_t kInterruptEvent = 0x90002004;
constexpr std::uint32_t kInterruptRecord = 0x90002008;
} // namespace code

// DeviceIoControl on a board handle value; returns its BOOL as it came (Windows gives 1 for
// success, 0 for failure). A null buffer goes with size 0. `returned`, when given, receives the
// number of answer bytes that DeviceIoControl reported.
BOOL io_control(std::uint32_t handle, std::uint32_t code, void* in, std::uint32_t in_size,
                void* out, std::uint32_t out_size, std::uint32_t* returned = nullptr);

// Which buffers an exchange of a frame passes.
enum class Io {
    RequestOnly, // the frame as input, no answer
    Same,        // the frame as input and as output, of equal size
    AnswerOnly,  // no input, the frame as output
};

template <std::size_t N>
BOOL io_control(std::uint32_t handle, std::uint32_t code, Frame<N>& f, Io io,
                std::uint32_t* returned = nullptr) {
    void* in = io == Io::AnswerOnly ? nullptr : f.bytes;
    void* out = io == Io::RequestOnly ? nullptr : f.bytes;
    return io_control(handle, code, in, in ? N : 0, out, out ? N : 0, returned);
}

} // namespace mfb
