// The one door from the library to the operating system.
//
// On Windows (and in the mingw-w64 cross-build) this is the SDK: kernel32, user32 and SetupAPI.
// On Linux it is our own substitute for exactly the subset of those APIs that the library calls,
// backed by the virtual device bus of include/mfb_vbus.h. Library code includes nothing else from
// the platform, so both builds compile the same source.
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <setupapi.h>
#else
#include "linux/win32_substitute.h"
#endif

#include <cstdint>
#include <cstdio>

namespace mfb::platform {

// Board handles travel through the public API as 32-bit values, as they are in a 32-bit Windows
// process. These two conversions are the only place where a HANDLE and that value meet. In a
// 64-bit process Windows keeps kernel handle values within 32 bits: a handle is truncated to its
// value and the value sign-extended back to the handle, as Windows converts handles between 32-
// and 64-bit processes (so 0xFFFFFFFF is INVALID_HANDLE_VALUE again).
inline std::uint32_t handle_value(HANDLE h) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h));
}
inline HANDLE to_handle(std::uint32_t value) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}

// Closing a file the library opened with the C runtime. On Windows it is fclose itself; on Linux
// the substitute's, which closes the stream too but can be made to report a failed close by fault
// injection on the bus (vbus::Fn::fclose), so the library's report of such a close can be tested.
// Nonzero (EOF) means the close failed; either way the stream is gone afterwards.
#if defined(_WIN32)
inline int close_file(std::FILE* f) {
    return std::fclose(f);
}
#else
int close_file(std::FILE* f);
#endif

} // namespace mfb::platform
