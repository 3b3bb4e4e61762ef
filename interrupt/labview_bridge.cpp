// The LabVIEW event bridge: a board's interrupts posted to a LabVIEW user event.
//
// i_MFB_SetLabViewInterrupt stores the event's refnum in the board's slot and installs the
// library's own interrupt routine. For every record that routine lays out the event data as the
// user event's cluster (MFB_LVInterruptData, mfb.h) and hands it to the runtime's PostLVUserEvent
// with the refnum that the slot holds at that moment.
//
// The refnum goes into the slot before the routine is installed: records pending at the install
// reach the routine before the install returns, and belong to the new event, not to the one stored
// before (or to none).
//
// PostLVUserEvent is bound at the first post from the LabVIEW runtime already loaded in the
// process, and kept for the life of the process. Several boards' interrupt threads may bind at the
// same moment: the entry is an atomic, and the first one stored is the one that every thread uses
// from then on. Without a runtime the process cannot receive its events at all: the binding says
// so in a message box and ends the process.
#include "interrupt/labview_bridge.h"

#include "board/board_table.h"
#include "mfb.h"
#include "platform/win32.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace mfb {
namespace {

// The 32-bit builds lay the cluster out packed, as 32-bit LabVIEW does; the 64-bit builds with
// natural alignment, as 64-bit LabVIEW does.
#if defined(MFB_LV_PACKED_CLUSTER)
static_assert(sizeof(void*) == 4);
static_assert(sizeof(MFB_LVInterruptData) == 16 && alignof(MFB_LVInterruptData) == 1);
static_assert(offsetof(MFB_LVInterruptData, h_Values) == 12);
#else
static_assert(sizeof(void*) == 8);
static_assert(sizeof(MFB_LVInterruptData) == 24);
static_assert(offsetof(MFB_LVInterruptData, h_Values) == 16);
#endif
static_assert(offsetof(MFB_LVInterruptData, dw_RecordByte) == 0);
static_assert(offsetof(MFB_LVInterruptData, dw_InterruptWord1) == 4);
static_assert(offsetof(MFB_LVInterruptData, dw_InterruptWord2) == 8);
static_assert(offsetof(MFB_LVValueArray, elt) == 4);

constexpr std::uint32_t kValueSlots = 16;

// PostLVUserEvent(refnum, event data) of the LabVIEW runtime; its result is not used.
using PostLVUserEventFn = std::int32_t(MFB_CDECL*)(std::uint32_t refnum, void* data);

constexpr char kPostName[] = "PostLVUserEvent";
constexpr UINT kFatalFlags = MB_OK | MB_ICONHAND | MB_TASKMODAL;

std::atomic<HMODULE> g_runtime_module{nullptr}; // given by SetLVRTModule
std::atomic<PostLVUserEventFn> g_post{nullptr}; // the bound entry, kept once stored

[[noreturn]] void fatal(const char* text) {
    MessageBoxA(nullptr, text, "Fatal Error", kFatalFlags);
    ExitProcess(1);
}

// An entry that GetProcAddress found, as the function it is (by way of the one function type that
// converts to every other without a warning).
template <class F> F entry_as(FARPROC entry) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(entry));
}

// The LabVIEW runtime loaded in the process, or null. Nothing is loaded here.
HMODULE find_runtime() {
    if (HMODULE given = g_runtime_module.load())
        return given;
    // A LabVIEW program built as an application carries the runtime itself.
    if (HMODULE main = GetModuleHandleA(nullptr);
        main && (GetProcAddress(main, "gLVRTVersion") || GetProcAddress(main, "AZNewHandle")))
        return main;
    if (HMODULE runtime = GetModuleHandleA("lvrt.dll"))
        return runtime;
    return GetModuleHandleA("lvffrt.dll");
}

PostLVUserEventFn bound_post() {
    if (PostLVUserEventFn bound = g_post.load())
        return bound;
    HMODULE runtime = find_runtime();
    if (!runtime)
        fatal("LABVIEW.LIB was not called from a LabVIEW process.");
    auto found = entry_as<PostLVUserEventFn>(GetProcAddress(runtime, kPostName));
    if (!found) {
        char text[300];
        std::snprintf(text, sizeof text, "LABVIEW.LIB could not locate \"%s\".", kPostName);
        fatal(text);
    }
    PostLVUserEventFn first = nullptr;
    return g_post.compare_exchange_strong(first, found) ? found : first;
}

// The library's interrupt routine for LabVIEW, on the board's interrupt thread.
void MFB_CALL post_to_labview(std::uint32_t handle, std::uint32_t record_byte, std::uint32_t word1,
                              std::uint32_t word2, std::uint32_t count, std::uint32_t* values) {
    const BoardSlot* slot = find_slot(handle);
    if (!slot)
        return;
    MFB_LVValueArray block{};
    const std::uint32_t copied = std::min(count, kValueSlots);
    block.dimSize = static_cast<std::int32_t>(copied);
    std::copy_n(values, copied, block.elt);
    MFB_LVValueArray* block_pointer = &block;
    MFB_LVInterruptData data{record_byte, word1, word2, &block_pointer};
    bound_post()(slot->labview_event.load(), &data);
}

} // namespace

void clear_labview_binding() {
    g_runtime_module.store(nullptr);
    g_post.store(nullptr);
}

} // namespace mfb

using namespace mfb;

extern "C" {

int16_t MFB_CALL i_MFB_SetLabViewInterrupt(MFB_BoardHandle dw_BoardHandle,
                                           const uint32_t* pdw_UserEventRefnum) {
    BoardSlot* slot = find_slot(dw_BoardHandle);
    if (!slot)
        return -1;
    slot->labview_event.store(*pdw_UserEventRefnum);
    return i_MFB_SetBoardIntRoutine(dw_BoardHandle, post_to_labview);
}

int16_t MFB_CALL i_MFB_ResetLabViewInterrupt(MFB_BoardHandle dw_BoardHandle) {
    if (!find_slot(dw_BoardHandle))
        return -1;
    return i_MFB_ResetBoardIntRoutine(dw_BoardHandle);
}

void MFB_CDECL SetLVRTModule(void* h_Module) {
    g_runtime_module.store(static_cast<HMODULE>(h_Module));
}

} // extern "C"
