// The Win32 subset of win32_substitute.h, on the virtual device bus.
//
// Every call that can fail on Windows starts as a Call (bus.h): it counts itself, lets a test act
// at that point, and fails as Windows reports that function's failure when a test injected a fault
// for it. The rest follows the Windows documentation for the way the library calls each function.
#include "bus.h"

#include "platform/win32.h"

#include <cstdio>
#include <cstdlib>

using namespace mfb::vbus;
using namespace mfb::vbus::detail;

namespace {

// {51BD3798-AAD4-4492-823A-922F8B0A1F7C}, the board's device-interface class.
constexpr GUID kBoardClass = {
    0x51BD3798, 0xAAD4, 0x4492, {0x82, 0x3A, 0x92, 0x2F, 0x8B, 0x0A, 0x1F, 0x7C}};

bool same_guid(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, 8) == 0;
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

// The object of type T behind a handle that the caller passed; null, with ERROR_INVALID_HANDLE as
// the last error, when the handle is not open or names another kind of object. Caller holds the
// bus.
template <class T> T* object(Bus& b, HANDLE h) {
    T* o = b.find<T>(h);
    if (!o)
        set_error(ERROR_INVALID_HANDLE);
    return o;
}

// Drops one reference of the library's module. Caller holds the bus.
bool unpin(Bus& b, HMODULE module) {
    if (module != library_module() || b.module_pins == 0) {
        set_error(ERROR_INVALID_HANDLE);
        return false;
    }
    --b.module_pins;
    return true;
}

// Whether a sync object counts as signalled for a wait. Caller holds the bus.
bool signalled(Bus& b, std::uint32_t v) {
    auto it = b.handles.find(v);
    if (it == b.handles.end())
        return false;
    if (auto* e = std::get_if<Event>(&it->second))
        return e->state->signalled;
    if (auto* t = std::get_if<ThreadObj>(&it->second))
        return t->state->ended;
    return false;
}
bool waitable(Bus& b, std::uint32_t v) {
    auto it = b.handles.find(v);
    return it != b.handles.end() && (std::holds_alternative<Event>(it->second) ||
                                     std::holds_alternative<ThreadObj>(it->second));
}

// SetEvent and ResetEvent: a set event wakes its waiters.
BOOL set_event(Fn fn, HANDLE h, bool signalled) {
    Call b(fn);
    if (b.failed())
        return FALSE;
    auto* e = object<Event>(*b, h);
    if (!e)
        return FALSE;
    e->state->signalled = signalled;
    if (signalled)
        b->changed.notify_all();
    return TRUE;
}

DWORD wait_for(Fn fn, DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
    Call b(fn);
    if (b.failed())
        return WAIT_FAILED;
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles || bWaitAll) {
        set_error(ERROR_INVALID_PARAMETER); // the library never waits for all
        return WAIT_FAILED;
    }
    std::vector<std::uint32_t> values(nCount);
    for (DWORD i = 0; i < nCount; ++i) {
        values[i] = value_of(lpHandles[i]);
        if (!waitable(*b, values[i])) {
            set_error(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
    const std::uint64_t generation = b->generation;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    for (;;) {
        if (b->generation != generation) {
            set_error(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        for (DWORD i = 0; i < nCount; ++i) {
            if (!waitable(*b, values[i])) { // closed while waited on
                set_error(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
            }
        }
        // The lowest signalled index wins, as on Windows.
        for (DWORD i = 0; i < nCount; ++i) {
            if (signalled(*b, values[i])) {
                auto* e = b->find<Event>(handle_of(values[i]));
                if (e && !e->state->manual_reset)
                    e->state->signalled = false;
                return WAIT_OBJECT_0 + i;
            }
        }
        if (dwMilliseconds == 0)
            return WAIT_TIMEOUT;
        // On the virtual clock nobody waits: as with Sleep, the time-out passes at once and the
        // clock moves on by it.
        if (dwMilliseconds != INFINITE && b->virtual_clock) {
            b->virtual_ns += std::uint64_t{dwMilliseconds} * 1000000u;
            return WAIT_TIMEOUT;
        }
        if (dwMilliseconds == INFINITE) {
            b.wait();
        } else if (!b.wait_until(deadline)) {
            bool any = false;
            for (DWORD i = 0; i < nCount; ++i)
                any = any || signalled(*b, values[i]);
            if (!any)
                return WAIT_TIMEOUT;
        }
    }
}

} // namespace

void mfb::vbus::detail::set_error(DWORD e) {
    t_last_error = e;
}

extern "C" {

// ---- setupapi -----------------------------------------------------------------------------------

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR, HWND, DWORD Flags) {
    Call b(Fn::SetupDiGetClassDevsA);
    if (b.failed())
        return INVALID_HANDLE_VALUE;
    DevInfoSet set;
    // Only present device interfaces of our class are on this bus; any other query finds none.
    bool ours = ClassGuid && same_guid(*ClassGuid, kBoardClass) &&
                (Flags & (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) ==
                    (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (ours) {
        set.boards = b->boards;
        for (std::size_t i = 0; i < b->boards.size(); ++i)
            set.paths.push_back(b->path(i));
    }
    return b->add(std::move(set));
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                                  PSP_DEVINFO_DATA DeviceInfoData) {
    Call b(Fn::SetupDiEnumDeviceInfo);
    if (b.failed())
        return FALSE;
    auto* set = object<DevInfoSet>(*b, DeviceInfoSet);
    if (!set)
        return FALSE;
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
    Call b(Fn::SetupDiEnumDeviceInterfaces);
    if (b.failed())
        return FALSE;
    auto* set = object<DevInfoSet>(*b, DeviceInfoSet);
    if (!set)
        return FALSE;
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
    Call b(Fn::SetupDiGetDeviceInterfaceDetailA);
    if (b.failed())
        return FALSE;
    auto* set = object<DevInfoSet>(*b, DeviceInfoSet);
    if (!set)
        return FALSE;
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
    Call b(Fn::SetupDiDestroyDeviceInfoList);
    if (b.failed())
        return FALSE;
    auto it = b->handles.find(value_of(DeviceInfoSet));
    if (it == b->handles.end() || !std::holds_alternative<DevInfoSet>(it->second)) {
        set_error(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    b->close(it);
    return TRUE;
}

// ---- kernel32: board files ----------------------------------------------------------------------

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    CreateFileCall call;
    call.path = lpFileName ? lpFileName : "";
    call.access = dwDesiredAccess;
    call.share = dwShareMode;
    call.disposition = dwCreationDisposition;
    call.flags = dwFlagsAndAttributes;
    call.security_attributes = lpSecurityAttributes != nullptr;
    call.template_file = hTemplateFile != nullptr;
    Call b(Fn::CreateFileA, [&](Bus& held) { held.last_create_file = call; });
    if (b.failed())
        return INVALID_HANDLE_VALUE;
    for (std::size_t i = 0; i < b->boards.size(); ++i) {
        if (b->path(i) == call.path) {
            if (dwCreationDisposition != OPEN_EXISTING) {
                set_error(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
            return b->add(BoardFile{b->boards[i]});
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
        Call b(Fn::DeviceIoControl);
        if (b.failed())
            return FALSE;
        // A synchronous exchange must have somewhere to report the bytes returned.
        if (!lpBytesReturned && !lpOverlapped) {
            set_error(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        auto* f = object<BoardFile>(*b, hDevice);
        if (!f)
            return FALSE;
        driver = f->driver.lock();
        bool present =
            driver && std::find(b->boards.begin(), b->boards.end(), driver) != b->boards.end();
        if (!present) {
            set_error(ERROR_DEVICE_REMOVED);
            return FALSE;
        }
    }
    if ((nInBufferSize && !lpInBuffer) || (nOutBufferSize && !lpOutBuffer)) {
        set_error(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    // The driver answers outside the bus's lock, so that it may signal events meanwhile.
    std::uint32_t copied = 0, error = 0;
    const int result = buffered_exchange(*driver, dwIoControlCode, lpInBuffer, nInBufferSize,
                                         lpOutBuffer, nOutBufferSize, copied, error);
    if (result == 0)
        set_error(error);
    *lpBytesReturned = copied;
    return result;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    Call b(Fn::CloseHandle);
    if (b.failed())
        return FALSE;
    auto it = b->handles.find(value_of(hObject));
    // A device set is closed with SetupDiDestroyDeviceInfoList, not CloseHandle.
    if (it == b->handles.end() || std::holds_alternative<DevInfoSet>(it->second)) {
        set_error(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    b->close(it);
    return TRUE;
}

// ---- kernel32: events and waits -----------------------------------------------------------------

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR) {
    Call b(Fn::CreateEventA);
    if (b.failed())
        return nullptr;
    return b->add(Event{
        std::make_shared<EventState>(EventState{bManualReset != FALSE, bInitialState != FALSE})});
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    return set_event(Fn::SetEvent, hEvent, true);
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    return set_event(Fn::ResetEvent, hEvent, false);
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                    DWORD dwMilliseconds) {
    return wait_for(Fn::WaitForMultipleObjects, nCount, lpHandles, bWaitAll, dwMilliseconds);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return wait_for(Fn::WaitForSingleObject, 1, &hHandle, FALSE, dwMilliseconds);
}

// ---- kernel32: threads, priorities and time -----------------------------------------------------

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                           LPVOID lpParameter, DWORD, LPDWORD lpThreadId) {
    // Threads that have ended are joined as new ones start, as Windows frees an ended thread, so
    // that a long run does not pile them up. They are joined once the bus is let go.
    std::vector<std::thread> ended;
    const struct JoinEnded {
        std::vector<std::thread>& threads;
        ~JoinEnded() {
            for (auto& t : threads)
                t.join();
        }
    } join_ended{ended};
    Call b(Fn::CreateThread, [&](Bus& held) {
        std::erase_if(held.threads, [&](auto& t) {
            if (!t.first->ended)
                return false;
            ended.push_back(std::move(t.second));
            return true;
        });
    });
    if (b.failed())
        return nullptr;
    auto state = std::make_shared<ThreadState>();
    state->id = b->next_thread_id++;
    HANDLE h = b->add(ThreadObj{state});
    if (lpThreadId)
        *lpThreadId = state->id;
    b->threads.emplace_back(state, [state, lpStartAddress, lpParameter] {
        t_thread_id = state->id;
        t_bus_thread = true;
        try {
            lpStartAddress(lpParameter);
        } catch (const ThreadExit&) {
            // FreeLibraryAndExitThread ended the thread.
        } catch (const ProcessExit&) {
            // ExitProcess ended the process, as far as this thread goes.
        }
        Locked b;
        state->ended = true;
        b->changed.notify_all();
    });
    return h;
}

DWORD WINAPI GetCurrentThreadId() {
    if (t_thread_id == 0)
        t_thread_id = Locked()->next_thread_id++;
    return t_thread_id;
}

HANDLE WINAPI GetCurrentProcess() {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}

BOOL WINAPI SetPriorityClass(HANDLE hProcess, DWORD dwPriorityClass) {
    Call b(Fn::SetPriorityClass);
    if (b.failed())
        return FALSE;
    if (hProcess != GetCurrentProcess()) {
        set_error(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    b->priority_class = dwPriorityClass;
    return TRUE;
}

BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
    Call b(Fn::SetThreadPriority);
    if (b.failed())
        return FALSE;
    auto* t = object<ThreadObj>(*b, hThread);
    if (!t)
        return FALSE;
    t->state->priority = nPriority;
    b->last_thread_priority = nPriority;
    return TRUE;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    {
        Locked b;
        b->slept_ms += dwMilliseconds;
        if (b->virtual_clock) {
            b->virtual_ns += std::uint64_t{dwMilliseconds} * 1000000u;
            return;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD WINAPI GetLastError() {
    return t_last_error;
}

// ---- kernel32: the heap -------------------------------------------------------------------------

HANDLE WINAPI GetProcessHeap() {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x5000));
}

LPVOID WINAPI HeapAlloc(HANDLE, DWORD, SIZE_T dwBytes) {
    Call b(Fn::HeapAlloc);
    if (b.failed())
        return nullptr;
    void* p = std::malloc(dwBytes ? dwBytes : 1);
    if (!p) {
        set_error(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    b->heap.insert(p);
    return p;
}

BOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID lpMem) {
    Call b(Fn::HeapFree);
    if (b.failed())
        return FALSE;
    if (!lpMem)
        return TRUE;
    auto it = b->heap.find(lpMem);
    if (it == b->heap.end()) {
        set_error(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    b->heap.erase(it);
    std::free(lpMem);
    return TRUE;
}

// ---- kernel32: modules and the process ----------------------------------------------------------

BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule) {
    if (phModule) // cleared whatever the outcome, as Windows does
        *phModule = nullptr;
    Call b(Fn::GetModuleHandleExA);
    if (b.failed())
        return FALSE;
    // Only the form the library uses: the module that holds an address, which is always the
    // library's own image here.
    if (!phModule || !(dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) || !lpModuleName ||
        (dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN)) {
        set_error(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT))
        ++b->module_pins;
    *phModule = library_module();
    return TRUE;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    Call b(Fn::FreeLibrary);
    if (b.failed())
        return FALSE;
    return unpin(*b, hLibModule) ? TRUE : FALSE;
}

void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD) {
    {
        // The reference is dropped unless the call fails; the thread ends either way.
        Call b(Fn::FreeLibraryAndExitThread);
        if (!b.failed())
            unpin(*b, hLibModule);
    }
    if (!t_bus_thread) {
        std::fputs("FreeLibraryAndExitThread on a thread that CreateThread did not start\n",
                   stderr);
        std::abort();
    }
    throw ThreadExit{};
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    Call b(Fn::GetModuleHandleA);
    if (b.failed())
        return nullptr;
    std::string key = lpModuleName ? lpModuleName : "";
    auto it = b->modules.find(key);
    if (it == b->modules.end()) {
        if (key.empty()) { // the main executable is always there, if with no exports
            it = b->modules.emplace(key, Module{}).first;
        } else {
            set_error(126); // ERROR_MOD_NOT_FOUND
            return nullptr;
        }
    }
    return &it->second; // std::map nodes are stable until reset
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    Call b(Fn::GetProcAddress);
    if (b.failed())
        return nullptr;
    for (auto& [name, module] : b->modules) {
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
    // The hook runs outside the bus's lock: it ends the process or throws, never returns here.
    std::function<void(unsigned)> hook = Locked()->exit_hook;
    if (hook)
        hook(uExitCode);
    std::fflush(nullptr);
    std::_Exit(static_cast<int>(uExitCode));
}

// ---- user32 -------------------------------------------------------------------------------------

int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    Call b(Fn::MessageBoxA);
    if (b.failed())
        return 0;
    b->message_boxes.push_back({lpText ? lpText : "", lpCaption ? lpCaption : "", uType});
    return IDOK;
}

} // extern "C"

// ---- the C runtime ------------------------------------------------------------------------------

namespace mfb::platform {

int close_file(std::FILE* f) {
    const int closed = std::fclose(f); // the stream is released whatever is reported
    return Call(Fn::fclose).failed() ? EOF : closed;
}

} // namespace mfb::platform
