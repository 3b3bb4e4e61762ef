// The LabVIEW runtime as the Windows test program stands it in: a DLL of its own, lvrt_standin.dll,
// which exports PostLVUserEvent as the runtime does, keeps every user event posted to it, and
// exports PostedEvents, through which the test program reads them.
//
// PostLVUserEvent is the board simulation's stand-in (sim/labview_runtime.h): cdecl, it returns 0
// for every call and reads the event data, during the call, as the interrupt cluster of a LabVIEW
// of this process's width. Its name is none that the library looks for by itself, so the library
// finds it only when it is given to SetLVRTModule.
#pragma once

#include <cstdint>

namespace wintest::lvrt {

inline constexpr char kDll[] = "lvrt_standin.dll";
inline constexpr char kPostedEvents[] = "PostedEvents";
inline constexpr std::uint32_t kValueSlots = 16;

// One event as the LabVIEW program receives it.
struct PostedEvent {
    std::uint32_t refnum;
    std::uint32_t record_byte, word1, word2; // the cluster's first three fields
    std::int32_t count;                      // the array's element count
    std::uint32_t values[kValueSlots]; // its first elements, as many as the count (at most 16)
};

// PostedEvents(out, room): copies the first `room` events posted, oldest first, to `out`; returns
// how many were posted in all.
using PostedEventsFn = std::uint32_t(__cdecl*)(PostedEvent* out, std::uint32_t room);

} // namespace wintest::lvrt
