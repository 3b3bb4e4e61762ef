// Boards and module positions as commands address them.
#pragma once

#include "mfb.h"
#include "sim/sim_board.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mfbctl {

using mfb::sim::Function;

// The number of boards the library finds.
unsigned board_count();
// Fails with "no board at index 5: 2 boards found" unless the library finds the board.
void require_board(unsigned index);

// Opens a board by index for the life of one command and closes it after. A board index the
// library does not know fails with "no board at index 5: 2 boards found".
class OpenBoard {
  public:
    explicit OpenBoard(unsigned index);
    ~OpenBoard();
    OpenBoard(const OpenBoard&) = delete;
    OpenBoard& operator=(const OpenBoard&) = delete;
    MFB_BoardHandle handle() const { return handle_; }
    unsigned index() const { return index_; }

  private:
    unsigned index_;
    MFB_BoardHandle handle_ = 0;
};

// The simulated board at a board index, or null on a board that is not simulated.
std::shared_ptr<mfb::sim::SimBoard> simulated_board(unsigned index);

// Which function a module position carries, from the board's module configuration word; nullopt
// where the board does not tell. Every command that needs to know asks here.
std::optional<Function> module_function(unsigned board, unsigned position);

// "counter", "timer", "ttl", ... as commands name the functions; and in a sentence: "a counter",
// "an SSI module", "empty".
std::string function_name(Function f);
std::string function_words(Function f);

// The function a name, or its family's command, names ("frequency", "freq"); a UsageError
// naming `name` and the functions otherwise.
Function parse_function(std::string_view text, std::string_view name);

// A function fitted at a module position of a simulated board: set-module in a session, and
// --sim-layout BOARD:MODULE=FUNCTION[,...] (or MFB_SIM_LAYOUT) for a single run.
struct FittedModule {
    unsigned board, module;
    Function function;
};
std::vector<FittedModule> parse_layout(std::string_view text);
void fit_module(unsigned board, unsigned module, Function f);

// The module a command addresses: the one given, else the board's first position that carries
// `f`. Without one, fails naming the board's positions and a board that has the function.
std::uint8_t resolve_module(unsigned board, const std::optional<unsigned>& module, Function f);

// A board opened for one command and the module position of one function on it; with
// Function::None the board itself (its own ports), no module position.
class ModuleAccess {
  public:
    ModuleAccess(unsigned board, const std::optional<unsigned>& module, Function f);
    MFB_BoardHandle h() const { return board_.handle(); }
    unsigned board() const { return board_.index(); }
    std::uint8_t module() const { return module_; }
    Function function() const { return function_; }
    // Throws CallFailed unless the status is 0; where the position carries another function, or
    // a simulated module tells why it refused, the message says so.
    void check(const char* function, int status) const;
    // "board 0 module 1"
    std::string where() const;

  private:
    OpenBoard board_;
    std::uint8_t module_;
    Function function_;
};

[[noreturn]] void not_simulated(const ModuleAccess& m);

// Runs `fn` on the simulated module T at the position `m` addresses, as the test bench would;
// fails with "board 1 module 3 is not an ETM module of a simulated board" where there is none.
template <class T, class Fn> void with_simulated(const ModuleAccess& m, Fn&& fn) {
    auto sim = simulated_board(m.board());
    if (!sim || !sim->template with_module<T>(m.module(), std::forward<Fn>(fn)))
        not_simulated(m);
}

} // namespace mfbctl
