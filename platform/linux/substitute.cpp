// The Linux substitute for the Win32 subset of win32_substitute.h, and the virtual device bus of
// include/mfb_vbus.h behind it.
//
// All bookkeeping (handles, boards, faults, sync objects) sits under one mutex; a driver's
// exchange runs outside it, so a driver may signal events from inside an exchange. Waits use one
// condition variable for every sync object, which keeps WaitForMultipleObjects simple and exact.
//
// Handle values are handed out again once closed, the most recently freed first, as Windows
// does: a handle used after its close reaches whatever object got its value next. Device sets are
// not kernel handles on Windows (they are heap records) and are numbered apart, so that their
// creation and destruction around every open does not take the values that devices, events and
// threads would get.
#include "win32_substitute.h"

#include "platform/win32.h"

#include "mfb_vbus.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <variant>

namespace mfb::vbus {
namespace {

// {51BD3798-AAD4-4492-823A-922F8B0A1F7C}, the board's device-interface class.
constexpr GUID kBoardClass = {
    0x51BD3798, 0xAAD4, 0x4492, {0x82, 0x3A, 0x92, 0x2F, 0x8B, 0x0A, 0x1F, 0x7C}};

bool same_guid(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, 8) == 0;
}

struct DevInfoSet {
    std::vector<std::shared_ptr<Driver>> boards; // a snapshot, as a Windows device set is
    std::vector<std::string> paths;
};
struct BoardFile {
    std::weak_ptr<Driver> driver;
};
// An event object: the handles that name it, and the references that drivers hold, share it.
struct EventState {
    bool manual_reset = true;
    bool signalled = false;
};
struct Event {
    std::shared_ptr<EventState> state;
};
struct ThreadState {
    DWORD id = 0;
    bool ended = false;
    std::optional<int> priority;
};
struct ThreadObj {
    std::shared_ptr<ThreadState> state;
};
using Object = std::variant<DevInfoSet, BoardFile, Event, ThreadObj>;

struct Module {
    std::map<std::string, void*> exports;
};

struct Bus {
    std::mutex mutex;
    std::condition_variable changed; // any event set, thread ended, or reset
    std::uint64_t generation = 0;    // bumped by reset: pending waits fail

    std::vector<std::shared_ptr<Driver>> boards;
    std::unordered_map<std::uint32_t, Object> handles;
    std::uint32_t next_handle = 0x100;
    std::vector<std::uint32_t> freed; // closed handle values, the most recent last
    std::uint32_t next_device_set = 0x40000000;

    std::unordered_set<void*> heap;
    std::array<unsigned, static_cast<std::size_t>(Fn::Count)> calls{};
    std::array<std::vector<std::pair<unsigned, std::uint32_t>>, static_cast<std::size_t>(Fn::Count)>
        faults{}; // (call number that fails, error)
    std::array<std::vector<std::pair<unsigned, std::function<void()>>>,
               static_cast<std::size_t>(Fn::Count)>
        hooks{}; // (call number, what runs as it starts)

    // The threads that CreateThread started and that are not joined yet.
    std::vector<std::pair<std::shared_ptr<ThreadState>, std::thread>> threads;
    DWORD next_thread_id = 1000;

    std::uint32_t priority_class = 0;
    std::optional<int> last_thread_priority;
    std::size_t module_pins = 0;
    std::optional<CreateFileCall> last_create_file;
    std::vector<MessageBoxCall> message_boxes;
    std::function<void(unsigned)> exit_hook;
    std::map<std::string, Module> modules;

    bool virtual_clock = false;
    std::uint64_t virtual_ns = 0;
    std::uint64_t slept_ms = 0;
    std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();
};

Bus& bus() {
    static Bus* b = new Bus; // never destroyed: threads may outlive static destruction
    return *b;
}

thread_local DWORD t_last_error = 0;
thread_local DWORD t_thread_id = 0;
thread_local bool t_bus_thread = false; // a thread that CreateThread started

// Thrown by FreeLibraryAndExitThread and caught only by the wrapper of a CreateThread thread: the
// thread's own frames unwind and it ends there, without returning to its caller.
struct ThreadExit {};

// The module handle of the library's own image: every address of the program lies in it.
char g_image;
HMODULE library_module() {
    return &g_image;
}

void set_error(DWORD e) {
    t_last_error = e;
}

std::uint32_t value_of(HANDLE h) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h));
}
HANDLE handle_of(std::uint32_t v) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(v));
}

// Counts the call, runs a hook set for it (with the mutex let go meanwhile), and tells whether an
// injected fault makes it fail. Caller holds the mutex, and calls this before it looks at anything.
bool faulted_locked(Bus& b, Fn fn) {
    auto i = static_cast<std::size_t>(fn);
    unsigned n = ++b.calls[i];
    auto& hooks = b.hooks[i];
    if (auto hook = std::find_if(hooks.begin(), hooks.end(), [n](auto& h) { return h.first == n; });
        hook != hooks.end()) {
        std::function<void()> run = std::move(hook->second);
        hooks.erase(hook);
        b.mutex.unlock();
        run();
        b.mutex.lock();
    }
    auto& list = b.faults[i];
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->first == n) {
            set_error(it->second);
            list.erase(it);
            return true;
        }
    }
    return false;
}

HANDLE new_handle_locked(Bus& b, Object obj) {
    std::uint32_t v = 0;
    if (std::holds_alternative<DevInfoSet>(obj)) {
        v = b.next_device_set;
        b.next_device_set += 4;
    } else if (!b.freed.empty()) {
        v = b.freed.back();
        b.freed.pop_back();
    } else {
        v = b.next_handle;
        b.next_handle += 4;
    }
    b.handles.emplace(v, std::move(obj));
    return handle_of(v);
}

void close_locked(Bus& b, std::unordered_map<std::uint32_t, Object>::iterator it) {
    if (!std::holds_alternative<DevInfoSet>(it->second))
        b.freed.push_back(it->first);
    b.handles.erase(it);
}

// Drops one reference of the library's module. Caller holds the mutex.
bool unpin_locked(Bus& b, HMODULE module) {
    if (module != library_module() || b.module_pins == 0) {
        set_error(ERROR_INVALID_HANDLE);
        return false;
    }
    --b.module_pins;
    return true;
}

template <class T> T* find_locked(Bus& b, HANDLE h) {
    auto it = b.handles.find(value_of(h));
    if (it == b.handles.end())
        return nullptr;
    return std::get_if<T>(&it->second);
}

std::string default_path(std::size_t index) {
    char buf[96];
    std::snprintf(buf, sizeof buf,
                  "\\\\?\\vbus#mfb_board#%zu#{51bd3798-aad4-4492-823a-922f8b0a1f7c}", index);
    return buf;
}

std::string path_locked(Bus& b, std::size_t index) {
    std::string p = b.boards[index]->device_path();
    return p.empty() ? default_path(index) : p;
}

// Whether a sync object counts as signalled for a wait. Caller holds the mutex.
bool signalled_locked(Bus& b, std::uint32_t v) {
    auto it = b.handles.find(v);
    if (it == b.handles.end())
        return false;
    if (auto* e = std::get_if<Event>(&it->second))
        return e->state->signalled;
    if (auto* t = std::get_if<ThreadObj>(&it->second))
        return t->state->ended;
    return false;
}
bool waitable_locked(Bus& b, std::uint32_t v) {
    auto it = b.handles.find(v);
    return it != b.handles.end() && (std::holds_alternative<Event>(it->second) ||
                                     std::holds_alternative<ThreadObj>(it->second));
}

} // namespace

// ---- bus API
// --------------------------------------------------------------------------------------

std::size_t attach(std::shared_ptr<Driver> driver) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    b.boards.push_back(std::move(driver));
    return b.boards.size() - 1;
}

void detach(std::size_t index) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (index < b.boards.size())
        b.boards.erase(b.boards.begin() + static_cast<std::ptrdiff_t>(index));
}

void detach_all() {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    b.boards.clear();
}

std::size_t board_count() {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    return b.boards.size();
}

std::shared_ptr<Driver> board(std::size_t index) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    return index < b.boards.size() ? b.boards[index] : nullptr;
}

std::string device_path(std::size_t index) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    return index < b.boards.size() ? path_locked(b, index) : std::string{};
}

bool signal_event(std::uint32_t event_handle) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    auto* e = find_locked<Event>(b, handle_of(event_handle));
    if (!e)
        return false;
    e->state->signalled = true;
    b.changed.notify_all();
    return true;
}

EventReference reference_event(std::uint32_t event_handle) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    auto* e = find_locked<Event>(b, handle_of(event_handle));
    return e ? EventReference(e->state) : EventReference();
}

bool EventReference::signal() const {
    if (!object_)
        return false;
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    static_cast<EventState*>(object_.get())->signalled = true;
    b.changed.notify_all();
    return true;
}

void reset_process() {
    auto& b = bus();
    std::vector<std::pair<std::shared_ptr<ThreadState>, std::thread>> threads;
    {
        std::lock_guard lock(b.mutex);
        ++b.generation; // every pending and future wait of the old handles fails
        b.handles.clear();
        b.freed.clear();
        threads.swap(b.threads);
        b.changed.notify_all();
    }
    for (auto& [state, t] : threads)
        if (t.joinable())
            t.join();
    {
        std::lock_guard lock(b.mutex);
        for (void* p : b.heap)
            std::free(p);
        b.heap.clear();
        b.handles.clear();
        b.freed.clear();
        b.boards.clear();
        b.calls.fill(0);
        for (auto& f : b.faults)
            f.clear();
        for (auto& h : b.hooks)
            h.clear();
        b.priority_class = 0;
        b.last_thread_priority.reset();
        b.module_pins = 0;
        b.last_create_file.reset();
        b.message_boxes.clear();
        b.exit_hook = nullptr;
        b.modules.clear();
        b.virtual_clock = false;
        b.virtual_ns = 0;
        b.slept_ms = 0;
        b.epoch = std::chrono::steady_clock::now();
    }
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
}

const char* name(Fn fn) {
    static constexpr const char* names[] = {"SetupDiGetClassDevsA",
                                            "SetupDiEnumDeviceInfo",
                                            "SetupDiEnumDeviceInterfaces",
                                            "SetupDiGetDeviceInterfaceDetailA",
                                            "SetupDiDestroyDeviceInfoList",
                                            "CreateFileA",
                                            "DeviceIoControl",
                                            "CloseHandle",
                                            "CreateEventA",
                                            "SetEvent",
                                            "ResetEvent",
                                            "WaitForMultipleObjects",
                                            "WaitForSingleObject",
                                            "CreateThread",
                                            "SetPriorityClass",
                                            "SetThreadPriority",
                                            "HeapAlloc",
                                            "HeapFree",
                                            "GetModuleHandleA",
                                            "GetProcAddress",
                                            "MessageBoxA",
                                            "fclose",
                                            "GetModuleHandleExA",
                                            "FreeLibrary",
                                            "FreeLibraryAndExitThread"};
    static_assert(std::size(names) == static_cast<std::size_t>(Fn::Count));
    auto i = static_cast<std::size_t>(fn);
    return i < std::size(names) ? names[i] : "?";
}

void fail(Fn fn, unsigned nth, std::uint32_t error) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    auto i = static_cast<std::size_t>(fn);
    b.faults[i].emplace_back(b.calls[i] + (nth == 0 ? 1 : nth), error);
}

void clear_faults() {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    for (auto& f : b.faults)
        f.clear();
    for (auto& h : b.hooks)
        h.clear();
}

void on_call(Fn fn, unsigned nth, std::function<void()> hook) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    auto i = static_cast<std::size_t>(fn);
    b.hooks[i].emplace_back(b.calls[i] + (nth == 0 ? 1 : nth), std::move(hook));
}

unsigned calls(Fn fn) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    return b.calls[static_cast<std::size_t>(fn)];
}

std::size_t open_handles() {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    return b.handles.size();
}

std::size_t heap_blocks() {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    return b.heap.size();
}

std::uint32_t priority_class() {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    return b.priority_class;
}

std::optional<int> thread_priority(std::uint32_t thread_handle) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    auto* t = find_locked<ThreadObj>(b, handle_of(thread_handle));
    return t ? t->state->priority : std::nullopt;
}

std::optional<int> last_thread_priority() {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    return b.last_thread_priority;
}

std::size_t module_pins() {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    return b.module_pins;
}

std::optional<CreateFileCall> last_create_file() {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    return b.last_create_file;
}

std::vector<MessageBoxCall> message_boxes() {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    return b.message_boxes;
}

void set_exit_hook(std::function<void(unsigned)> hook) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    b.exit_hook = std::move(hook);
}

void* add_module(const std::string& name, std::map<std::string, void*> exports) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    Module& module = b.modules[name];
    module.exports = std::move(exports);
    return &module; // std::map nodes are stable until reset, as GetModuleHandleA relies on
}

std::uint64_t now_ns() {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (b.virtual_clock)
        return b.virtual_ns;
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now() - b.epoch)
                                          .count());
}

void set_virtual_clock(bool on) {
    std::uint64_t now = now_ns();
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (on == b.virtual_clock)
        return;
    if (on) {
        b.virtual_ns = now; // time carries on from where the real clock stood
    } else {
        b.epoch = std::chrono::steady_clock::now() - std::chrono::nanoseconds(b.virtual_ns);
    }
    b.virtual_clock = on;
}

bool virtual_clock() {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    return b.virtual_clock;
}

void advance(std::uint64_t ns) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (b.virtual_clock)
        b.virtual_ns += ns;
    else
        b.epoch -= std::chrono::nanoseconds(ns);
}

std::uint64_t slept_ms() {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    return b.slept_ms;
}

// ---- RecordingDriver ----------------------------------------------------------------------------

void RecordingDriver::script(Answer a) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(a));
}
void RecordingDriver::script_for(std::uint32_t code, Answer a) {
    std::lock_guard lock(mutex_);
    by_code_[code].push_back(std::move(a));
}
void RecordingDriver::set_default(Answer a) {
    std::lock_guard lock(mutex_);
    default_ = std::move(a);
}
std::vector<RecordingDriver::Record> RecordingDriver::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}
std::optional<RecordingDriver::Record> RecordingDriver::last() const {
    std::lock_guard lock(mutex_);
    if (records_.empty())
        return std::nullopt;
    return records_.back();
}
void RecordingDriver::clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
    queue_.clear();
    by_code_.clear();
    default_.reset();
}

int RecordingDriver::exchange(Exchange& x) {
    std::optional<Answer> answer;
    {
        std::lock_guard lock(mutex_);
        Record r;
        r.code = x.code;
        r.request.assign(x.buffer, x.buffer + x.in_size);
        r.in_size = x.in_size;
        r.out_size = x.out_size;
        r.in_null = x.in_null;
        r.out_null = x.out_null;
        records_.push_back(std::move(r));
        if (auto it = by_code_.find(x.code); it != by_code_.end() && !it->second.empty()) {
            answer = std::move(it->second.front());
            it->second.pop_front();
        } else if (!queue_.empty()) {
            answer = std::move(queue_.front());
            queue_.pop_front();
        } else {
            answer = default_;
        }
    }
    if (!answer) {
        x.bytes_returned = x.out_size;
        return 1;
    }
    if (answer->result == 0) {
        x.error = answer->error;
        return 0;
    }
    // An answer without bytes leaves the request in place (and has no data to copy from).
    std::size_t room = std::max(x.in_size, x.out_size);
    if (!answer->bytes.empty())
        std::memcpy(x.buffer, answer->bytes.data(), std::min(room, answer->bytes.size()));
    x.bytes_returned = answer->count.value_or(x.out_size);
    return answer->result;
}

} // namespace mfb::vbus

// ---- the Win32 subset
// -----------------------------------------------------------------------------

using namespace mfb::vbus;

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR, HWND, DWORD Flags) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::SetupDiGetClassDevsA))
        return INVALID_HANDLE_VALUE;
    DevInfoSet set;
    // Only present device interfaces of our class are on this bus; any other query finds none.
    bool ours = ClassGuid && same_guid(*ClassGuid, kBoardClass) &&
                (Flags & (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) ==
                    (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (ours) {
        set.boards = b.boards;
        for (std::size_t i = 0; i < b.boards.size(); ++i)
            set.paths.push_back(path_locked(b, i));
    }
    return new_handle_locked(b, std::move(set));
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                                  PSP_DEVINFO_DATA DeviceInfoData) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::SetupDiEnumDeviceInfo))
        return FALSE;
    auto* set = find_locked<DevInfoSet>(b, DeviceInfoSet);
    if (!set) {
        set_error(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!DeviceInfoData || DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
        set_error(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (MemberIndex >= set->boards.size()) {
        set_error(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    DeviceInfoData->ClassGuid = kBoardClass;
    DeviceInfoData->DevInst = MemberIndex + 1;
    DeviceInfoData->Reserved = 0;
    set_error(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::SetupDiEnumDeviceInterfaces))
        return FALSE;
    auto* set = find_locked<DevInfoSet>(b, DeviceInfoSet);
    if (!set) {
        set_error(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!DeviceInterfaceData || DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        set_error(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (!InterfaceClassGuid || !same_guid(*InterfaceClassGuid, kBoardClass) ||
        MemberIndex >= set->boards.size()) {
        set_error(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    DeviceInterfaceData->InterfaceClassGuid = kBoardClass;
    DeviceInterfaceData->Flags = 1; // SPINT_ACTIVE
    DeviceInterfaceData->Reserved = MemberIndex + 1;
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet,
                                             PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A Detail,
                                             DWORD DetailSize, PDWORD RequiredSize,
                                             PSP_DEVINFO_DATA) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::SetupDiGetDeviceInterfaceDetailA))
        return FALSE;
    auto* set = find_locked<DevInfoSet>(b, DeviceInfoSet);
    if (!set) {
        set_error(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!DeviceInterfaceData || DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        DeviceInterfaceData->Reserved == 0 || DeviceInterfaceData->Reserved > set->paths.size()) {
        set_error(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string& path = set->paths[DeviceInterfaceData->Reserved - 1];
    DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) +
                                      path.size() + 1);
    if (RequiredSize)
        *RequiredSize = needed;
    if (!Detail) {
        if (DetailSize != 0) {
            set_error(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        set_error(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (DetailSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) ||
        Detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        set_error(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (DetailSize < needed) {
        set_error(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(Detail->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::SetupDiDestroyDeviceInfoList))
        return FALSE;
    auto it = b.handles.find(value_of(DeviceInfoSet));
    if (it == b.handles.end() || !std::holds_alternative<DevInfoSet>(it->second)) {
        set_error(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    close_locked(b, it);
    return TRUE;
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    CreateFileCall call;
    call.path = lpFileName ? lpFileName : "";
    call.access = dwDesiredAccess;
    call.share = dwShareMode;
    call.disposition = dwCreationDisposition;
    call.flags = dwFlagsAndAttributes;
    call.security_attributes = lpSecurityAttributes != nullptr;
    call.template_file = hTemplateFile != nullptr;
    b.last_create_file = call;
    if (faulted_locked(b, Fn::CreateFileA))
        return INVALID_HANDLE_VALUE;
    for (std::size_t i = 0; i < b.boards.size(); ++i) {
        if (path_locked(b, i) == call.path) {
            if (dwCreationDisposition != OPEN_EXISTING) {
                set_error(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
            return new_handle_locked(b, BoardFile{b.boards[i]});
        }
    }
    set_error(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
    std::shared_ptr<Driver> driver;
    {
        auto& b = bus();
        std::lock_guard lock(b.mutex);
        if (faulted_locked(b, Fn::DeviceIoControl))
            return FALSE;
        // A synchronous exchange must have somewhere to report the bytes returned.
        if (!lpBytesReturned && !lpOverlapped) {
            set_error(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        auto* f = find_locked<BoardFile>(b, hDevice);
        if (!f) {
            set_error(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        driver = f->driver.lock();
        bool present =
            driver && std::find(b.boards.begin(), b.boards.end(), driver) != b.boards.end();
        if (!present) {
            set_error(ERROR_DEVICE_REMOVED);
            return FALSE;
        }
    }
    if ((nInBufferSize && !lpInBuffer) || (nOutBufferSize && !lpOutBuffer)) {
        set_error(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    std::uint32_t copied = 0, error = 0;
    const int result = buffered_exchange(*driver, dwIoControlCode, lpInBuffer, nInBufferSize,
                                         lpOutBuffer, nOutBufferSize, copied, error);
    if (result == 0)
        set_error(error);
    *lpBytesReturned = copied;
    return result;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::CloseHandle))
        return FALSE;
    auto it = b.handles.find(value_of(hObject));
    // A device set is closed with SetupDiDestroyDeviceInfoList, not CloseHandle.
    if (it == b.handles.end() || std::holds_alternative<DevInfoSet>(it->second)) {
        set_error(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    close_locked(b, it);
    return TRUE;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::CreateEventA))
        return nullptr;
    return new_handle_locked(b, Event{std::make_shared<EventState>(
                                    EventState{bManualReset != FALSE, bInitialState != FALSE})});
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::SetEvent))
        return FALSE;
    auto* e = find_locked<Event>(b, hEvent);
    if (!e) {
        set_error(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    e->state->signalled = true;
    b.changed.notify_all();
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::ResetEvent))
        return FALSE;
    auto* e = find_locked<Event>(b, hEvent);
    if (!e) {
        set_error(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    e->state->signalled = false;
    return TRUE;
}

static DWORD wait_for(Fn fn, DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                      DWORD dwMilliseconds) {
    auto& b = bus();
    std::unique_lock lock(b.mutex);
    if (faulted_locked(b, fn))
        return WAIT_FAILED;
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles || bWaitAll) {
        set_error(ERROR_INVALID_PARAMETER); // the library never waits for all
        return WAIT_FAILED;
    }
    std::vector<std::uint32_t> values(nCount);
    for (DWORD i = 0; i < nCount; ++i) {
        values[i] = value_of(lpHandles[i]);
        if (!waitable_locked(b, values[i])) {
            set_error(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
    const std::uint64_t generation = b.generation;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    for (;;) {
        if (b.generation != generation) {
            set_error(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        for (DWORD i = 0; i < nCount; ++i) {
            if (!waitable_locked(b, values[i])) { // closed while waited on
                set_error(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
            }
        }
        // The lowest signalled index wins, as on Windows.
        for (DWORD i = 0; i < nCount; ++i) {
            if (signalled_locked(b, values[i])) {
                auto* e = find_locked<Event>(b, handle_of(values[i]));
                if (e && !e->state->manual_reset)
                    e->state->signalled = false;
                return WAIT_OBJECT_0 + i;
            }
        }
        if (dwMilliseconds == 0)
            return WAIT_TIMEOUT;
        // On the virtual clock nobody waits: as with Sleep, the time-out passes at once and the
        // clock moves on by it.
        if (dwMilliseconds != INFINITE && b.virtual_clock) {
            b.virtual_ns += std::uint64_t{dwMilliseconds} * 1000000u;
            return WAIT_TIMEOUT;
        }
        if (dwMilliseconds == INFINITE) {
            b.changed.wait(lock);
        } else if (b.changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            bool any = false;
            for (DWORD i = 0; i < nCount; ++i)
                any = any || signalled_locked(b, values[i]);
            if (!any)
                return WAIT_TIMEOUT;
        }
    }
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                    DWORD dwMilliseconds) {
    return wait_for(Fn::WaitForMultipleObjects, nCount, lpHandles, bWaitAll, dwMilliseconds);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return wait_for(Fn::WaitForSingleObject, 1, &hHandle, FALSE, dwMilliseconds);
}

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                           LPVOID lpParameter, DWORD, LPDWORD lpThreadId) {
    auto& b = bus();
    // Threads that have ended are joined as new ones start, as Windows frees an ended thread, so
    // that a long run does not pile them up.
    std::vector<std::thread> ended;
    const struct JoinEnded {
        std::vector<std::thread>& threads;
        ~JoinEnded() {
            for (auto& t : threads)
                t.join();
        }
    } join_ended{ended};
    std::lock_guard lock(b.mutex);
    std::erase_if(b.threads, [&](auto& t) {
        if (!t.first->ended)
            return false;
        ended.push_back(std::move(t.second));
        return true;
    });
    if (faulted_locked(b, Fn::CreateThread))
        return nullptr;
    auto state = std::make_shared<ThreadState>();
    state->id = b.next_thread_id++;
    HANDLE h = new_handle_locked(b, ThreadObj{state});
    if (lpThreadId)
        *lpThreadId = state->id;
    b.threads.emplace_back(state, [state, lpStartAddress, lpParameter] {
        t_thread_id = state->id;
        t_bus_thread = true;
        try {
            lpStartAddress(lpParameter);
        } catch (const ThreadExit&) {
            // FreeLibraryAndExitThread ended the thread.
        } catch (const ProcessExit&) {
            // ExitProcess ended the process, as far as this thread goes.
        }
        auto& bb = bus();
        std::lock_guard l(bb.mutex);
        state->ended = true;
        bb.changed.notify_all();
    });
    return h;
}

DWORD WINAPI GetCurrentThreadId() {
    if (t_thread_id == 0) {
        auto& b = bus();
        std::lock_guard lock(b.mutex);
        t_thread_id = b.next_thread_id++;
    }
    return t_thread_id;
}

HANDLE WINAPI GetCurrentProcess() {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}

BOOL WINAPI SetPriorityClass(HANDLE hProcess, DWORD dwPriorityClass) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::SetPriorityClass))
        return FALSE;
    if (hProcess != GetCurrentProcess()) {
        set_error(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    b.priority_class = dwPriorityClass;
    return TRUE;
}

BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::SetThreadPriority))
        return FALSE;
    auto* t = find_locked<ThreadObj>(b, hThread);
    if (!t) {
        set_error(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    t->state->priority = nPriority;
    b.last_thread_priority = nPriority;
    return TRUE;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    auto& b = bus();
    {
        std::lock_guard lock(b.mutex);
        b.slept_ms += dwMilliseconds;
        if (b.virtual_clock) {
            b.virtual_ns += std::uint64_t{dwMilliseconds} * 1000000u;
            return;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD WINAPI GetLastError() {
    return t_last_error;
}

HANDLE WINAPI GetProcessHeap() {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x5000));
}

LPVOID WINAPI HeapAlloc(HANDLE, DWORD, SIZE_T dwBytes) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::HeapAlloc))
        return nullptr;
    void* p = std::malloc(dwBytes ? dwBytes : 1);
    if (!p) {
        set_error(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    b.heap.insert(p);
    return p;
}

BOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID lpMem) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::HeapFree))
        return FALSE;
    if (!lpMem)
        return TRUE;
    auto it = b.heap.find(lpMem);
    if (it == b.heap.end()) {
        set_error(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    b.heap.erase(it);
    std::free(lpMem);
    return TRUE;
}

BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (phModule)
        *phModule = nullptr;
    if (faulted_locked(b, Fn::GetModuleHandleExA))
        return FALSE;
    // Only the form the library uses: the module that holds an address, which is always the
    // library's own image here.
    if (!phModule || !(dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) || !lpModuleName ||
        (dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN)) {
        set_error(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT))
        ++b.module_pins;
    *phModule = library_module();
    return TRUE;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::FreeLibrary))
        return FALSE;
    return unpin_locked(b, hLibModule) ? TRUE : FALSE;
}

void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD) {
    {
        auto& b = bus();
        std::lock_guard lock(b.mutex);
        // The reference is dropped unless the call fails; the thread ends either way.
        if (!faulted_locked(b, Fn::FreeLibraryAndExitThread))
            unpin_locked(b, hLibModule);
    }
    if (!t_bus_thread) {
        std::fputs("FreeLibraryAndExitThread on a thread that CreateThread did not start\n",
                   stderr);
        std::abort();
    }
    throw ThreadExit{};
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::GetModuleHandleA))
        return nullptr;
    std::string key = lpModuleName ? lpModuleName : "";
    auto it = b.modules.find(key);
    if (it == b.modules.end()) {
        if (key.empty()) { // the main executable is always there, if with no exports
            it = b.modules.emplace(key, Module{}).first;
        } else {
            set_error(126); // ERROR_MOD_NOT_FOUND
            return nullptr;
        }
    }
    return &it->second; // std::map nodes are stable until reset
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::GetProcAddress))
        return nullptr;
    for (auto& [name, module] : b.modules) {
        if (&module != hModule)
            continue;
        auto it = module.exports.find(lpProcName ? lpProcName : "");
        if (it == module.exports.end())
            break;
        return reinterpret_cast<FARPROC>(it->second);
    }
    set_error(127); // ERROR_PROC_NOT_FOUND
    return nullptr;
}

void WINAPI ExitProcess(UINT uExitCode) {
    std::function<void(unsigned)> hook;
    {
        auto& b = bus();
        std::lock_guard lock(b.mutex);
        hook = b.exit_hook;
    }
    if (hook)
        hook(uExitCode);
    std::fflush(nullptr);
    std::_Exit(static_cast<int>(uExitCode));
}

int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::MessageBoxA))
        return 0;
    b.message_boxes.push_back({lpText ? lpText : "", lpCaption ? lpCaption : "", uType});
    return IDOK;
}

} // extern "C"

namespace mfb::platform {

int close_file(std::FILE* f) {
    const int closed = std::fclose(f); // the stream is released whatever is reported
    auto& b = bus();
    std::lock_guard lock(b.mutex);
    if (faulted_locked(b, Fn::fclose))
        return EOF;
    return closed;
}

} // namespace mfb::platform
