// Interrupt commands: watch a board's interrupts as they arrive, each record decoded.
//
// `watch` installs an interrupt routine, prints every record until it is interrupted (Ctrl-C), a
// count or a time is reached, and resets the routine; with --drive it also turns a simulated
// counter's encoder with modulo compare, so that compare interrupts arrive. In a session
// `watch-start` and `watch-stop` keep a routine installed while other commands set modules up.
//
// A record reads as the explanation table (include/mfb_explain.json) says for the function at
// its module position: the source and the named values of a counter, a timer or a pulse encoder.
//
// `watch --labview` installs the library's LabVIEW routine instead, with the LabVIEW runtime
// stand-in of the simulated bus as the runtime, and prints each user event as a LabVIEW program
// registered for it receives it: the refnum and the cluster (record byte, words 1 and 2, values).
#include "mfbctl.h"

#include "common/explain.h"
#include "sim/counter_module.h"
#include "sim/labview_runtime.h"

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

namespace mfbctl {
namespace interrupt_commands {

// A board whose interrupts are printed: what the routine needs, fixed when it is installed.
struct Watched {
    unsigned board = 0;
    MFB_BoardHandle handle = 0;
    std::array<Function, 4> functions{};
    std::array<bool, 4> known{}; // whether the board told the function
    Output out;
    std::uint64_t start_ns = 0; // on the command clock
    std::atomic<unsigned> seen{0};
    unsigned limit = 0; // records to print; 0: no limit
    bool labview = false;
};

std::mutex g_mutex;
std::map<MFB_BoardHandle, std::shared_ptr<Watched>> g_watched; // by handle, for the routine
std::atomic<bool> g_interrupted{false};

// One record, decoded for the function at its module position as the explanation table says
// (include/mfb_explain.json).
void print_record(Watched& w, std::uint32_t record_byte, std::uint32_t word1, std::uint32_t word2,
                  std::uint32_t count, const std::uint32_t* values) {
    const std::uint64_t t = command_clock_ns() - w.start_ns;
    const std::vector<std::uint32_t> shown(values, values + (count < 16 ? count : 16));
    const bool known = record_byte < 4 && w.known[record_byte];
    const unsigned function = known ? static_cast<unsigned>(w.functions[record_byte]) : 0;
    const explain::Decoded d = explain::decode_interrupt(function, word1, word2, shown);
    const std::string name = known ? function_name(w.functions[record_byte]) : "unknown";
    Record r;
    r.key("board", w.board).key("module", record_byte).key("function", name);
    std::string text = fmt::format("{:10.6f}  board {} module {}  ", static_cast<double>(t) / 1e9,
                                   w.board, record_byte);
    if (!d.source.empty()) {
        r.value("source", d.source);
        text += fmt::format("{} {:<8}", name, d.source);
        for (const explain::Field& f : d.fields) {
            if (f.word.empty()) {
                r.value(f.name, f.value);
                text += fmt::format("  {} {}", f.name, f.value);
            } else {
                r.value(f.name, f.word);
                text += fmt::format("  {} {}", f.name, f.word);
            }
        }
    } else {
        text += fmt::format("{} record byte {:#04x}  word 1 {:#010x}  word 2 {:#010x}  values",
                            known ? name : "module", record_byte, word1, word2);
        for (std::uint32_t v : shown)
            text += fmt::format(" {}", v);
    }
    r.detail("record_byte", record_byte).detail("word1", word1).detail("word2", word2);
    r.detail("values", shown);
    w.out.at = static_cast<double>(t) / 1e9;
    emit(w.out, r, text);
    end_values_line();
    std::fflush(stdout);
}

// One LabVIEW user event, as the program registered for it receives it.
void print_event(Watched& w, const mfb::sim::labview::Event& e) {
    const double t = static_cast<double>(command_clock_ns() - w.start_ns) / 1e9;
    Record r;
    r.key("board", w.board).key("refnum", e.refnum);
    r.value("record_byte", e.record_byte).value("word1", e.word1).value("word2", e.word2);
    r.value("count", e.count).value("values", e.values);
    w.out.at = t;
    emit(w.out, r,
         fmt::format("{:10.6f}  board {}  {}", t, w.board, mfb::sim::labview::describe(e)));
    end_values_line();
    std::fflush(stdout);
}

// Runs on the library's interrupt thread.
void MFB_CALL on_interrupt(std::uint32_t handle, std::uint32_t record_byte, std::uint32_t word1,
                           std::uint32_t word2, std::uint32_t count, std::uint32_t* values) {
    std::shared_ptr<Watched> w;
    {
        std::lock_guard lock(g_mutex);
        auto it = g_watched.find(handle);
        if (it == g_watched.end())
            return;
        w = it->second;
    }
    const unsigned index = w->seen.fetch_add(1);
    if (w->limit == 0 || index < w->limit)
        print_record(*w, record_byte, word1, word2, count, values);
}

struct WatchOptions {
    unsigned board = 0;
    std::optional<unsigned> module; // the counter that --drive turns
    unsigned count = 0;
    std::optional<Time> duration;
    std::optional<std::int64_t> drive;
    std::uint32_t modulo = 1000;
    Output out;
    bool labview = false;
    std::uint32_t refnum = 0x1234;
    bool modulo_given = false, refnum_given = false;
};

// The routine: the tool's own, or the library's LabVIEW one posting to the runtime stand-in.
int install(Watched& w, std::uint32_t refnum) {
    if (!w.labview)
        return i_MFB_SetBoardIntRoutine(w.handle, on_interrupt);
    mfb::sim::labview::reset();
    mfb::sim::labview::install(mfb::sim::labview::kLvrt);
    mfb::sim::labview::on_event([&w](const mfb::sim::labview::Event& e) {
        const unsigned index = w.seen.fetch_add(1);
        if (w.limit == 0 || index < w.limit)
            print_event(w, e);
    });
    return i_MFB_SetLabViewInterrupt(w.handle, &refnum);
}

int uninstall(Watched& w) {
    if (!w.labview)
        return i_MFB_ResetBoardIntRoutine(w.handle);
    const int status = i_MFB_ResetLabViewInterrupt(w.handle);
    mfb::sim::labview::reset();
    return status;
}

// Opens the board and installs the routine; the board stays open until unwatch.
std::shared_ptr<Watched> watch_board(unsigned board, const Output& out, unsigned limit,
                                     bool labview = false, std::uint32_t refnum = 0) {
    auto w = std::make_shared<Watched>();
    w->labview = labview;
    w->board = board;
    w->out = out;
    w->limit = limit;
    w->start_ns = command_clock_ns();
    for (unsigned p = 0; p < 4; ++p)
        if (const auto f = module_function(board, p))
            w->functions[p] = *f, w->known[p] = true;
    require_board(board);
    check("i_MFB_OpenBoardViaIndex", i_MFB_OpenBoardViaIndex(u8(board), &w->handle));
    {
        std::lock_guard lock(g_mutex);
        g_watched[w->handle] = w;
    }
    if (int s = install(*w, refnum); s != 0) {
        if (labview)
            mfb::sim::labview::reset();
        {
            std::lock_guard lock(g_mutex);
            g_watched.erase(w->handle);
        }
        i_MFB_CloseBoard(w->handle);
        check(labview ? "i_MFB_SetLabViewInterrupt" : "i_MFB_SetBoardIntRoutine", s);
    }
    return w;
}

void unwatch(Watched& w) {
    const int reset = uninstall(w);
    {
        std::lock_guard lock(g_mutex);
        g_watched.erase(w.handle);
    }
    i_MFB_CloseBoard(w.handle);
    check(w.labview ? "i_MFB_ResetLabViewInterrupt" : "i_MFB_ResetBoardIntRoutine", reset);
}

// --drive: turn the simulated counter's encoder and raise a compare interrupt every `modulo`
// counts, through the library as an application would set it up.
struct Drive {
    explicit Drive(const WatchOptions& o)
        : m(o.board, o.module, Function::Counter), rate(*o.drive) {
        auto sim = simulated_board(m.board());
        if (!sim || !sim->with_module<mfb::sim::CounterModule>(m.module(), [](auto&) {}))
            throw std::runtime_error(
                fmt::format("--drive: {} is not a simulated counter", m.where()));
        m.check("i_MFB_InitModuloCompareLogic",
                i_MFB_InitModuloCompareLogic(m.h(), m.module(), o.modulo, 0));
        m.check("i_MFB_EnableCompareLogic", i_MFB_EnableCompareLogic(m.h(), m.module()));
        set_rate(rate);
        say(o.out, fmt::format("driving the simulated encoder of {} at {} edges/s, compare every "
                               "{} counts",
                               m.where(), rate, o.modulo));
    }
    ~Drive() {
        set_rate(0);
        i_MFB_DisableCompareLogic(m.h(), m.module());
    }
    void set_rate(std::int64_t r) {
        simulated_board(m.board())->with_module<mfb::sim::CounterModule>(
            m.module(), [r](mfb::sim::CounterModule& c) { c.set_rate(0, r); });
    }
    ModuleAccess m;
    std::int64_t rate;
};

void check_watch_options(const WatchOptions& o) {
    // Options that only mean something beside another: without it they would change nothing.
    const struct {
        bool given, needed;
        const char* option;
        const char* beside;
    } kPairs[] = {
        {o.modulo_given, o.drive.has_value(), "--modulo", "--drive"},
        {o.module.has_value(), o.drive.has_value(), "--module", "--drive"},
        {o.refnum_given, o.labview, "--refnum", "--labview"},
    };
    for (const auto& p : kPairs)
        if (p.given && !p.needed)
            throw UsageError(fmt::format("{}: takes effect only with {} (as in `watch {} ... {} "
                                         "...`)",
                                         p.option, p.beside, p.beside, p.option));
}

void watch(const WatchOptions& o) {
    check_watch_options(o);
    g_interrupted = false;
    auto previous = std::signal(SIGINT, [](int) { g_interrupted = true; });
    std::shared_ptr<Watched> w = watch_board(o.board, o.out, o.count, o.labview, o.refnum);
    try {
        std::optional<Drive> drive;
        if (o.drive)
            drive.emplace(o);
        say(o.out,
            fmt::format(
                "watching board {}{} ({}Ctrl-C ends)", o.board,
                o.labview ? fmt::format(" for LabVIEW, user event refnum {:#010x}", o.refnum) : "",
                o.count ? fmt::format("{} interrupts or ", o.count) : ""));
        std::fflush(stdout);
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::nanoseconds(o.duration ? o.duration->ns : 0);
        while (!g_interrupted.load() && (o.count == 0 || w->seen.load() < o.count) &&
               (!o.duration || std::chrono::steady_clock::now() < until))
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } catch (...) {
        std::signal(SIGINT, previous);
        uninstall(*w);
        std::lock_guard lock(g_mutex);
        g_watched.erase(w->handle);
        i_MFB_CloseBoard(w->handle);
        throw;
    }
    std::signal(SIGINT, previous);
    unwatch(*w);
    const unsigned seen = o.count ? std::min(w->seen.load(), o.count) : w->seen.load();
    say(o.out, fmt::format("{} interrupt{}", seen, seen == 1 ? "" : "s"));
}

// Boards watched by watch-start in this session.
std::map<unsigned, std::shared_ptr<Watched>>& started() {
    static std::map<unsigned, std::shared_ptr<Watched>> boards;
    return boards;
}

void watch_start(unsigned board, const Output& out) {
    if (!in_session())
        throw UsageError("watch-start keeps a routine installed for the following commands of a "
                         "session, and a single run ends at once: use it in `mfbctl shell`, or "
                         "use `watch`");
    if (started().count(board))
        throw UsageError(fmt::format("board {} is already watched", board));
    started()[board] = watch_board(board, out, 0);
    say(out, fmt::format("watching board {}", board));
}

void watch_stop(unsigned board, const Output& out) {
    if (!in_session())
        throw UsageError("watch-stop ends what watch-start began in a session: use it in "
                         "`mfbctl shell`");
    auto it = started().find(board);
    if (it == started().end())
        throw UsageError(fmt::format("board {} is not watched (watch-start it first)", board));
    std::shared_ptr<Watched> w = it->second;
    started().erase(it);
    unwatch(*w);
    say(out, fmt::format("stopped watching board {}: {} interrupt{}", board, w->seen.load(),
                         w->seen.load() == 1 ? "" : "s"));
}

} // namespace interrupt_commands

bool interrupts_watched(unsigned board) {
    return interrupt_commands::started().count(board) != 0;
}

void require_routine(unsigned board, const std::string& what) {
    if (in_session() && interrupts_watched(board))
        return;
    throw UsageError(fmt::format(
        "{}: its interrupts would reach no routine{}: run `watch-start -b {}` first in `mfbctl "
        "shell`, and the records show as they come",
        what, in_session() ? fmt::format(" (board {} is not watched)", board) : " in a single run",
        board));
}

namespace interrupt_commands {

void add_interrupt_commands(CLI::App& app) {
    auto o = std::make_shared<WatchOptions>();
    auto* w = app.add_subcommand("watch", "print each interrupt of a board as it arrives, decoded");
    w->group(kInterrupts);
    add_board_option(w, o->board);
    add_number(w, "-n,--count", o->count, 1, 1'000'000'000, "number of interrupts",
               "stop after this many interrupts");
    add_time(w, "--for", o->duration, "stop after this time");
    add_output_options(w, o->out);
    add_number(w, "--drive", o->drive, 1, mfb::sim::CounterModule::kMaxRate, "encoder rate",
               "simulated board: turn the counter's encoder at this many edges/s with modulo "
               "compare, so that compare interrupts arrive");
    add_number(w, "--modulo", o->modulo, 1, 0xFFFFFFFF, "modulo",
               "with --drive: a compare interrupt every this many counts (default 1000)")
        ->each([o](const std::string&) { o->modulo_given = true; });
    add_module_option(w, o->module)->description("with --drive: the counter's module position");
    w->add_flag("--labview", o->labview,
                "install the library's LabVIEW routine, with the simulated LabVIEW runtime, and "
                "print the user events as a LabVIEW program receives them");
    add_number(w, "--refnum", o->refnum, 0, 0xFFFFFFFF, "user event refnum",
               "with --labview: the user event refnum (default 0x1234)")
        ->each([o](const std::string&) { o->refnum_given = true; });
    w->callback([o] { watch(*o); });

    add_board_command(app, "watch-start",
                      "in a session: print the interrupts of a board from now on, and go on",
                      kInterrupts, watch_start);
    add_board_command(app, "watch-stop", "in a session: stop what watch-start began", kInterrupts,
                      watch_stop);
}
const RegisterCommands registered(300, add_interrupt_commands);

} // namespace interrupt_commands
} // namespace mfbctl
