// The simulated incremental counter module: a counter driven by two simulated encoder inputs, with
// latch registers, index and reference logic, status bytes, plain and modulo compare logic, a
// digital channel and interrupts.
//
// Encoder inputs. Input 0 drives the 32-bit counter (or 16-bit counter 0), input 1 drives 16-bit
// counter 1. Each input moves by quadrature edges: at a rate in edges per second set by the test
// bench (signed: negative moves backwards; limited to +-10,000,000 per second), in whole edges
// computed exactly from the bus clock, and by single pulses the bench gives. Input 0 also has an
// index track (one index pulse every N edges, N set by the bench; 0 = none) and the bench may give
// single index pulses. The reference input and the two external strobe inputs are levels the bench
// sets. The counter counts from power-on in its power-on set-up.
//
// Set-up bytes of InitCounter (0x9000200C, bytes 1 to 5):
//   1  counter range: 0 one 32-bit counter (power-on), 1 two 16-bit counters
//   2  direction of the 32-bit counter / counter 0: 0 counts up when the input moves forward,
//      1 counts down
//   3  direction of counter 1 (16-bit range only), as byte 2
//   4  edge evaluation: 4 every quadrature edge counts (power-on), 2 every second edge, 1 every
//      fourth edge (one count per encoder line)
//   5  hysteresis: 0 off (power-on), 1 the first count after a change of direction (against the
//      last count, or against up before any) is swallowed
// InitCounter clears the counter word, its carry/borrow flags and both latch registers, and the
// edge evaluation starts afresh where the inputs stand; the other set-ups stay. Switching to the
// 16-bit range disables the compare logic and drops its set-up.
//
// Filter bytes. A filter step n (0 off, 1 to 7) suppresses pulses shorter than 100 ns * 2^n: an
// input faster than 10,000,000 / 2^n edges per second counts nothing at all. Single pulses of the
// bench are always long enough.
//   SetInputFilter (0x9000201C): byte 1 step of input 0, byte 2 step of input 1
//   SetInputFilterEFG (0x90004008): byte 2 step of the index (E), reference (F) and strobe (G)
//   inputs; of these only the index track moves fast: its pulse lasts one edge of input 0, so it
//   is lost while input 0 moves faster than the step's limit.
//
// Counter word (0x90002030 read, 0x90002034 write, value field bytes 4 to 7): the 32-bit counter,
//   or counter 1 in bits 16 to 31 and counter 0 in bits 0 to 15. A write always sets the whole
//   word: a 16-bit write of one counter arrives as a word like any other, so it sets the other
//   counter to the word's other half. Clear (0x90002014) sets the word to 0.
//
// Latch (0x90002020): the value field is a mask of latch registers, bit 0 register 0, bit 1
//   register 1 (1 to 3); each selected register takes the counter word. Latch register status
//   (0x90002024, register number 0 or 1 in byte 1, answer byte 2): 0 empty or read, 1 holds a
//   value not yet read, 2 latched again before the previous value was read (overrun). Reading a
//   register's value (0x90002028, register in byte 1) sets its status to 0.
// External strobe (0x90002064): byte 1 strobe input 0 or 1, byte 2 edge, 0 rising, 1 falling. From
//   then on that edge of strobe input n latches the counter word into latch register n.
// Latch interrupt (0x9000202C): value 1 on, 0 off. While on, every latch (software or strobe)
//   raises an interrupt.
//
// Index (0x90002038, bytes 1 to 4):
//   1  action: 0 the index clears the 32-bit counter / counter 0, 1 it latches the counter word
//      into latch register 0
//   2  direction: 0 index in both directions, 1 only while counting up, 2 only while counting down
//   3  mode: 0 every index pulse, 1 only the first one after EnableIndex (then the index disables
//      itself; used for a reference run)
//   4  interrupt: 0 none, 1 every index event raises an interrupt
//   InitIndex leaves the index disabled and clears its status; EnableIndex / DisableIndex
//   (0x9000203C, value 1 / 0) switch it. Index status (0x90002040, byte 4): 1 once an index event
//   happened since the index was set up or enabled, else 0.
// Index source (0x90002044, value): 0 the index track of input 0 (power-on), 1 the reference
//   input: its change to the active level is the index.
// Reference (0x90002048, value): active level, 0 low, 1 high. Once set up, index pulses of the
//   index track count only while the reference input is at its active level. Reference status
//   (0x9000204C, byte 4): 1 while the reference input is at its active level (high before the
//   set-up).
//
// Status bytes (answer byte 4 unless said otherwise):
//   UAS (0x90002050): the input levels as sampled: bit 0 track A, bit 1 track B of input 0 (the
//     quadrature phase of its position: 00, 01, 11, 10 as A B for positions 0, 1, 2, 3 mod 4),
//     bit 2 the index track (high on the edge at which an index pulse sits), bit 3 the reference
//     input.
//   CB (0x90002054): carry/borrow of the 32-bit counter / counter 0: bit 0 carry (passed from the
//     highest value to 0 counting up), bit 1 borrow (from 0 to the highest value counting down).
//     Sticky until read; reading clears them. 16-bit CB (0x90002058): byte 1 the flags of counter
//     0, byte 2 those of counter 1; reading clears both.
//   UD (0x9000205C): direction of the last count, 1 up, 0 down: bit 0 the 32-bit counter /
//     counter 0, bit 1 counter 1 (16-bit range only). Power-on: up.
//   Interrupt UD latched (0x90002060): the UD status at the last event that raised an interrupt
//     (0 before any).
//
// Compare logic (32-bit range only):
//   Plain (0x90002068, value field the compare value): an event whenever the counter reaches the
//     compare value, counting up or down.
//   Modulo (0x90004510, value field the modulo M, 1 or more, byte 8 the option): an event at every
//     M counts of movement; the phase starts at the counter word modulo M, so events fall on the
//     multiples of M, and a write, a clear or an index clear of the counter sets the phase anew.
//     Option 0: the counter runs on; option 1: the counter itself runs from 0 to M - 1 and wraps
//     (setting carry or borrow), and a write of M or more is refused.
//   Correction (0x90004004, u16 at bytes 2-3 the extra counts E, u16 at bytes 4-5 the period P):
//     every P-th period of the modulo compare is E counts longer (for a line count that M does not
//     divide); P = 0 switches the correction off.
//   Switch (0x9000206C, value 1 / 0): compare events take effect only while on: the counter word at
//     the event (the compare value; for modulo the first value of the new period) goes to the
//     compare latch register (0x90004514, 0 before any event), the digital channel toggles if the
//     compare logic drives it, and an interrupt is raised.
// Digital channel use (0x9000450C, byte 1): 0 a plain output switched by 0x90002088 (value 1 on,
//   0 off; power-on), 1 the compare output, toggled by each compare event.
// Self-test (0x90002010, 8 bytes): passes unless the bench injects a fault; leaves the module as
//   it was. The board's own self-test asks each counter position in turn, and the board's
//   clear-all (0x90002018) sends each counter position the clear (0x90002014).
//
// Driver status (the last four bytes of every answer):
//    0  done
//   -1  an argument is out of range (set-up byte, filter step, latch mask or register number,
//       strobe input or edge, index set-up, source, level, switch value, modulo 0, option, use)
//   -2  the request does not fit the module's state: compare logic in the 16-bit range, enabling
//       compare logic or an index that was never set up, switching the digital channel while the
//       compare logic drives it, writing a modulo counter beyond its modulo
//   -3  the self-test failed
// A request shorter than its code's buffer fails the exchange (ERROR_INVALID_FUNCTION).
//
// Interrupt records (through the board's queue):
//   record byte  the module position (0 to 3)
//   word 1       the source: 1 latch, 2 index, 3 compare
//   word 2       the counter word at the event: the latched value, the counter before an index
//                clear, the compare latch value; for several events the last one's
//   values       [0] the number of events the record stands for, [1] the UD status at the event,
//                [2] for a latch the mask of latch registers that took the value, else 0
//   value count  3
// Events of one source that fall into one catch-up (between two exchanges or ticks of the board)
// are reported by one record, so that a fast encoder cannot flood the queue.
#pragma once

#include "sim/sim_board.h"

#include <cstdint>
#include <vector>

namespace mfb::sim {

class CounterModule : public Module {
  public:
    static constexpr std::int64_t kMaxRate = 10'000'000; // edges per second

    Function function() const override { return Function::Counter; }
    void advance(std::uint64_t now_ns, std::uint8_t position, InterruptSink& interrupts) override;

    // ---- test bench (call through SimBoard::with_module, which brings the module up to the
    // bus time first; what the bench does takes effect at that time) ----
    // Rate of an encoder input (0 or 1) in edges per second, clamped to +-kMaxRate.
    void set_rate(unsigned input, std::int64_t edges_per_second);
    // Move an input by a number of edges at once (negative: backwards).
    void pulse(unsigned input, std::int64_t edges = 1);
    // One index pulse every `edges` edges of input 0, at its positions that are multiples of it.
    void set_index_every(std::int64_t edges);
    // A single index pulse on the index track.
    void index_pulse();
    void set_reference(bool high);
    void set_strobe(unsigned input, bool high);
    // Make the self-test fail (or pass again).
    void set_self_test_fault(bool failing);

    std::uint32_t counter_word() const { return word_; }
    bool digital_channel() const { return channel_on_; }
    std::int64_t encoder_position(unsigned input) const { return inputs_[input & 1].position; }

  private:
    struct Input {
        std::int64_t rate = 0;      // edges per second
        std::int64_t remainder = 0; // edge-nanoseconds not yet a whole edge
        std::int64_t position = 0;  // where the encoder is
        std::int64_t seen = 0;      // where the counter has followed it to
        std::uint8_t filter = 0;
    };
    struct LatchRegister {
        std::uint32_t value = 0;
        std::uint8_t status = 0;
    };
    struct Strobe {
        bool armed = false;
        bool falling = false;
        bool level = false;
    };
    enum class Compare { None, Plain, Modulo };
    enum class BenchKind { Pulse, IndexPulse, Reference, Strobe };
    struct BenchEvent {
        BenchKind kind;
        unsigned input;
        std::int64_t edges;
        bool level;
    };
    enum Source : std::uint32_t { kLatchSource = 1, kIndexSource = 2, kCompareSource = 3 };

    std::uint32_t answer(std::uint32_t code, std::uint8_t* b, std::uint64_t now_ns) override;
    void run_bench_event(const BenchEvent& e);
    void move(unsigned input, std::int64_t edges, bool from_rate);
    void follow(unsigned input, std::int64_t edges, bool filtered);
    void count(unsigned counter, std::int64_t counts);
    void step_counter(unsigned counter, std::int64_t counts);
    void step_word(std::int64_t counts);
    void index_event(bool from_track);
    void latch(std::uint8_t mask);
    void store_latch(unsigned reg, std::uint32_t value);
    void event(Source source, std::uint32_t value, std::uint64_t count = 1, std::uint8_t mask = 0);
    void flush(std::uint8_t position, InterruptSink& interrupts);
    void set_word(std::uint32_t word);
    void resync_modulo();
    std::uint64_t period(std::int64_t k) const;
    std::uint8_t ud_status() const;
    std::uint8_t uas_status() const;
    bool reference_active() const;
    std::uint16_t half(unsigned counter) const;

    std::uint64_t last_ns_ = 0;
    std::vector<BenchEvent> bench_;
    std::vector<InterruptRecord> pending_;

    // set-up
    bool split_ = false;
    bool inverted_[2] = {};
    std::uint8_t evaluation_ = 4;
    bool hysteresis_ = false;
    std::uint8_t efg_filter_ = 0;
    Input inputs_[2];

    // counter
    std::uint32_t word_ = 0;
    std::uint8_t cb_[2] = {};
    bool up_[2] = {true, true};
    std::uint8_t ud_latched_ = 0;

    // latch and strobe
    LatchRegister latch_[2];
    bool latch_interrupt_ = false;
    Strobe strobe_[2];

    // index and reference
    bool index_set_up_ = false;
    std::uint8_t index_action_ = 0, index_direction_ = 0;
    bool index_single_ = false, index_interrupt_ = false, index_enabled_ = false;
    bool index_status_ = false;
    std::int64_t index_every_ = 0;
    std::uint8_t index_source_ = 0;
    bool reference_set_up_ = false, reference_active_high_ = true, reference_level_ = false;

    // compare
    Compare compare_ = Compare::None;
    bool compare_enabled_ = false;
    std::uint32_t compare_value_ = 0;
    std::uint32_t modulo_ = 0;
    bool modulo_counter_ = false;
    std::uint16_t correction_extra_ = 0, correction_every_ = 0;
    std::uint64_t phase_ = 0;
    std::int64_t period_index_ = 0;
    std::uint32_t compare_latch_ = 0;

    // digital channel and self-test
    bool channel_compare_ = false;
    bool channel_on_ = false;
    bool self_test_fault_ = false;
};

} // namespace mfb::sim
