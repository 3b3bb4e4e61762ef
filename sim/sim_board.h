// The simulated board: a driver object on the virtual device bus that behaves like a plausible
// board, so that the library can be used without the hardware. It is the default board of mfbctl
// and the demo, and the end-to-end tests drive it.
//
// What the board decides where the library leaves a meaning to the driver:
//
// Board information record (ControlCode 0x90002098, 84 bytes):
//   word 1  serial number of the board (default 0x00010000 + board index)
//   word 2  firmware revision, 0x0203 for 2.3
//   word 3  PCI bus number of the slot (default 1)
//   word 4  PCI device number of the slot (default 8 + board index)
//   word 5  interrupt line (default 11)
//   byte    number of function-module positions, 4
//   text    the identifier, "MFB-SIM-<index>" by default, at most 51 characters
// Handle notice (0x9001C014): the board remembers the handle value it was told; it answers any
//   request size.
// Module positions: each of the four positions carries one function (or none). A request of a
//   family addressed to a position that carries another function, or to a position above 3, fails
//   the exchange with ERROR_INVALID_FUNCTION, as a real driver refuses it. The default functions
//   are, for board 0: counter, timer, TTL I/O, SSI; for board 1: PWM, counter, timer, TTL I/O;
//   for any other board: counter, timer, TTL I/O, PWM.
//   A request names its position in byte 0; an ETM request in byte 2, after its status field.
// Hardware type, driver version and module configuration words: see sim/board_identity.h.
// The board's digital ports and its EEPROM: see sim/board_io.h.
// Flash memory (ControlCodes 0x900020D0 to 0x900020E4, board-level): see sim/flash.h.
// Unknown ControlCodes fail the exchange with ERROR_INVALID_FUNCTION.
// Time: the board reads the bus clock (mfb::vbus::now_ns), so with a virtual clock its behaviour
//   is exact and needs no sleeping. Modules catch up with the clock at every exchange and at
//   every tick().
//
// Interrupts: modules raise InterruptRecords into the board's queue. The library hands the board
//   an event by ControlCode 0x90002004 (4-byte request: the event's handle value), which the board
//   references (mfb_vbus.h); it signals that event at once when records are queued, and for every
//   record raised. ControlCode 0x90002008 (80-byte answer) takes the oldest record from the queue;
//   when the queue is empty it answers a record with only the end-of-queue flag (byte 77) set.
//   The layout of a record is protocol/interrupt_record.h's; what the fields mean is each
//   module's (see its header).
#pragma once

#include "mfb_vbus.h"
#include "protocol/requests.h"
#include "sim/board_io.h"
#include "sim/flash.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace mfb::sim {

enum class Function : std::uint8_t {
    None,
    Counter,
    Timer,
    TtlIo,
    Ssi,
    Pwm,
    Etm,
    Frequency,
    PulseEncoder
};
const char* name(Function f);

// One InterruptRecord as the board queues it.
struct InterruptRecord {
    std::uint32_t word1 = 0;
    std::uint32_t word2 = 0;
    std::array<std::uint32_t, 16> values{};
    std::uint32_t value_count = 0;
    std::uint8_t record_byte = 0;
};

// Where a module puts the interrupts it raises.
class InterruptSink {
  public:
    virtual ~InterruptSink() = default;
    virtual void raise(const InterruptRecord& record) = 0;
};

// An exchange as a module sees it: the bus exchange, the request of the module's family it
// carries (protocol/requests.h), the module position it addresses and the bus time.
struct ModuleExchange {
    vbus::Exchange& x;
    const protocol::Request& request;
    std::uint8_t position;
    std::uint64_t now_ns;
    InterruptSink& interrupts;
};

// Whether an exchange brings the buffers its request needs: the request bytes in, room for the
// answer out.
bool fits(const vbus::Exchange& x, const protocol::Request& r);

// The function at one module position. Members are called with the board's lock held, so a
// module needs no lock of its own for state that only the board touches.
class Module {
  public:
    virtual ~Module() = default;
    virtual Function function() const = 0;
    // Answer one exchange of this module's family, the same way for every family: the module
    // catches up with the bus clock, a request shorter than its buffer (or without room for its
    // answer) fails, answer() carries it out, its status word goes where the family's answers
    // carry it, and the request's buffer size is returned; then whatever the request set off
    // (interrupts, a pulse due at once) happens. False fails the exchange
    // (ERROR_INVALID_FUNCTION).
    bool exchange(ModuleExchange& m);
    // Catch up with the bus clock: run, count and raise the interrupts that are due by now_ns.
    virtual void advance(std::uint64_t now_ns, std::uint8_t position, InterruptSink& interrupts) {
        (void)now_ns, (void)position, (void)interrupts;
    }

  protected:
    // What answer() gives in a family whose answers carry no status word (timer, TTL I/O, SSI):
    // accepted, or refused, which fails the exchange as such a driver refuses what it cannot do.
    static constexpr std::uint32_t kAccepted = 0;
    static constexpr std::uint32_t kRefused = 1;
    static constexpr std::uint32_t accepted_if(bool ok) { return ok ? kAccepted : kRefused; }

    // Carries out one request on its buffer `b` (the request on entry, the answer on return, as
    // many bytes as the request's buffer has) at bus time now_ns, and gives the driver status.
    virtual std::uint32_t answer(std::uint32_t code, std::uint8_t* b, std::uint64_t now_ns) = 0;
};

// Creates the module for a function (null for Function::None). Each family's simulated module
// registers itself here.
std::unique_ptr<Module> make_module(Function f);

class SimBoard : public vbus::Driver, private InterruptSink {
  public:
    struct Identity {
        std::string identifier;
        std::uint32_t words[5] = {};
        std::uint8_t information_byte = 4;
    };

    SimBoard(Identity identity, std::array<Function, 4> functions);
    ~SimBoard() override;

    int exchange(vbus::Exchange& x) override;

    // Put a function at a module position (a new module, in its power-on state).
    void set_function(std::uint8_t position, Function f);
    Function function(std::uint8_t position) const;

    // Run `fn` on the module at a position with the board locked, if it is a T.
    template <class T, class Fn> bool with_module(std::uint8_t position, Fn&& fn) {
        std::lock_guard lock(mutex_);
        advance_locked();
        if (!protocol::is_module(position))
            return false;
        T* m = dynamic_cast<T*>(modules_[position].get());
        if (!m)
            return false;
        fn(*m);
        return true;
    }

    // Run `fn` on the board's digital ports and EEPROM with the board locked: the bench's side.
    template <class Fn> decltype(auto) with_io(Fn&& fn) {
        std::lock_guard lock(mutex_);
        return fn(io_);
    }

    const Identity& identity() const { return identity_; }
    void set_identifier(std::string identifier);
    std::uint32_t notified_handle() const;
    std::uint32_t interrupt_event() const;
    std::size_t pending_interrupts() const;

    // Catch up with the bus clock now (modules run and raise what is due).
    void tick();
    // Tick from a thread of the board's own every period, for programs on the real clock.
    void start_ticker(std::uint32_t period_ms = 5);
    void stop_ticker();

    // The board's flash memory, for its failure settings and to read what it holds.
    Flash& flash() { return flash_; }

    // Queue an interrupt as if a module had raised it.
    void raise_interrupt(const InterruptRecord& record);

  private:
    void raise(const InterruptRecord& record) override;
    void advance_locked();
    int board_exchange(vbus::Exchange& x);

    mutable std::mutex mutex_;
    Identity identity_;
    std::unique_ptr<Module> modules_[4];
    std::uint32_t notified_handle_ = 0;
    std::uint32_t interrupt_event_ = 0;     // the value the library handed over last
    vbus::EventReference interrupt_signal_; // the event object behind it
    std::deque<InterruptRecord> queue_;
    BoardIo io_;
    Flash flash_;

    std::thread ticker_;
    std::atomic<bool> ticking_{false};
};

// The default simulated board at a bus index, with the identity and functions documented above.
std::shared_ptr<SimBoard> make_board(std::size_t index);

// Attach `count` default simulated boards to the bus; returns the first one's index.
std::size_t attach_boards(std::size_t count);

} // namespace mfb::sim
