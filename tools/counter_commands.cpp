// Incremental counter commands: set a counter up, read, write and clear it, latch it, set up and
// switch its compare logic, show its status bytes and switch its digital channel.
//
// On the default simulated boards the counters sit at board 0 module 0 and board 1 module 1; their
// encoder inputs stand still until `counter sim` moves them (in a shell session the boards, and
// so the set-ups and the encoder, carry from one command to the next).
#include "mfbctl.h"

#include "sim/counter_module.h"
#include "sim/sim_board.h"

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

namespace mfbctl {
namespace {

struct Target {
    unsigned board = 0;
    unsigned module = 0;
};

void add_target(CLI::App* cmd, Target& t) {
    add_board_option(cmd, t.board);
    cmd->add_option("-m,--module", t.module,
                    "module position of the counter (default 0; the simulated "
                    "boards carry one at board 0 module 0 and board 1 module 1)")
        ->capture_default_str()
        ->check(CLI::Range(0u, 255u));
}

// The target's board, open for one command.
class Counter {
  public:
    explicit Counter(const Target& t)
        : board_(t.board), module_(static_cast<std::uint8_t>(t.module)) {}
    MFB_BoardHandle handle() const { return board_.handle(); }
    std::uint8_t module() const { return module_; }

  private:
    OpenBoard board_;
    std::uint8_t module_;
};

std::uint8_t as_u8(unsigned v) {
    return static_cast<std::uint8_t>(v);
}

// ---- set-up, values ---------------------------------------------------------------------------

struct SetupOptions {
    Target target;
    unsigned range = 32;
    bool invert0 = false, invert1 = false, hysteresis = false;
    unsigned evaluation = 4;
};

void setup(const SetupOptions& o) {
    Counter c(o.target);
    check("i_MFB_InitCounter",
          i_MFB_InitCounter(c.handle(), c.module(), o.range == 16 ? 1 : 0, o.invert0 ? 1 : 0,
                            o.invert1 ? 1 : 0, as_u8(o.evaluation), o.hysteresis ? 1 : 0));
    fmt::print("module {}: {} counter{} set up\n", c.module(),
               o.range == 16 ? "two 16-bit" : "one 32-bit", o.range == 16 ? "s" : "");
}

struct ReadOptions {
    Target target;
    int counter = -1; // a 16-bit counter, or -1 for the 32-bit value
    unsigned repeat = 1;
    unsigned interval_ms = 100;
};

void read(const ReadOptions& o) {
    Counter c(o.target);
    for (unsigned i = 0; i < o.repeat; ++i) {
        if (i != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(o.interval_ms));
        std::uint32_t value = 0;
        if (o.counter < 0) {
            check("i_MFB_Read32BitCounterValue",
                  i_MFB_Read32BitCounterValue(c.handle(), c.module(), &value));
            fmt::print("module {} counter: {} ({:#010x}, signed {})\n", c.module(), value, value,
                       static_cast<std::int32_t>(value));
        } else {
            check("i_MFB_Read16BitCounterValue",
                  i_MFB_Read16BitCounterValue(c.handle(), c.module(), as_u8(o.counter), &value));
            fmt::print("module {} counter {}: {} ({:#06x})\n", c.module(), o.counter, value, value);
        }
    }
}

struct WriteOptions {
    Target target;
    int counter = -1;
    std::uint32_t value = 0;
};

void write(const WriteOptions& o) {
    Counter c(o.target);
    if (o.counter < 0) {
        check("i_MFB_Write32BitCounterValue",
              i_MFB_Write32BitCounterValue(c.handle(), c.module(), o.value));
        fmt::print("module {} counter: {} written\n", c.module(), o.value);
    } else {
        check("i_MFB_Write16BitCounterValue",
              i_MFB_Write16BitCounterValue(c.handle(), c.module(), as_u8(o.counter), o.value));
        fmt::print("module {} counter {}: {} written\n", c.module(), o.counter, o.value);
    }
}

struct ClearOptions {
    Target target;
    bool all = false;
};

void clear(const ClearOptions& o) {
    Counter c(o.target);
    if (o.all) {
        check("i_MFB_ClearAllCounterValue", i_MFB_ClearAllCounterValue(c.handle()));
        fmt::print("board {}: every counter cleared\n", o.target.board);
    } else {
        check("i_MFB_ClearCounterValue", i_MFB_ClearCounterValue(c.handle(), c.module()));
        fmt::print("module {} counter cleared\n", c.module());
    }
}

void self_test(const Target& t) {
    Counter c(t);
    std::uint8_t result = 0;
    check("i_MFB_CounterAutoTest", i_MFB_CounterAutoTest(c.handle(), &result));
    fmt::print("test result {:#04x}", result);
    const char* separator = ": passed at module";
    for (unsigned m = 0; m < 8; ++m)
        if (result & (1u << m)) {
            fmt::print("{} {}", separator, m);
            separator = ",";
        }
    fmt::print("\n");
}

// ---- latch --------------------------------------------------------------------------------------

void show_latch_register(const Counter& c, unsigned reg) {
    std::uint8_t status = 0;
    std::uint32_t value = 0;
    check("i_MFB_ReadLatchRegisterStatus",
          i_MFB_ReadLatchRegisterStatus(c.handle(), c.module(), as_u8(reg), &status));
    check("i_MFB_ReadLatchRegisterValue",
          i_MFB_ReadLatchRegisterValue(c.handle(), c.module(), as_u8(reg), &value));
    fmt::print("latch register {}: {} ({:#010x}), status {}\n", reg, value, value, status);
}

struct LatchOptions {
    Target target;
    unsigned registers = 1; // mask
};

void latch(const LatchOptions& o) {
    Counter c(o.target);
    check("i_MFB_LatchCounter", i_MFB_LatchCounter(c.handle(), c.module(), as_u8(o.registers)));
    for (unsigned reg = 0; reg < 8; ++reg)
        if (o.registers & (1u << reg))
            show_latch_register(c, reg);
}

struct LatchReadOptions {
    Target target;
    unsigned reg = 0;
};

void latch_read(const LatchReadOptions& o) {
    show_latch_register(Counter(o.target), o.reg);
}

// ---- compare logic ------------------------------------------------------------------------------

struct CompareOptions {
    Target target;
    std::uint32_t value = 0;
    bool counter_wraps = false;
};

void compare_set(const CompareOptions& o) {
    Counter c(o.target);
    check("i_MFB_InitCompareLogic", i_MFB_InitCompareLogic(c.handle(), c.module(), o.value));
    fmt::print("module {}: compare value {}\n", c.module(), o.value);
}

void compare_modulo(const CompareOptions& o) {
    Counter c(o.target);
    check("i_MFB_InitModuloCompareLogic",
          i_MFB_InitModuloCompareLogic(c.handle(), c.module(), o.value, o.counter_wraps ? 1 : 0));
    fmt::print("module {}: modulo compare every {} counts{}\n", c.module(), o.value,
               o.counter_wraps ? ", the counter wraps" : "");
}

void compare_latch(const Target& t) {
    Counter c(t);
    std::uint32_t value = 0;
    check("i_MFB_ReadCompareLatchRegister",
          i_MFB_ReadCompareLatchRegister(c.handle(), c.module(), &value));
    fmt::print("compare latch register: {} ({:#010x})\n", value, value);
}

// ---- status and digital channel -----------------------------------------------------------------

void status(const Target& t) {
    Counter c(t);
    using Read = int16_t(MFB_CALL*)(MFB_BoardHandle, uint8_t, uint8_t*);
    struct Row {
        const char* label;
        const char* function;
        Read read;
    };
    const Row rows[] = {
        {"index", "i_MFB_GetIndexStatus", i_MFB_GetIndexStatus},
        {"reference", "i_MFB_GetReferenceStatus", i_MFB_GetReferenceStatus},
        {"UAS", "i_MFB_GetUASStatus", i_MFB_GetUASStatus},
        {"UD", "i_MFB_GetUDStatus", i_MFB_GetUDStatus},
        {"CB", "i_MFB_GetCBStatus", i_MFB_GetCBStatus},
    };
    for (const Row& r : rows) {
        std::uint8_t value = 0;
        check(r.function, r.read(c.handle(), c.module(), &value));
        fmt::print("{:<14} {:#04x}\n", r.label, value);
    }
    std::uint8_t cb0 = 0, cb1 = 0;
    check("i_MFB_Get16BitCBStatus", i_MFB_Get16BitCBStatus(c.handle(), c.module(), &cb0, &cb1));
    fmt::print("{:<14} {:#04x} {:#04x}\n", "16-bit CB", cb0, cb1);
}

// A member that takes only the module number, such as a switch; `done` says what it did.
using ModuleCall = int16_t(MFB_CALL*)(MFB_BoardHandle, uint8_t);
void call_module(const Target& t, const char* function, ModuleCall call, const char* done) {
    Counter c(t);
    check(function, call(c.handle(), c.module()));
    fmt::print("module {}: {}\n", c.module(), done);
}

// ---- simulated encoder --------------------------------------------------------------------------

struct SimOptions {
    Target target;
    unsigned input = 0;
    std::optional<std::int64_t> rate, pulse, index_every;
    std::optional<unsigned> reference, strobe;
    bool index_pulse = false;
};

void simulate(const SimOptions& o) {
    auto board = simulated_board(o.target.board);
    const bool found = board->with_module<mfb::sim::CounterModule>(
        static_cast<std::uint8_t>(o.target.module), [&](mfb::sim::CounterModule& c) {
            if (o.rate)
                c.set_rate(o.input, *o.rate);
            if (o.pulse)
                c.pulse(o.input, *o.pulse);
            if (o.index_every)
                c.set_index_every(*o.index_every);
            if (o.index_pulse)
                c.index_pulse();
            if (o.reference)
                c.set_reference(*o.reference != 0);
            if (o.strobe)
                c.set_strobe(o.input, *o.strobe != 0);
        });
    if (!found)
        throw std::runtime_error(fmt::format("board {} has no simulated counter at module {}",
                                             o.target.board, o.target.module));
    board->tick(); // what was given happens now
}

// ---- registration -------------------------------------------------------------------------------

// A subcommand with -b and -m that runs `fn` on its target.
template <class Fn>
CLI::App* target_command(CLI::App* parent, const char* name, const char* help, Fn fn) {
    auto* cmd = parent->add_subcommand(name, help);
    auto target = std::make_shared<Target>();
    add_target(cmd, *target);
    cmd->callback([target, fn] { fn(*target); });
    return cmd;
}

// A subcommand whose options live in an object of type O with a `target` member.
template <class O>
std::pair<CLI::App*, std::shared_ptr<O>> options_command(CLI::App* parent, const char* name,
                                                         const char* help, void (*fn)(const O&)) {
    auto* cmd = parent->add_subcommand(name, help);
    auto o = std::make_shared<O>();
    add_target(cmd, o->target);
    cmd->callback([o, fn] { fn(*o); });
    return {cmd, o};
}

void add_counter_commands(CLI::App& app) {
    auto* counter = app.add_subcommand("counter", "incremental counter module");
    counter->require_subcommand(1);

    {
        auto [cmd, o] = options_command<SetupOptions>(
            counter, "setup",
            "set the counter up (setting bytes as the simulated board reads them)", setup);
        cmd->add_option("--range", o->range, "32: one 32-bit counter, 16: two 16-bit counters")
            ->capture_default_str()
            ->check(CLI::IsMember({32u, 16u}));
        cmd->add_flag("--invert", o->invert0, "count the 32-bit counter / counter 0 downwards");
        cmd->add_flag("--invert1", o->invert1, "count 16-bit counter 1 downwards");
        cmd->add_option("--evaluation", o->evaluation, "counts per encoder line: 1, 2 or 4")
            ->capture_default_str()
            ->check(CLI::IsMember({1u, 2u, 4u}));
        cmd->add_flag("--hysteresis", o->hysteresis,
                      "swallow the first count after a change of direction");
    }
    {
        auto [cmd, o] =
            options_command<ReadOptions>(counter, "read", "read the counter value", read);
        cmd->add_option("--counter", o->counter, "read one 16-bit counter (0 or 1)")
            ->check(CLI::Range(0, 255));
        cmd->add_option("--repeat", o->repeat, "number of reads")
            ->capture_default_str()
            ->check(CLI::Range(1u, 1000000u));
        cmd->add_option("--interval-ms", o->interval_ms, "pause between reads")
            ->capture_default_str();
    }
    {
        auto [cmd, o] =
            options_command<WriteOptions>(counter, "write", "write the counter value", write);
        cmd->add_option("VALUE", o->value, "the value (32-bit, or the 16-bit counter's)")
            ->required();
        cmd->add_option("--counter", o->counter, "write one 16-bit counter (0 or 1)")
            ->check(CLI::Range(0, 255));
    }
    {
        auto [cmd, o] = options_command<ClearOptions>(counter, "clear", "clear the counter", clear);
        cmd->add_flag("--all", o->all, "clear every counter of the board");
    }
    target_command(counter, "selftest", "run the board's counter self-test", self_test);
    {
        auto [cmd, o] = options_command<LatchOptions>(
            counter, "latch", "latch the counter and show the latched values", latch);
        cmd->add_option("--registers", o->registers,
                        "mask of latch registers: 1 register 0, 2 register 1, 3 both")
            ->capture_default_str()
            ->check(CLI::Range(1u, 255u));
    }
    {
        auto [cmd, o] = options_command<LatchReadOptions>(
            counter, "latch-read", "show a latch register's value and status", latch_read);
        cmd->add_option("REGISTER", o->reg, "latch register number")
            ->required()
            ->check(CLI::Range(0u, 255u));
    }
    {
        auto* compare = counter->add_subcommand("compare", "compare logic");
        compare->require_subcommand(1);
        auto [set, so] =
            options_command<CompareOptions>(compare, "set", "set a compare value", compare_set);
        set->add_option("VALUE", so->value, "the compare value")->required();
        auto [modulo, mo] = options_command<CompareOptions>(
            compare, "modulo", "set modulo compare: an event every MODULO counts", compare_modulo);
        modulo->add_option("MODULO", mo->value, "the modulo")->required();
        modulo->add_flag("--counter-wraps", mo->counter_wraps,
                         "let the counter itself run from 0 to MODULO - 1");
        target_command(compare, "enable",
                       "enable compare events (they raise interrupts: needs an installed "
                       "interrupt routine, e.g. watch-start in a shell, else status -15)",
                       [](const Target& t) {
                           call_module(t, "i_MFB_EnableCompareLogic", i_MFB_EnableCompareLogic,
                                       "compare logic enabled");
                       });
        target_command(compare, "disable", "disable compare events", [](const Target& t) {
            call_module(t, "i_MFB_DisableCompareLogic", i_MFB_DisableCompareLogic,
                        "compare logic disabled");
        });
        target_command(compare, "latch", "show the compare latch register", compare_latch);
    }
    target_command(counter, "status",
                   "show the index, reference, UAS, UD and carry/borrow status bytes", status);
    {
        auto* ch = counter->add_subcommand("channel", "switch the module's digital channel");
        ch->require_subcommand(1);
        target_command(ch, "on", "switch the digital channel on", [](const Target& t) {
            call_module(t, "i_MFB_SetDigitalChlOn", i_MFB_SetDigitalChlOn, "digital channel on");
        });
        target_command(ch, "off", "switch the digital channel off", [](const Target& t) {
            call_module(t, "i_MFB_SetDigitalChlOff", i_MFB_SetDigitalChlOff, "digital channel off");
        });
    }
    {
        auto [cmd, o] = options_command<SimOptions>(
            counter, "sim",
            "simulated boards: move the counter's encoder inputs (the encoder keeps its rate "
            "for the following commands of a shell session)",
            simulate);
        cmd->add_option("--input", o->input, "encoder or strobe input, 0 or 1")
            ->capture_default_str()
            ->check(CLI::Range(0u, 1u));
        cmd->add_option("--rate", o->rate, "edges per second (negative: backwards)")
            ->check(
                CLI::Range(-mfb::sim::CounterModule::kMaxRate, mfb::sim::CounterModule::kMaxRate));
        cmd->add_option("--pulse", o->pulse, "move the input by this many edges at once");
        cmd->add_option("--index-every", o->index_every,
                        "an index pulse every this many edges of input 0 (0: none)")
            ->check(CLI::NonNegativeNumber);
        cmd->add_flag("--index-pulse", o->index_pulse, "give one index pulse");
        cmd->add_option("--reference", o->reference, "level of the reference input, 0 or 1")
            ->check(CLI::Range(0u, 1u));
        cmd->add_option("--strobe", o->strobe, "level of the strobe input, 0 or 1")
            ->check(CLI::Range(0u, 1u));
    }
}

const RegisterCommands registered(add_counter_commands);

} // namespace
} // namespace mfbctl
