#include "bench.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <type_traits>

namespace wintest {

int RecordingBoard::exchange(mfb::vbus::Exchange& x) {
    Exchange e{.code = x.code,
               .request = Bytes(x.buffer, x.buffer + x.in_size),
               .in_size = x.in_size,
               .out_size = x.out_size,
               .in_null = x.in_null,
               .out_null = x.out_null};
    const int result = sim_->exchange(x);
    e.result = result;
    if (result != 0) {
        const std::size_t room = std::max<std::size_t>({x.in_size, x.out_size, 1});
        e.answer.assign(x.buffer, x.buffer + std::min<std::size_t>(x.bytes_returned, room));
    }
    std::lock_guard lock(mutex_);
    exchanges_.push_back(std::move(e));
    return result;
}

std::vector<Exchange> RecordingBoard::exchanges() const {
    std::lock_guard lock(mutex_);
    return exchanges_;
}

void RecordingBoard::clear() {
    std::lock_guard lock(mutex_);
    exchanges_.clear();
}

namespace {

using mfb::vbus::Driver;

// {51BD3798-AAD4-4492-823A-922F8B0A1F7C}: the device-interface class of the board.
constexpr GUID kBoardClass = {
    0x51BD3798, 0xAAD4, 0x4492, {0x82, 0x3A, 0x92, 0x2F, 0x8B, 0x0A, 0x1F, 0x7C}};
constexpr char kPathPrefix[] = "\\\\?\\wintest#mfb_board#";

// A device set: the boards and their paths as they were when it was made.
struct DeviceSet {
    std::vector<std::shared_ptr<Driver>> boards;
    std::vector<std::string> paths;
};

struct State {
    std::mutex mutex;
    std::vector<std::shared_ptr<Driver>> boards;
    std::map<HDEVINFO, std::unique_ptr<DeviceSet>> sets;
    std::map<HANDLE, std::shared_ptr<Driver>> files;
    unsigned closes_passed_on = 0;
    unsigned closes_refused = 0;
    std::optional<CreateFileCall> last_create_file;
};

State& state() {
    static State s;
    return s;
}

// f(state) with the state locked.
template <class F> auto locked(F&& f) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return f(s);
}

std::string path_of(std::size_t index) {
    char text[96];
    std::snprintf(text, sizeof text, "%s%u#{51bd3798-aad4-4492-823a-922f8b0a1f7c}", kPathPrefix,
                  static_cast<unsigned>(index));
    return text;
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// f(set) with the state locked, for a device set that the library holds; any other handle fails
// with ERROR_INVALID_HANDLE.
template <class F> BOOL with_set(HDEVINFO handle, F&& f) {
    return locked([&](State& s) {
        auto it = s.sets.find(handle);
        return it == s.sets.end() ? fail(ERROR_INVALID_HANDLE) : f(*it->second);
    });
}

// ---- the redirected calls -----------------------------------------------------------------------

HDEVINFO WINAPI get_class_devs(const GUID* class_guid, PCSTR, HWND, DWORD flags) {
    return locked([&](State& s) {
        auto set = std::make_unique<DeviceSet>();
        // Only present device interfaces of the board's class are asked for; any other query
        // finds none.
        constexpr DWORD kInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
        if (class_guid && IsEqualGUID(*class_guid, kBoardClass) &&
            (flags & kInterfaces) == kInterfaces) {
            set->boards = s.boards;
            for (std::size_t i = 0; i < s.boards.size(); ++i)
                set->paths.push_back(path_of(i));
        }
        auto handle = static_cast<HDEVINFO>(set.get());
        s.sets.emplace(handle, std::move(set));
        return handle;
    });
}

BOOL WINAPI enum_device_info(HDEVINFO set_handle, DWORD index, PSP_DEVINFO_DATA info) {
    return with_set(set_handle, [&](const DeviceSet& set) {
        if (!info || info->cbSize != sizeof(SP_DEVINFO_DATA))
            return fail(ERROR_INVALID_USER_BUFFER);
        if (index >= set.boards.size())
            return fail(ERROR_NO_MORE_ITEMS);
        info->ClassGuid = kBoardClass;
        info->DevInst = index + 1;
        info->Reserved = 0;
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    });
}

BOOL WINAPI enum_device_interfaces(HDEVINFO set_handle, PSP_DEVINFO_DATA, const GUID* class_guid,
                                   DWORD index, PSP_DEVICE_INTERFACE_DATA iface) {
    return with_set(set_handle, [&](const DeviceSet& set) {
        if (!iface || iface->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
            return fail(ERROR_INVALID_USER_BUFFER);
        if (!class_guid || !IsEqualGUID(*class_guid, kBoardClass) || index >= set.boards.size())
            return fail(ERROR_NO_MORE_ITEMS);
        iface->InterfaceClassGuid = kBoardClass;
        iface->Flags = SPINT_ACTIVE;
        iface->Reserved = index + 1;
        return TRUE;
    });
}

BOOL WINAPI get_interface_detail(HDEVINFO set_handle, PSP_DEVICE_INTERFACE_DATA iface,
                                 PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detail_size,
                                 PDWORD required, PSP_DEVINFO_DATA) {
    return with_set(set_handle, [&](const DeviceSet& set) {
        if (!iface || iface->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || iface->Reserved == 0 ||
            iface->Reserved > set.paths.size())
            return fail(ERROR_INVALID_PARAMETER);
        const std::string& path = set.paths[iface->Reserved - 1];
        const DWORD needed = static_cast<DWORD>(
            offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
        if (required)
            *required = needed;
        if (!detail)
            return fail(detail_size == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
        if (detail_size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) ||
            detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
            return fail(ERROR_INVALID_USER_BUFFER);
        if (detail_size < needed)
            return fail(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
        return TRUE;
    });
}

BOOL WINAPI destroy_device_info_list(HDEVINFO set_handle) {
    const bool destroyed = locked([&](State& s) { return s.sets.erase(set_handle) != 0; });
    return destroyed ? TRUE : fail(ERROR_INVALID_HANDLE);
}

HANDLE WINAPI create_file(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE template_file) {
    State& s = state();
    std::unique_lock lock(s.mutex);
    if (!path || std::strncmp(path, kPathPrefix, sizeof kPathPrefix - 1) != 0) {
        lock.unlock();
        return CreateFileA(path, access, share, security, disposition, flags, template_file);
    }
    s.last_create_file = CreateFileCall{
        path, access, share, disposition, flags, security != nullptr, template_file != nullptr};
    for (std::size_t i = 0; i < s.boards.size(); ++i) {
        if (_stricmp(path_of(i).c_str(), path) != 0)
            continue;
        if (disposition != OPEN_EXISTING) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        HANDLE file = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (!file)
            return INVALID_HANDLE_VALUE;
        s.files.emplace(file, s.boards[i]);
        return file;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI device_io_control(HANDLE file, DWORD code, LPVOID in, DWORD in_size, LPVOID out,
                              DWORD out_size, LPDWORD returned, LPOVERLAPPED overlapped) {
    std::shared_ptr<Driver> board;
    {
        State& s = state();
        std::lock_guard lock(s.mutex);
        if (auto it = s.files.find(file); it != s.files.end())
            board = it->second;
    }
    if (!board)
        return DeviceIoControl(file, code, in, in_size, out, out_size, returned, overlapped);
    // A board file is opened for synchronous I/O, and then the count of bytes is required.
    if (overlapped || !returned)
        return fail(ERROR_INVALID_PARAMETER);
    if ((in_size && !in) || (out_size && !out))
        return fail(ERROR_INVALID_USER_BUFFER);
    std::uint32_t copied = 0, error = 0;
    const int result =
        mfb::vbus::buffered_exchange(*board, code, in, in_size, out, out_size, copied, error);
    *returned = copied;
    return result != 0 ? result : fail(error);
}

BOOL WINAPI close_handle(HANDLE handle) {
    State& s = state();
    std::unique_lock lock(s.mutex);
    const bool board_file = s.files.erase(handle) != 0;
    if (!board_file)
        ++s.closes_passed_on;
    lock.unlock();
    const BOOL closed = CloseHandle(handle);
    if (!board_file && !closed) {
        lock.lock();
        ++s.closes_refused;
    }
    return closed;
}

// The replacements must be callable exactly as the functions they replace.
static_assert(std::is_same_v<decltype(&get_class_devs), decltype(&SetupDiGetClassDevsA)>);
static_assert(std::is_same_v<decltype(&enum_device_info), decltype(&SetupDiEnumDeviceInfo)>);
static_assert(
    std::is_same_v<decltype(&enum_device_interfaces), decltype(&SetupDiEnumDeviceInterfaces)>);
static_assert(
    std::is_same_v<decltype(&get_interface_detail), decltype(&SetupDiGetDeviceInterfaceDetailA)>);
static_assert(
    std::is_same_v<decltype(&destroy_device_info_list), decltype(&SetupDiDestroyDeviceInfoList)>);
static_assert(std::is_same_v<decltype(&create_file), decltype(&CreateFileA)>);
static_assert(std::is_same_v<decltype(&device_io_control), decltype(&DeviceIoControl)>);
static_assert(std::is_same_v<decltype(&close_handle), decltype(&CloseHandle)>);

} // namespace

namespace bench {

std::size_t attach(std::shared_ptr<Driver> board) {
    return locked([&](State& s) {
        s.boards.push_back(std::move(board));
        return s.boards.size() - 1;
    });
}

void reset(std::size_t count) {
    locked([](State& s) {
        s.boards.clear();
        s.last_create_file.reset();
    });
    for (std::size_t i = 0; i < count; ++i)
        bench::attach(std::make_shared<RecordingBoard>(mfb::sim::make_board(i)));
}

std::shared_ptr<RecordingBoard> board(std::size_t index) {
    return locked([&](State& s) {
        return index < s.boards.size() ? std::dynamic_pointer_cast<RecordingBoard>(s.boards[index])
                                       : nullptr;
    });
}

std::string device_path(std::size_t index) {
    return path_of(index);
}

std::shared_ptr<Driver> board_of(std::uint32_t handle) {
    return locked([&](State& s) {
        auto it = s.files.find(mfb::platform::to_handle(handle));
        return it == s.files.end() ? nullptr : it->second;
    });
}

std::vector<std::uint32_t> open_board_files() {
    return locked([](State& s) {
        std::vector<std::uint32_t> out;
        for (const auto& [file, board] : s.files)
            out.push_back(mfb::platform::handle_value(file));
        return out;
    });
}

std::size_t open_device_sets() {
    return locked([](State& s) { return s.sets.size(); });
}

unsigned closes_passed_on() {
    return locked([](State& s) { return s.closes_passed_on; });
}

unsigned closes_refused() {
    return locked([](State& s) { return s.closes_refused; });
}

std::optional<CreateFileCall> last_create_file() {
    return locked([](State& s) { return s.last_create_file; });
}

std::vector<Replacement> replacements() {
    const auto at = [](auto function) { return reinterpret_cast<void*>(function); };
    return {
        {"setupapi.dll", "SetupDiGetClassDevsA", at(&get_class_devs)},
        {"setupapi.dll", "SetupDiEnumDeviceInfo", at(&enum_device_info)},
        {"setupapi.dll", "SetupDiEnumDeviceInterfaces", at(&enum_device_interfaces)},
        {"setupapi.dll", "SetupDiGetDeviceInterfaceDetailA", at(&get_interface_detail)},
        {"setupapi.dll", "SetupDiDestroyDeviceInfoList", at(&destroy_device_info_list)},
        {"kernel32.dll", "CreateFileA", at(&create_file)},
        {"kernel32.dll", "DeviceIoControl", at(&device_io_control)},
        {"kernel32.dll", "CloseHandle", at(&close_handle)},
    };
}

} // namespace bench
} // namespace wintest

// ---- the bus functions that the simulated board calls -------------------------------------------

namespace mfb::vbus {

std::size_t attach(std::shared_ptr<Driver> driver) {
    return wintest::bench::attach(std::move(driver));
}

std::size_t board_count() {
    return wintest::locked([](wintest::State& s) { return s.boards.size(); });
}

// The real clock, plus the time that simulated parts spent without waiting (a flash write
// advances the clock by its programming time instead of sleeping).
std::atomic<std::uint64_t> g_advanced_ns{0};

std::uint64_t now_ns() {
    static const auto start = std::chrono::steady_clock::now();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count()) +
           g_advanced_ns.load();
}

void advance(std::uint64_t ns) {
    g_advanced_ns += ns;
}

// The board references the event whose handle value the library gave it, a real event of this
// process, with a handle of its own, as a driver references the object: the library may close
// its handle, and Windows give the value to another object, while the board still holds it.
EventReference reference_event(std::uint32_t event_handle) {
    HANDLE own = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), mfb::platform::to_handle(event_handle),
                         GetCurrentProcess(), &own, EVENT_MODIFY_STATE, FALSE, 0))
        return {};
    return EventReference(std::shared_ptr<void>(own, [](void* h) { CloseHandle(h); }));
}

bool EventReference::signal() const {
    return object_ && SetEvent(object_.get()) != FALSE;
}

} // namespace mfb::vbus
