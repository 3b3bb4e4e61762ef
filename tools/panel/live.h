// The panel's live data: the boards as the page draws them, and one pass of reads that every open
// page shares.
//
// The boards stay open while the panel runs, each with an interrupt routine of the panel's own
// that queues the records it gets. A pass reads every value the cards show (a counter's count, a
// TTL module's lines, the board's ports, ...) once, takes the interrupt records queued since the
// last pass and makes one event of it all, which goes to every page: however many pages are open,
// no value is read more often than the passes come, at most kMaxReadsPerSecond a second on the
// panel's clock. A read that fails puts the refusal on its card, in the command line's words.
#pragma once

#include "panel.h"

#include "mfb.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace mfbctl::panel {

// Sends an event to every open page: its name and its data, one line of JSON.
using Publish = std::function<void(const std::string& event, const std::string& data)>;

// A string as a JSON string; the bytes of UTF-8 text pass as they are.
std::string json_text(std::string_view s);

class Live {
  public:
    explicit Live(std::shared_ptr<Clock> clock);
    ~Live();

    // Opens every board the library finds and installs its interrupt routine; close() gives them
    // back.
    void open();
    void close();

    // The boards as the page draws them (JSON): identity, versions and the function at each
    // module position. describe() reads them again, after a command that may have changed them
    // (inside exclusive()); true where they changed.
    std::string boards() const;
    bool describe();

    // Runs `fn` while no pass reads: the commands a page runs.
    template <class Fn> auto exclusive(Fn&& fn) {
        std::lock_guard lock(board_mutex_);
        return fn();
    }

    // Makes a pass whenever one is due while `streams()` is nonzero, publishing it as the event
    // "frame", until stop(). Runs on a thread of the panel's.
    void run(const Publish& publish, const std::function<std::size_t()>& streams);
    void stop();

    // One pass at the clock's time now, as run() makes it.
    std::string pass();

  private:
    struct Board {
        unsigned index = 0;
        MFB_BoardHandle handle = 0;
        std::vector<unsigned> functions; // by module position; 0 where none or unknown
    };
    struct Record {
        std::uint64_t t_ns;
        unsigned board, record_byte;
        std::uint32_t word1, word2;
        std::vector<std::uint32_t> values;
    };
    static void MFB_CALL on_interrupt(std::uint32_t handle, std::uint32_t record_byte,
                                      std::uint32_t word1, std::uint32_t word2, std::uint32_t count,
                                      std::uint32_t* values);
    std::string read_module(const Board& b, unsigned position, unsigned function);
    std::string read_ports(const Board& b);
    std::string interrupt_records();
    // The refusal as the command line words it, remembered for the next pass.
    std::string refusal(unsigned board, std::optional<unsigned> module, unsigned function,
                        const char* export_name, int status);

    std::shared_ptr<Clock> clock_;
    std::mutex board_mutex_; // held by a pass and by a command
    std::vector<Board> boards_;
    std::string boards_json_;
    mutable std::mutex boards_json_mutex_;
    std::map<std::tuple<unsigned, unsigned, std::string, int>, std::string> refusals_;

    std::mutex records_mutex_;
    std::deque<Record> records_;
    std::uint64_t records_total_ = 0, records_dropped_ = 0;
    std::atomic<bool> stopping_{false};
};

} // namespace mfbctl::panel
