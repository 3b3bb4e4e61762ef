// Interrupt commands: watch a board's interrupts as they arrive, each record decoded.
//
// `watch` installs an interrupt routine, prints every record until it is interrupted (Ctrl-C), a
// count or a time is reached, and resets the routine; with --drive it also turns a simulated
// counter's encoder with modulo compare, so that compare interrupts arrive. In a session
// `watch-start` and `watch-stop` keep a routine installed while other commands set modules up.
//
// A record as the simulated modules fill it (sim/counter_module.h, sim/timer_module.h): the record
// byte is the module position; a counter gives the source in word 1 (1 latch, 2 index,
// 3 compare), the counter word in word 2, and the number of events, the direction status and the
// latch mask in values 0 to 2; a timer gives its number in word 1, the times it reached zero since
// the enable in word 2 and the passages this record covers in value 0.
//
// `watch --labview` installs the library's LabVIEW routine instead, with the LabVIEW runtime
// stand-in of the simulated bus as the runtime, and prints each user event as a LabVIEW program
// registered for it receives it: the refnum and the cluster (record byte, words 1 and 2, values).
#include "mfbctl.h"

#include "sim/counter_module.h"
#include "sim/labview_runtime.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
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
    std::chrono::steady_clock::time_point start;
    std::atomic<unsigned> seen{0};
    unsigned limit = 0; // records to print; 0: no limit
    bool labview = false;
};

std::mutex g_mutex;
std::map<MFB_BoardHandle, std::shared_ptr<Watched>> g_watched; // by handle, for the routine
std::atomic<bool> g_interrupted{false};

const char* counter_source(std::uint32_t word1) {
    switch (word1) {
    case 1:
        return "latch";
    case 2:
        return "index";
    case 3:
        return "compare";
    }
    return "unknown";
}

// One record, decoded for the function at its module position.
void print_record(Watched& w, std::uint32_t record_byte, std::uint32_t word1, std::uint32_t word2,
                  std::uint32_t count, const std::uint32_t* values) {
    const double t =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - w.start).count();
    const std::vector<std::uint32_t> shown(values, values + (count < 16 ? count : 16));
    const auto value = [&](std::size_t i) { return i < shown.size() ? shown[i] : 0u; };
    const bool known = record_byte < 4 && w.known[record_byte];
    const Function function = known ? w.functions[record_byte] : Function::None;
    Record r;
    r.value("time", std::round(t * 1e6) / 1e6).key("board", w.board).key("module", record_byte);
    std::string text = fmt::format("{:10.6f}  board {} module {}  ", t, w.board, record_byte);
    if (known && function == Function::Counter) {
        const bool up = value(1) & 1;
        r.key("function", "counter").value("source", counter_source(word1)).value("count", word2);
        r.value("events", value(0)).detail("up", up);
        text += fmt::format("counter {:<8} count {} ({:#010x})  events {}  {}",
                            counter_source(word1), word2, word2, value(0), up ? "up" : "down");
        if (word1 == 1) {
            r.detail("latch_registers", value(2));
            text += fmt::format("  latch registers {:#x}", value(2));
        }
    } else if (known && function == Function::Timer) {
        r.key("function", "timer").key("timer", word1).value("source", "zero");
        r.value("zeros", word2).value("events", value(0));
        text += fmt::format("timer {} reached zero  {} times since enabled  events {}", word1,
                            word2, value(0));
    } else {
        r.key("function", known ? function_name(function) : "unknown");
        text += fmt::format("{} record byte {:#04x}  word 1 {:#010x}  word 2 {:#010x}  values",
                            known ? function_name(function) : "module", record_byte, word1, word2);
        for (std::uint32_t v : shown)
            text += fmt::format(" {}", v);
    }
    r.detail("record_byte", record_byte).detail("word1", word1).detail("word2", word2);
    r.detail("values", shown);
    emit(w.out, r, text);
    std::fflush(stdout);
}

// One LabVIEW user event, as the program registered for it receives it.
void print_event(Watched& w, const mfb::sim::labview::Event& e) {
    const double t =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - w.start).count();
    Record r;
    r.value("time", std::round(t * 1e6) / 1e6).key("board", w.board).key("refnum", e.refnum);
    r.value("record_byte", e.record_byte).value("word1", e.word1).value("word2", e.word2);
    r.value("count", e.count).value("values", e.values);
    emit(w.out, r,
         fmt::format("{:10.6f}  board {}  {}", t, w.board, mfb::sim::labview::describe(e)));
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
    w->start = std::chrono::steady_clock::now();
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

void watch(const WatchOptions& o) {
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
               "with --drive: a compare interrupt every this many counts (default 1000)");
    add_module_option(w, o->module)->description("with --drive: the counter's module position");
    w->add_flag("--labview", o->labview,
                "install the library's LabVIEW routine, with the simulated LabVIEW runtime, and "
                "print the user events as a LabVIEW program receives them");
    add_number(w, "--refnum", o->refnum, 0, 0xFFFFFFFF, "user event refnum",
               "with --labview: the user event refnum (default 0x1234)");
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
