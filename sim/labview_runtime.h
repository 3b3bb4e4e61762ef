// A stand-in for the LabVIEW runtime on the virtual bus: a module that exports PostLVUserEvent and
// records every user event posted to it, as the LabVIEW program registered for the event would
// receive it. A test or a tool registers it where the library looks for the runtime: under
// "lvrt.dll" or "lvffrt.dll", as the main executable of a LabVIEW application, or under a name of
// its own to hand to SetLVRTModule. Only install() uses the bus; a program that finds modules by
// other means can export entry() itself.
//
// What the stand-in decides where the runtime's behaviour is not the library's:
// - PostLVUserEvent(refnum, data) is cdecl and returns 0 (no error) for every call; the refnum is
//   recorded as given, without a check that some program registered it.
// - The data is read, during the call, as the interrupt cluster of a LabVIEW of this process's
//   width: record byte, word 1, word 2 (U32 each) and the handle of a 1D array of U32, at offset
//   12 in a 32-bit process (packed) and at offset 16 in a 64-bit one (natural alignment). The
//   handle points to a pointer to the array block: an I32 element count, then the elements, of
//   which the count are read. A null handle or block is an empty array, as in LabVIEW.
// - Each registered name gets an entry of its own, so that an event tells which module the
//   library called; at most kMaxModules names at once.
#pragma once

#include "mfb_vbus.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace mfb::sim::labview {

// Where the library looks for the runtime, in its order after a module set by SetLVRTModule.
inline constexpr const char* kMainExecutable = "";
inline constexpr const char* kLvrt = "lvrt.dll";
inline constexpr const char* kLvffrt = "lvffrt.dll";
// The exports that mark a main executable as a LabVIEW application (either will do).
inline constexpr const char* kVersionMark = "gLVRTVersion";
inline constexpr const char* kHandleMark = "AZNewHandle";

inline constexpr std::size_t kMaxModules = 4;

// One event as the LabVIEW program receives it.
struct Event {
    std::string module; // the name under which the called entry was registered
    std::uint32_t refnum = 0;
    std::uint32_t record_byte = 0; // the cluster's four fields
    std::uint32_t word1 = 0;
    std::uint32_t word2 = 0;
    std::int32_t count = 0; // the array's element count
    std::vector<std::uint32_t> values;
};

// The stand-in's PostLVUserEvent for a module name: the address to export under that name, the
// same for every request of one name until reset.
void* entry(const std::string& module);
// The same entry called directly, for a module that exports a PostLVUserEvent of its own (a DLL or
// a program standing in for the runtime): records the event under the module's name; returns 0.
std::int32_t post(const std::string& module, std::uint32_t refnum, void* data);
// An address to export under a mark.
void* mark();

// Registers the stand-in on the bus as the module `name` ("" the main executable), exporting
// PostLVUserEvent and, besides, each name of `also` (such as kVersionMark, which makes the main
// executable a LabVIEW application). Registering a name again replaces its exports. Returns the
// module handle, as GetModuleHandleA gives it and SetLVRTModule takes it. The bus forgets its
// modules at reset_process; register again afterwards.
inline void* install(const std::string& name, const std::vector<std::string>& also = {}) {
    std::map<std::string, void*> exports{{"PostLVUserEvent", entry(name)}};
    for (const std::string& name_also : also)
        exports[name_also] = mark();
    return vbus::add_module(name, std::move(exports));
}

// The events posted since the last reset, in the order of their posts.
std::vector<Event> events();
// Waits until at least n events have been posted in all; false when the time ran out first.
bool wait_events(std::size_t n, std::chrono::milliseconds timeout);
// Called with each event as it is posted, on the poster's thread (the library's interrupt thread),
// after it was recorded. Null: none.
void on_event(std::function<void(const Event&)> listener);
// Forgets the events, the listener and the registered names.
void reset();

// One line for an event, its fields as the LabVIEW program sees them:
// "refnum 0x00001234  record byte 0x81  word 1 0x00000001  word 2 0xfffffffe  values[3] 7 8 9"
std::string describe(const Event& event);

} // namespace mfb::sim::labview
