// lvrt_standin.dll: see lvrt_standin.h.
#include "lvrt_standin.h"

#include "sim/labview_runtime.h"

#include <algorithm>
#include <cstddef>

// The simulation decodes and records the event, under this DLL's name.
extern "C" __declspec(dllexport) std::int32_t
    __cdecl PostLVUserEvent(std::uint32_t refnum, void* data) {
    return mfb::sim::labview::post(wintest::lvrt::kDll, refnum, data);
}

extern "C" __declspec(dllexport) std::uint32_t
    __cdecl PostedEvents(wintest::lvrt::PostedEvent* out, std::uint32_t room) {
    const auto events = mfb::sim::labview::events();
    for (std::size_t i = 0; i < events.size() && i < room; ++i) {
        const mfb::sim::labview::Event& e = events[i];
        wintest::lvrt::PostedEvent& p = out[i];
        p = {e.refnum, e.record_byte, e.word1, e.word2, e.count, {}};
        std::copy_n(e.values.begin(),
                    std::min<std::size_t>(e.values.size(), wintest::lvrt::kValueSlots), p.values);
    }
    return static_cast<std::uint32_t>(events.size());
}
