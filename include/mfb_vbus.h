// The virtual device bus: the Linux build's stand-in for the board driver, the PCI bus and the
// parts of Windows that the library calls.
//
// A program that drives the library without hardware (our tests and tools, or an application's own
// test suite) uses only this header and mfb.h:
//   - attach boards in enumeration order; each board is a Driver object that answers the library's
//     DeviceIoControl exchanges, and may signal an event the library handed it;
//   - make a chosen platform call fail (which function, and which of its calls from now on), so
//     that every failure path of the library can be reached;
//   - read back what the library left behind: open handles, heap blocks, priorities, message boxes;
//   - run time virtually: Sleep advances a clock instead of waiting, and drivers read the same
//     clock, so waits and time-dependent board behaviour are tested exactly and fast.
//
// The bus serialises its own bookkeeping internally; a Driver may be called from several threads
// at once (application threads and the library's interrupt threads) and must protect its state.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace mfb::vbus {

// One DeviceIoControl exchange as the board driver sees it. The bus emulates buffered I/O: the
// request bytes are copied into one system buffer of max(in_size, out_size) bytes (the rest zero),
// the driver answers in place, and on success the bus copies min(bytes_returned, out_size) bytes
// back into the caller's output buffer.
struct Exchange {
    std::uint32_t code = 0;           // the ControlCode
    std::uint8_t* buffer = nullptr;   // the system buffer: request on entry, answer on return
    std::uint32_t in_size = 0;        // request bytes the caller sent
    std::uint32_t out_size = 0;       // room the caller gave for the answer
    bool in_null = true;              // the caller passed no input buffer
    bool out_null = true;             // the caller passed no output buffer
    std::uint32_t bytes_returned = 0; // set by the driver: answer bytes to copy back
    std::uint32_t error = 0;          // set by the driver on failure: the thread's last error
};

// A board on the bus. Every member may run on any thread.
class Driver {
  public:
    virtual ~Driver() = default;
    // Answer one exchange. Return the BOOL that DeviceIoControl returns: nonzero for success
    // (Windows itself returns exactly 1), 0 for failure with x.error as the last error.
    virtual int exchange(Exchange& x) = 0;
    // The board's identity on the bus: the device-interface path that CreateFileA opens.
    // Empty means the bus chooses one from the board index.
    virtual std::string device_path() const { return {}; }
};

// One DeviceIoControl exchange with a driver, as buffered I/O (see Exchange). Returns the driver's
// BOOL; `returned` is the number of bytes copied back into `out` (0 on failure), and on failure
// `error` is the last error (ERROR_GEN_FAILURE, 31, when the driver named none). A buffer that is
// null must come with size 0.
inline int buffered_exchange(Driver& driver, std::uint32_t code, const void* in,
                             std::uint32_t in_size, void* out, std::uint32_t out_size,
                             std::uint32_t& returned, std::uint32_t& error) {
    std::vector<std::uint8_t> system(std::max<std::size_t>({in_size, out_size, 1}), 0);
    if (in_size)
        std::memcpy(system.data(), in, in_size);
    Exchange x;
    x.code = code;
    x.buffer = system.data();
    x.in_size = in_size;
    x.out_size = out_size;
    x.in_null = in == nullptr;
    x.out_null = out == nullptr;
    const int result = driver.exchange(x);
    returned = 0;
    if (result == 0) {
        error = x.error ? x.error : 31;
        return 0;
    }
    returned = std::min(x.bytes_returned, out_size);
    if (returned)
        std::memcpy(out, system.data(), returned);
    return result;
}

// ---- boards -------------------------------------------------------------------------------------

// Attach a board at the end of the enumeration; returns its board index.
std::size_t attach(std::shared_ptr<Driver> driver);
// Remove the board at an index; later boards move up. Open handles to it fail their exchanges.
void detach(std::size_t index);
void detach_all();
std::size_t board_count();
std::shared_ptr<Driver> board(std::size_t index);
// The device path that CreateFileA accepts for the board at an index.
std::string device_path(std::size_t index);

// Signal the event whose handle value a driver was given (as the driver does when interrupts are
// pending). False when the value is not an open event.
bool signal_event(std::uint32_t event_handle);

// A driver's own reference to an event that the library handed it by handle value, as a kernel
// driver takes a reference to the event object: the driver signals the object, not the value. The
// reference keeps the object after the library has closed its handle, and a value that Windows
// hands out again for another object never leads there.
class EventReference {
  public:
    EventReference() = default; // refers to no event
    explicit EventReference(std::shared_ptr<void> object) : object_(std::move(object)) {}
    explicit operator bool() const { return object_ != nullptr; }
    // Sets the event; false when the reference is empty.
    bool signal() const;

  private:
    std::shared_ptr<void> object_;
};
// The event behind a handle value, referenced; empty when the value is no open event.
EventReference reference_event(std::uint32_t event_handle);

// Back to process start: every library thread is ended (its waits fail) and joined, every handle
// and heap block of the substitute released, boards detached, faults cleared, the clock real and
// at zero, and the library's DllMain called with DLL_PROCESS_ATTACH.
void reset_process();

// ---- fault injection ----------------------------------------------------------------------------

enum class Fn {
    SetupDiGetClassDevsA,
    SetupDiEnumDeviceInfo,
    SetupDiEnumDeviceInterfaces,
    SetupDiGetDeviceInterfaceDetailA,
    SetupDiDestroyDeviceInfoList,
    CreateFileA,
    DeviceIoControl,
    CloseHandle,
    CreateEventA,
    SetEvent,
    ResetEvent,
    WaitForMultipleObjects,
    WaitForSingleObject,
    CreateThread,
    SetPriorityClass,
    SetThreadPriority,
    HeapAlloc,
    HeapFree,
    GetModuleHandleA,
    GetProcAddress,
    MessageBoxA,
    fclose, // the C runtime's, as the library closes the files it reads
    GetModuleHandleExA,
    FreeLibrary,
    FreeLibraryAndExitThread, // a failure keeps the module reference; the thread ends all the same
    Count
};
const char* name(Fn fn);

// Make the nth call of fn from now on (1 = the next one) fail the way Windows reports a failure
// of that function, with `error` as the last error. Several injections may be pending at once.
void fail(Fn fn, unsigned nth = 1, std::uint32_t error = 31 /* ERROR_GEN_FAILURE */);
void clear_faults();
// Run `hook` on the thread that makes the nth call of fn from now on, as that call starts, before
// it looks at its arguments and outside the bus's lock: a test acts there at an exact point of
// another thread's work, as a debugger holding the thread would. A fault injected for the same
// call applies after the hook. Cleared by clear_faults() and reset_process().
void on_call(Fn fn, unsigned nth, std::function<void()> hook);
// Calls of fn since the last reset_process().
unsigned calls(Fn fn);

// ---- what the library holds ---------------------------------------------------------------------

// Closed handle values are handed out again, the most recently freed first, as Windows does.
std::size_t open_handles();     // device sets, files, events and threads not yet closed
std::size_t heap_blocks();      // HeapAlloc blocks not yet freed
std::uint32_t priority_class(); // last class given to SetPriorityClass (0 before any)
// Priority given to a thread by SetThreadPriority, by the thread's handle value; nullopt when
// none was set or the handle is unknown.
std::optional<int> thread_priority(std::uint32_t thread_handle);
// The last priority given to SetThreadPriority, whatever the thread (nullopt before any).
std::optional<int> last_thread_priority();
// References on the library's own module taken by GetModuleHandleExA and not yet dropped by
// FreeLibrary or FreeLibraryAndExitThread: while one is held, the library could not be unloaded.
std::size_t module_pins();

struct CreateFileCall {
    std::string path;
    std::uint32_t access = 0, share = 0, disposition = 0, flags = 0;
    bool security_attributes = false, template_file = false;
};
std::optional<CreateFileCall> last_create_file();

struct MessageBoxCall {
    std::string text, caption;
    std::uint32_t type = 0;
};
std::vector<MessageBoxCall> message_boxes();
// ExitProcess runs this hook, which must not return (a test may throw or longjmp out of it, or
// end the process itself); without one it flushes the standard streams and ends the process.
void set_exit_hook(std::function<void(unsigned)> hook);
// What an exit hook may throw to end the process for the thread that called ExitProcess. On a
// thread that CreateThread started, that thread ends there, as it would with the process: its
// frames unwind, nothing after the call runs and what it holds stays held until reset_process().
// On any other thread it reaches the caller's handler (a test's own thread catches it).
struct ProcessExit {
    unsigned code = 0;
};

// Modules for GetModuleHandleA and GetProcAddress. The name "" is the main executable. Returns
// the module handle, as GetModuleHandleA gives it, valid until reset_process().
void* add_module(const std::string& name, std::map<std::string, void*> exports);

// ---- clock --------------------------------------------------------------------------------------

// Time since reset_process(), in nanoseconds. In real mode it follows the steady clock and Sleep
// waits; in virtual mode it only moves when Sleep or advance() moves it, and nobody waits: a wait
// with a time-out that finds none of its objects signalled moves the clock on by the time-out and
// returns WAIT_TIMEOUT at once (a wait without a time-out still waits for its objects).
std::uint64_t now_ns();
void set_virtual_clock(bool on);
bool virtual_clock();
void advance(std::uint64_t ns);
// Total of the Sleep() arguments since the last reset, in milliseconds.
std::uint64_t slept_ms();

// ---- a recording, scriptable driver for tests ---------------------------------------------------

class RecordingDriver : public Driver {
  public:
    struct Record {
        std::uint32_t code = 0;
        std::vector<std::uint8_t> request; // the in_size bytes as sent
        std::uint32_t in_size = 0, out_size = 0;
        bool in_null = true, out_null = true;
    };
    struct Answer {
        int result = 1;                     // the BOOL to return; 0 fails the exchange
        std::vector<std::uint8_t> bytes;    // written over the start of the buffer
        std::optional<std::uint32_t> count; // bytes returned; default out_size
        std::uint32_t error = 31;           // last error when result is 0
    };

    // Answers are taken in order; when none is queued the default answers: success, the request
    // left in place as the answer, out_size bytes returned.
    void script(Answer a);
    void script_for(std::uint32_t code, Answer a); // for one ControlCode, before the general queue
    void set_default(Answer a);
    std::vector<Record> records() const;
    std::optional<Record> last() const;
    void clear();

    int exchange(Exchange& x) override;

  private:
    mutable std::mutex mutex_;
    std::vector<Record> records_;
    std::deque<Answer> queue_;
    std::map<std::uint32_t, std::deque<Answer>> by_code_;
    std::optional<Answer> default_;
};

// Little-endian helpers for building scripted answers.
inline void put_u32(std::vector<std::uint8_t>& b, std::size_t off, std::uint32_t v) {
    if (b.size() < off + 4)
        b.resize(off + 4);
    for (int i = 0; i < 4; ++i)
        b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void put_u16(std::vector<std::uint8_t>& b, std::size_t off, std::uint16_t v) {
    if (b.size() < off + 2)
        b.resize(off + 2);
    b[off] = static_cast<std::uint8_t>(v);
    b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put_u8(std::vector<std::uint8_t>& b, std::size_t off, std::uint8_t v) {
    if (b.size() < off + 1)
        b.resize(off + 1);
    b[off] = v;
}

} // namespace mfb::vbus
