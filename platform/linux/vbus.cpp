// The virtual device bus of include/mfb_vbus.h: its state, the handle table, fault injection, and
// what tests read back of what the library did.
#include "bus.h"

#include <cstdio>
#include <cstdlib>

namespace mfb::vbus {
namespace detail {

Bus& bus() {
    static Bus* b = new Bus;
    return *b;
}

HANDLE Bus::add(Object obj) {
    std::uint32_t v = 0;
    if (std::holds_alternative<DevInfoSet>(obj)) {
        v = next_device_set;
        next_device_set += 4;
    } else if (!freed.empty()) {
        v = freed.back();
        freed.pop_back();
    } else {
        v = next_handle;
        next_handle += 4;
    }
    handles.emplace(v, std::move(obj));
    return handle_of(v);
}

void Bus::close(Handles::iterator it) {
    if (!std::holds_alternative<DevInfoSet>(it->second))
        freed.push_back(it->first);
    handles.erase(it);
}

std::string Bus::path(std::size_t index) const {
    std::string p = boards[index]->device_path();
    if (!p.empty())
        return p;
    char buf[96];
    std::snprintf(buf, sizeof buf,
                  "\\\\?\\vbus#mfb_board#%zu#{51bd3798-aad4-4492-823a-922f8b0a1f7c}", index);
    return buf;
}

bool Call::enter(Fn fn) {
    auto i = static_cast<std::size_t>(fn);
    unsigned n = ++bus_.calls[i];
    auto& hooks = bus_.hooks[i];
    if (auto hook = std::find_if(hooks.begin(), hooks.end(), [n](auto& h) { return h.first == n; });
        hook != hooks.end()) {
        std::function<void()> run = std::move(hook->second);
        hooks.erase(hook);
        lock_.unlock();
        run();
        lock_.lock();
    }
    auto& list = bus_.faults[i];
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->first == n) {
            set_error(it->second);
            list.erase(it);
            return true;
        }
    }
    return false;
}

} // namespace detail

using detail::Locked;

// ---- boards -------------------------------------------------------------------------------------

std::size_t attach(std::shared_ptr<Driver> driver) {
    Locked b;
    b->boards.push_back(std::move(driver));
    return b->boards.size() - 1;
}

void detach(std::size_t index) {
    Locked b;
    if (index < b->boards.size())
        b->boards.erase(b->boards.begin() + static_cast<std::ptrdiff_t>(index));
}

void detach_all() {
    Locked()->boards.clear();
}

std::size_t board_count() {
    return Locked()->boards.size();
}

std::shared_ptr<Driver> board(std::size_t index) {
    Locked b;
    return index < b->boards.size() ? b->boards[index] : nullptr;
}

std::string device_path(std::size_t index) {
    Locked b;
    return index < b->boards.size() ? b->path(index) : std::string{};
}

bool signal_event(std::uint32_t event_handle) {
    Locked b;
    auto* e = b->find<detail::Event>(detail::handle_of(event_handle));
    if (!e)
        return false;
    e->state->signalled = true;
    b->changed.notify_all();
    return true;
}

EventReference reference_event(std::uint32_t event_handle) {
    Locked b;
    auto* e = b->find<detail::Event>(detail::handle_of(event_handle));
    return e ? EventReference(e->state) : EventReference();
}

bool EventReference::signal() const {
    if (!object_)
        return false;
    Locked b;
    static_cast<detail::EventState*>(object_.get())->signalled = true;
    b->changed.notify_all();
    return true;
}

void reset_process() {
    std::vector<std::pair<std::shared_ptr<detail::ThreadState>, std::thread>> threads;
    {
        Locked b;
        ++b->generation; // every pending and future wait of the old handles fails
        b->handles.clear();
        b->freed.clear();
        threads.swap(b->threads);
        b->changed.notify_all();
    }
    for (auto& [state, t] : threads)
        if (t.joinable())
            t.join();
    {
        Locked b;
        for (void* p : b->heap)
            std::free(p);
        b->heap.clear();
        b->handles.clear();
        b->freed.clear();
        b->boards.clear();
        b->calls.fill(0);
        for (auto& f : b->faults)
            f.clear();
        for (auto& h : b->hooks)
            h.clear();
        b->priority_class = 0;
        b->last_thread_priority.reset();
        b->module_pins = 0;
        b->last_create_file.reset();
        b->message_boxes.clear();
        b->exit_hook = nullptr;
        b->modules.clear();
        b->virtual_clock = false;
        b->virtual_ns = 0;
        b->slept_ms = 0;
        b->epoch = std::chrono::steady_clock::now();
    }
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
}

// ---- fault injection ----------------------------------------------------------------------------

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
    static_assert(std::size(names) == detail::kFns);
    auto i = static_cast<std::size_t>(fn);
    return i < std::size(names) ? names[i] : "?";
}

void fail(Fn fn, unsigned nth, std::uint32_t error) {
    Locked b;
    auto i = static_cast<std::size_t>(fn);
    b->faults[i].emplace_back(b->calls[i] + (nth == 0 ? 1 : nth), error);
}

void clear_faults() {
    Locked b;
    for (auto& f : b->faults)
        f.clear();
    for (auto& h : b->hooks)
        h.clear();
}

void on_call(Fn fn, unsigned nth, std::function<void()> hook) {
    Locked b;
    auto i = static_cast<std::size_t>(fn);
    b->hooks[i].emplace_back(b->calls[i] + (nth == 0 ? 1 : nth), std::move(hook));
}

unsigned calls(Fn fn) {
    return Locked()->calls[static_cast<std::size_t>(fn)];
}

// ---- what the library holds ---------------------------------------------------------------------

std::size_t open_handles() {
    return Locked()->handles.size();
}

std::size_t heap_blocks() {
    return Locked()->heap.size();
}

std::uint32_t priority_class() {
    return Locked()->priority_class;
}

std::optional<int> thread_priority(std::uint32_t thread_handle) {
    Locked b;
    auto* t = b->find<detail::ThreadObj>(detail::handle_of(thread_handle));
    return t ? t->state->priority : std::nullopt;
}

std::optional<int> last_thread_priority() {
    return Locked()->last_thread_priority;
}

std::size_t module_pins() {
    return Locked()->module_pins;
}

std::optional<CreateFileCall> last_create_file() {
    return Locked()->last_create_file;
}

std::vector<MessageBoxCall> message_boxes() {
    return Locked()->message_boxes;
}

void set_exit_hook(std::function<void(unsigned)> hook) {
    Locked()->exit_hook = std::move(hook);
}

void* add_module(const std::string& name, std::map<std::string, void*> exports) {
    Locked b;
    detail::Module& module = b->modules[name];
    module.exports = std::move(exports);
    return &module; // std::map nodes are stable until reset, as GetModuleHandleA relies on
}

// ---- clock --------------------------------------------------------------------------------------

std::uint64_t now_ns() {
    Locked b;
    if (b->virtual_clock)
        return b->virtual_ns;
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now() - b->epoch)
                                          .count());
}

void set_virtual_clock(bool on) {
    std::uint64_t now = now_ns();
    Locked b;
    if (on == b->virtual_clock)
        return;
    if (on) {
        b->virtual_ns = now; // time carries on from where the real clock stood
    } else {
        b->epoch = std::chrono::steady_clock::now() - std::chrono::nanoseconds(b->virtual_ns);
    }
    b->virtual_clock = on;
}

bool virtual_clock() {
    return Locked()->virtual_clock;
}

void advance(std::uint64_t ns) {
    Locked b;
    if (b->virtual_clock)
        b->virtual_ns += ns;
    else
        b->epoch -= std::chrono::nanoseconds(ns);
}

std::uint64_t slept_ms() {
    return Locked()->slept_ms;
}

} // namespace mfb::vbus
