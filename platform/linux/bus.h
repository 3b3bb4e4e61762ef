// What the parts of the Linux substitute share: the state of the virtual device bus, and the way a
// platform call takes it. The bus (vbus.cpp) keeps the state and answers include/mfb_vbus.h; the
// Win32 subset (win32_subset.cpp) works on the same state. Only platform/linux includes this.
//
// All bookkeeping (handles, boards, faults, sync objects) sits under one mutex; a driver's
// exchange runs outside it, so a driver may signal events from inside an exchange. Waits use one
// condition variable for every sync object, which keeps WaitForMultipleObjects simple and exact.
#pragma once

#include "win32_substitute.h"

#include "mfb_vbus.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <variant>

namespace mfb::vbus::detail {

// ---- the objects behind handles -----------------------------------------------------------------

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
using Handles = std::unordered_map<std::uint32_t, Object>;

struct Module {
    std::map<std::string, void*> exports;
};

inline std::uint32_t value_of(HANDLE h) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h));
}
inline HANDLE handle_of(std::uint32_t v) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(v));
}

// ---- the bus ------------------------------------------------------------------------------------

constexpr auto kFns = static_cast<std::size_t>(Fn::Count);

// The member functions are for a holder of the lock (see Locked).
struct Bus {
    std::mutex mutex;
    std::condition_variable changed; // any event set, thread ended, or reset
    std::uint64_t generation = 0;    // bumped by reset: pending waits fail

    std::vector<std::shared_ptr<Driver>> boards;
    Handles handles;
    std::uint32_t next_handle = 0x100;
    std::vector<std::uint32_t> freed; // closed handle values, the most recent last
    std::uint32_t next_device_set = 0x40000000;

    std::unordered_set<void*> heap;
    std::array<unsigned, kFns> calls{};
    std::array<std::vector<std::pair<unsigned, std::uint32_t>>, kFns>
        faults{}; // (call number that fails, error)
    std::array<std::vector<std::pair<unsigned, std::function<void()>>>, kFns>
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

    // Gives an object a handle value: a closed one again, the most recently freed first, as
    // Windows does, so that a handle used after its close reaches whatever object got its value
    // next. Device sets are not kernel handles on Windows (they are heap records) and are numbered
    // apart, so that their creation and destruction around every open does not take the values
    // that devices, events and threads would get.
    HANDLE add(Object obj);
    void close(Handles::iterator it);
    // The object of type T behind a handle; null when the handle is not open or names another type.
    template <class T> T* find(HANDLE h) {
        auto it = handles.find(value_of(h));
        return it == handles.end() ? nullptr : std::get_if<T>(&it->second);
    }
    // The device-interface path of the board at an index (which must be attached).
    std::string path(std::size_t index) const;
};

// The one bus of the process, never destroyed: threads may outlive static destruction.
Bus& bus();

// The bus with its lock held, for as long as this object lives.
class Locked {
  public:
    Locked() : bus_(bus()), lock_(bus_.mutex) {}
    Bus& operator*() const { return bus_; }
    Bus* operator->() const { return &bus_; }
    // Waits for a change on the bus (an event set, a thread ended, a reset), the lock let go
    // meanwhile. The second form gives up at a deadline: false when it passed.
    void wait() { bus_.changed.wait(lock_); }
    bool wait_until(std::chrono::steady_clock::time_point deadline) {
        return bus_.changed.wait_until(lock_, deadline) == std::cv_status::no_timeout;
    }

  protected:
    Bus& bus_;
    std::unique_lock<std::mutex> lock_;
};

// How every call of the Win32 subset starts, before it looks at anything: the bus's lock taken,
// the call counted, a hook that a test set for this call run on the calling thread (with the lock
// let go meanwhile), and an injected fault looked up. When one is due, failed() is true and the
// thread's last error is the fault's; the call then returns what Windows returns when that
// function fails.
class Call : public Locked {
  public:
    explicit Call(Fn fn) : failed_(enter(fn)) {}
    // `first` runs under the lock before the call is counted: what the call does even when it
    // fails (CreateFileA's record of its arguments, CreateThread's reaping of ended threads).
    template <class First> Call(Fn fn, First&& first) {
        first(bus_);
        failed_ = enter(fn);
    }
    bool failed() const { return failed_; }

  private:
    bool enter(Fn fn);
    bool failed_ = false;
};

// The calling thread's last error, as GetLastError reports it.
void set_error(DWORD e);

} // namespace mfb::vbus::detail
