// One input of the hostile-driver target: the boards it attaches, the export calls it makes and
// what its drivers answer, then the clean-up and the checks of what the library still holds.
//
// Input layout (every read past the end gives zeros, and a zero answer is a well-behaved one):
//   byte 0        boards on the bus, 0 to 3 (value % 4)
//   bytes 1, 2    length L of the call stream (u16, little-endian)
//   L bytes       the calls: each a u16 operation and its arguments (below)
//   the rest      the driver's answers, one per exchange of the application's threads
//
// An operation is an export's ordinal (another value below 0xFF00 picks an export by its
// remainder), followed by the arguments that export_table.h describes, or one of:
//   0xFF00 fault       u8 platform function, u8 n (the nth call from now, 1 to 8), u32 error
//   0xFF01 interrupts  u8 board, u8 count (0 to 31), then per record: u8 kind, 80 record bytes,
//                      u32 count; kind bit 0: the read fails, bit 1: keep the end-of-queue byte as
//                      given (else 0), bit 2: the count is the byte count returned (else 80).
//                      The records are queued at the board's driver, which then sets the event
//                      the library handed it.
//   0xFF02 swap        u8 board: the board leaves the bus (its handles fail their exchanges) and
//                      a new one is attached at the end.
//
// An answer: u8 k; k & 3: 0 success with the request left in place, 1 success with answer bytes,
// 2 failure with a u32 error code, 3 a u32 result of any value with answer bytes. Answer bytes
// cover the whole system buffer (the larger of request and answer). (k >> 2) & 3 is the byte
// count returned: the answer's size, 0, more than was asked (by 1 + a u8), or any u32.
#pragma once

#include "export_table.h"
#include "reader.h"
#include "mfb_vbus.h"
#include "protocol/interrupt_record.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace mfbfuzz {

class Session;

// A board whose driver answers as the input says.
class FuzzDriver : public mfb::vbus::Driver {
  public:
    struct Record {
        bool fails = false;
        std::uint8_t bytes[mfb::protocol::interrupt_record::kSize] = {};
        bool has_count = false;
        std::uint32_t count = 0;
    };

    explicit FuzzDriver(Session& s) : session_(s) {}
    int exchange(mfb::vbus::Exchange& x) override;

    // Queues records and sets the interrupt event the library handed over, if any.
    void raise(std::vector<Record> records);

  private:
    int answer_record(mfb::vbus::Exchange& x);

    Session& session_;
    std::mutex mutex_;
    std::deque<Record> records_;
    std::uint32_t event_ = 0;
};

class Session {
  public:
    Session(const std::uint8_t* data, std::size_t size);
    // Runs the input: calls, clean-up, checks. A failed check aborts the process.
    void run();

    // Argument drawing for call<Fn>.
    void draw(std::size_t index, std::uint32_t& v);
    void draw(std::size_t, std::uint16_t& v) { v = calls_.u16(); }
    void draw(std::size_t, std::uint8_t& v) { v = calls_.u8(); }
    void draw(std::size_t, const char*& text);
    void draw(std::size_t, MFB_BoardIntRoutine& routine);
    template <class T> void draw(std::size_t, T*&) {} // out-buffers are placed afterwards
    template <class T> void place(std::size_t index, T*& p, std::size_t count, bool optional) {
        p = optional && (calls_.u8() & 1) ? nullptr
                                          : reinterpret_cast<T*>(buffer(index, count * sizeof(T)));
    }
    // After an export that opens a board: its handle (the out-buffer of parameter `param`)
    // joins the handles that later calls draw from, when the open succeeded.
    void opened(std::int16_t status, int param);

    // The driver's side: one answer from the input, for an exchange of the application.
    int answer(mfb::vbus::Exchange& x);
    // A record read that a driver answered: the library may call the routine once for it.
    static void read_answered();

  private:
    std::uint8_t* buffer(std::size_t param, std::size_t bytes);
    std::uint32_t handle();
    void operation(std::uint16_t op);
    void interrupts();
    void swap();
    void fault();
    void allow_fired_faults();
    void clean_up();
    void check();

    Reader calls_;
    Reader answers_;
    std::mutex answers_mutex_;
    bool quiet_ = false; // clean-up: every answer well-behaved
    std::vector<std::shared_ptr<FuzzDriver>> drivers_;
    std::vector<std::uint32_t> handles_; // every handle an open gave the application
    std::deque<std::string> texts_;      // stable addresses for the texts handed out
    std::vector<std::pair<std::size_t, std::unique_ptr<std::uint8_t[]>>> buffers_;
    struct Fault {
        mfb::vbus::Fn fn;
        unsigned call; // the call number that fails
    };
    std::vector<Fault> faults_;
    std::size_t handles_allowed_ = 0; // objects that fired release failures left behind
    std::size_t blocks_allowed_ = 0;
    std::size_t pins_allowed_ = 0;
};

template <auto Fn> std::int16_t call(Session& s, const Shape& shape) {
    using Args = typename Signature<decltype(Fn)>::Args;
    Args args{};
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (s.draw(I, std::get<I>(args)), ...);
        (
            [&] {
                if constexpr (std::is_same_v<std::tuple_element_t<I, Args>, std::uint32_t>)
                    if (shape.bounded == static_cast<int>(I) && std::get<I>(args) != 0xFFFFFFFF)
                        std::get<I>(args) %= shape.bound + 1;
            }(),
            ...);
        const auto count = [&](std::size_t index) -> std::size_t {
            for (std::size_t b = 0; b < shape.buffer_count; ++b) {
                const Shape::Buffer& buf = shape.buffers[b];
                if (buf.param == static_cast<int>(index))
                    return buf.count_param < 0 ? buf.count : integer_at(args, buf.count_param);
            }
            return 1;
        };
        (
            (void)[&] {
                // Every pointer but the texts and the routine gets a buffer of its own: an
                // in-value (const) is required as an out-buffer is.
                if constexpr (std::is_pointer_v<std::tuple_element_t<I, Args>> &&
                              !std::is_same_v<std::tuple_element_t<I, Args>, const char*> &&
                              !std::is_function_v<
                                  std::remove_pointer_t<std::tuple_element_t<I, Args>>>)
                    s.place(I, std::get<I>(args), count(I), shape.is_optional(I));
            }(),
            ...);
    }
    (std::make_index_sequence<std::tuple_size_v<Args>>{});
    const std::int16_t status = std::apply(Fn, args);
    if (shape.opens >= 0)
        s.opened(status, shape.opens);
    return status;
}

} // namespace mfbfuzz
