// Incremental counter commands: set a counter up, read, write and clear it, latch it, set up and
// switch its compare logic, show its status bytes and switch its digital channel; on a simulated
// board, move its encoder inputs.
//
//     mfbctl counter setup --range 16 sim --pulse 1234 read --half 0
//
// The counter's encoder inputs on a simulated board stand still until `counter sim` moves them.
// In a shell session the boards, and so the set-ups and the encoder, carry from one command to
// the next.
#include "mfbctl.h"

#include "common/explain.h"
#include "sim/counter_module.h"

namespace mfbctl {
namespace counter_commands {

// The 16-bit counter that -h/--half names, if any.
using Half = std::optional<unsigned>;

Record counter_record(const ModuleAccess& m) {
    return std::move(Record().key("board", m.board()).key("module", m.module()));
}

// ---- set-up, values ---------------------------------------------------------------------------

struct Setup {
    unsigned range = 32;
    bool invert0 = false, invert1 = false, hysteresis = false;
    unsigned evaluation = 4;
};

void setup(ModuleAccess& m, const Output& out, const Setup& o) {
    m.check("i_MFB_InitCounter",
            i_MFB_InitCounter(m.h(), m.module(), o.range == 16 ? 1 : 0, o.invert0 ? 1 : 0,
                              o.invert1 ? 1 : 0, u8(o.evaluation), o.hysteresis ? 1 : 0));
    say(out, fmt::format("{}: {} set up", m.where(),
                         o.range == 16 ? "two 16-bit counters" : "one 32-bit counter"));
}

void read_once(ModuleAccess& m, const Output& out, const Half& half) {
    std::uint32_t value = 0;
    Record r = counter_record(m);
    if (!half) {
        m.check("i_MFB_Read32BitCounterValue",
                i_MFB_Read32BitCounterValue(m.h(), m.module(), &value));
        r.value("count", value).detail("signed", static_cast<std::int32_t>(value));
        emit(out, r,
             fmt::format("{} counter: {} ({:#010x}, signed {})", m.where(), value, value,
                         static_cast<std::int32_t>(value)));
        return;
    }
    m.check("i_MFB_Read16BitCounterValue",
            i_MFB_Read16BitCounterValue(m.h(), m.module(), u8(*half), &value));
    r.key("half", *half).value("count", value);
    emit(out, r, fmt::format("{} counter {}: {} ({:#06x})", m.where(), *half, value, value));
}

void write(ModuleAccess& m, const Output& out, const Half& half, std::uint32_t value) {
    if (!half) {
        m.check("i_MFB_Write32BitCounterValue",
                i_MFB_Write32BitCounterValue(m.h(), m.module(), value));
        say(out, fmt::format("{} counter: {} written", m.where(), value));
        return;
    }
    m.check("i_MFB_Write16BitCounterValue",
            i_MFB_Write16BitCounterValue(m.h(), m.module(), u8(*half), value));
    say(out, fmt::format("{} counter {}: {} written", m.where(), *half, value));
}

void self_test(ModuleAccess& m, const Output& out) {
    std::uint8_t result = 0;
    m.check("i_MFB_CounterAutoTest", i_MFB_CounterAutoTest(m.h(), &result));
    std::vector<unsigned> passed;
    for (unsigned p = 0; p < 8; ++p)
        if (result & (1u << p))
            passed.push_back(p);
    std::string text = fmt::format("board {} self-test {:#04x}: ", m.board(), result);
    for (std::size_t i = 0; i < passed.size(); ++i)
        text += fmt::format("{}{}", i ? ", " : "passed at module ", passed[i]);
    if (passed.empty())
        text += "no module passed";
    emit(out, Record().key("board", m.board()).value("result", result).detail("passed", passed),
         text);
}

// ---- latch --------------------------------------------------------------------------------------

void show_latch_register(ModuleAccess& m, const Output& out, unsigned reg) {
    std::uint8_t status = 0;
    std::uint32_t value = 0;
    m.check("i_MFB_ReadLatchRegisterStatus",
            i_MFB_ReadLatchRegisterStatus(m.h(), m.module(), u8(reg), &status));
    m.check("i_MFB_ReadLatchRegisterValue",
            i_MFB_ReadLatchRegisterValue(m.h(), m.module(), u8(reg), &value));
    const std::vector<std::string> state = explain::flags("counter.latch", status);
    emit(out,
         counter_record(m)
             .key("register", reg)
             .value("value", value)
             .value("status", status)
             .detail("status_flags", state),
         fmt::format("{} latch register {}: {} ({:#010x}), status {}{}", m.where(), reg, value,
                     value, status, state.empty() ? "" : " (" + flag_words(state) + ")"));
}

// ---- compare logic and status -------------------------------------------------------------------

void status(ModuleAccess& m, const Output& out) {
    using Read = int16_t(MFB_CALL*)(MFB_BoardHandle, uint8_t, uint8_t*);
    struct Row {
        const char* label;
        const char* function;
        Read read;
    };
    const Row rows[] = {
        {"index", "i_MFB_GetIndexStatus", i_MFB_GetIndexStatus},
        {"reference", "i_MFB_GetReferenceStatus", i_MFB_GetReferenceStatus},
        {"uas", "i_MFB_GetUASStatus", i_MFB_GetUASStatus},
        {"ud", "i_MFB_GetUDStatus", i_MFB_GetUDStatus},
        {"cb", "i_MFB_GetCBStatus", i_MFB_GetCBStatus},
    };
    // Each byte with the names of its bits, as the simulated counter sets them.
    Record r = counter_record(m);
    std::string text = m.where() + " status";
    const auto show = [&](const std::string& label, const std::string& table, unsigned value) {
        const std::vector<std::string> names = explain::flags("counter." + table, value);
        r.value(label, value).detail(label + "_flags", names);
        text += fmt::format("\n  {:<10} {:#04x}{}", label, value,
                            names.empty() ? "" : " (" + flag_words(names) + ")");
    };
    for (const Row& row : rows) {
        std::uint8_t value = 0;
        m.check(row.function, row.read(m.h(), m.module(), &value));
        show(row.label, row.label, value);
    }
    std::uint8_t cb[2] = {};
    m.check("i_MFB_Get16BitCBStatus", i_MFB_Get16BitCBStatus(m.h(), m.module(), &cb[0], &cb[1]));
    for (unsigned half = 0; half < 2; ++half)
        show(fmt::format("cb16_{}", half), "cb", cb[half]);
    emit(out, r, text);
}

// A member that takes only the module number, such as a switch; `done` says what it did.
using ModuleCall = int16_t(MFB_CALL*)(MFB_BoardHandle, uint8_t);
void call_module(ModuleAccess& m, const Output& out, const char* function, ModuleCall call,
                 const char* done) {
    m.check(function, call(m.h(), m.module()));
    say(out, fmt::format("{}: {}", m.where(), done));
}

// ---- simulated encoder --------------------------------------------------------------------------

struct Bench {
    unsigned input = 0;
    std::optional<std::int64_t> rate, pulse, index_every;
    std::optional<unsigned> reference, strobe;
    bool index_pulse = false;
};

void simulate(ModuleAccess& m, const Output& out, const Bench& o) {
    auto board = simulated_board(m.board());
    const bool found = board && board->with_module<mfb::sim::CounterModule>(
                                    m.module(), [&](mfb::sim::CounterModule& c) {
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
        throw std::runtime_error(fmt::format("{} is not a simulated counter", m.where()));
    board->tick(); // what was given happens now
    say(out, fmt::format("{}: simulated encoder input {} moved", m.where(), o.input));
}

// ---- registration -------------------------------------------------------------------------------

void add_counter_commands(CLI::App& app) {
    auto g = ModuleGroup::add(app, "counter", "incremental counter module", Function::Counter);
    auto half = std::make_shared<Half>();
    add_number(g->app(), "--half", *half, 0, 1, "16-bit counter number",
               "one of the two 16-bit counters (after setup --range 16)");

    auto s = std::make_shared<Setup>();
    auto* cmd = g->step("setup", "set the counter up (clears it and its latch registers)",
                        [s](ModuleAccess& m, const Output& out) { setup(m, out, *s); });
    add_choice(cmd, "--range", s->range, {{"32", 32}, {"16", 16}}, "counter range",
               "32: one 32-bit counter (default), 16: two 16-bit counters");
    cmd->add_flag("--invert", s->invert0, "count the 32-bit counter / 16-bit counter 0 down");
    cmd->add_flag("--invert1", s->invert1, "count 16-bit counter 1 down");
    add_choice(cmd, "--evaluation", s->evaluation, {{"1", 1}, {"2", 2}, {"4", 4}},
               "edge evaluation", "counts per encoder line: 1, 2 or 4 (default)");
    cmd->add_flag("--hysteresis", s->hysteresis,
                  "swallow the first count after a change of direction");

    g->read_step("read", "read the counter value (--half: one 16-bit counter)",
                 [half](ModuleAccess& m, const Output& out) { read_once(m, out, *half); });

    auto value = std::make_shared<std::uint32_t>(0);
    cmd = g->step(
        "write", "write the counter value (--half: one 16-bit counter)",
        [half, value](ModuleAccess& m, const Output& out) { write(m, out, *half, *value); },
        [half, value] {
            if (*half)
                check_range(*value, 0, 0xFFFF, "16-bit counter value", "VALUE");
        });
    add_number(cmd, "VALUE", *value, 0, 0xFFFFFFFF, "counter value",
               "0 to 4294967295, or 0 to 65535 with --half")
        ->required();

    auto all = std::make_shared<bool>(false);
    cmd = g->step("clear", "clear the counter", [all](ModuleAccess& m, const Output& out) {
        if (*all) {
            m.check("i_MFB_ClearAllCounterValue", i_MFB_ClearAllCounterValue(m.h()));
            say(out, fmt::format("board {}: every counter cleared", m.board()));
        } else {
            call_module(m, out, "i_MFB_ClearCounterValue", i_MFB_ClearCounterValue,
                        "counter cleared");
        }
    });
    cmd->add_flag("--all", *all, "clear every counter of the board");

    g->step("selftest", "run the board's counter self-test", self_test);

    auto mask = std::make_shared<unsigned>(1);
    cmd =
        g->step("latch", "latch the counter into latch registers and show them",
                [mask](ModuleAccess& m, const Output& out) {
                    m.check("i_MFB_LatchCounter", i_MFB_LatchCounter(m.h(), m.module(), u8(*mask)));
                    for (unsigned reg = 0; reg < 2; ++reg)
                        if (*mask & (1u << reg))
                            show_latch_register(m, out, reg);
                });
    add_number(cmd, "--registers", *mask, 1, 3, "latch register mask",
               "1 register 0 (default), 2 register 1, 3 both");

    auto reg = std::make_shared<unsigned>(0);
    cmd = g->step("latch-read", "show a latch register's value and status",
                  [reg](ModuleAccess& m, const Output& out) { show_latch_register(m, out, *reg); });
    add_number(cmd, "REGISTER", *reg, 0, 1, "latch register", "latch register 0 or 1")->required();

    CLI::App* compare = g->steps("compare", "compare logic: set, modulo, enable, disable, latch");
    auto compare_value = std::make_shared<std::uint32_t>(0);
    cmd = g->step(
        "set", "set a compare value: an event when the counter reaches it",
        [compare_value](ModuleAccess& m, const Output& out) {
            m.check("i_MFB_InitCompareLogic",
                    i_MFB_InitCompareLogic(m.h(), m.module(), *compare_value));
            say(out, fmt::format("{}: compare value {}", m.where(), *compare_value));
        },
        {}, compare);
    add_number(cmd, "VALUE", *compare_value, 0, 0xFFFFFFFF, "compare value", "the compare value")
        ->required();
    auto modulo = std::make_shared<std::uint32_t>(1);
    auto wraps = std::make_shared<bool>(false);
    cmd = g->step(
        "modulo", "set modulo compare: an event every MODULO counts",
        [modulo, wraps](ModuleAccess& m, const Output& out) {
            m.check("i_MFB_InitModuloCompareLogic",
                    i_MFB_InitModuloCompareLogic(m.h(), m.module(), *modulo, *wraps ? 1 : 0));
            say(out, fmt::format("{}: modulo compare every {} counts{}", m.where(), *modulo,
                                 *wraps ? ", the counter wraps" : ""));
        },
        {}, compare);
    add_number(cmd, "MODULO", *modulo, 1, 0xFFFFFFFF, "modulo", "the modulo")->required();
    cmd->add_flag("--counter-wraps", *wraps, "let the counter itself run from 0 to MODULO - 1");
    g->step(
        "enable",
        "enable compare events (they raise interrupts: needs an interrupt routine, as "
        "watch-start installs in a session)",
        [](ModuleAccess& m, const Output& out) {
            call_module(m, out, "i_MFB_EnableCompareLogic", i_MFB_EnableCompareLogic,
                        "compare logic enabled");
        },
        {}, compare);
    g->step(
        "disable", "disable compare events",
        [](ModuleAccess& m, const Output& out) {
            call_module(m, out, "i_MFB_DisableCompareLogic", i_MFB_DisableCompareLogic,
                        "compare logic disabled");
        },
        {}, compare);
    g->step(
        "latch", "show the compare latch register",
        [](ModuleAccess& m, const Output& out) {
            std::uint32_t v = 0;
            m.check("i_MFB_ReadCompareLatchRegister",
                    i_MFB_ReadCompareLatchRegister(m.h(), m.module(), &v));
            emit(out, counter_record(m).value("compare_latch", v),
                 fmt::format("{} compare latch register: {} ({:#010x})", m.where(), v, v));
        },
        {}, compare);

    g->step("status", "show the index, reference, UAS, UD and carry/borrow status bytes", status);

    auto on = std::make_shared<unsigned>(0);
    cmd = g->step("channel", "switch the module's digital channel",
                  [on](ModuleAccess& m, const Output& out) {
                      if (*on)
                          call_module(m, out, "i_MFB_SetDigitalChlOn", i_MFB_SetDigitalChlOn,
                                      "digital channel on");
                      else
                          call_module(m, out, "i_MFB_SetDigitalChlOff", i_MFB_SetDigitalChlOff,
                                      "digital channel off");
                  });
    add_choice(cmd, "STATE", *on, {{"on", 1}, {"off", 0}}, "channel state", "on or off")
        ->required();

    auto b = std::make_shared<Bench>();
    cmd = g->bench_step("sim",
                        "simulated board: move the encoder inputs (a rate keeps for the rest of "
                        "a session)",
                        [b](ModuleAccess& m, const Output& out) { simulate(m, out, *b); });
    add_number(cmd, "-i,--input", b->input, 0, 1, "encoder input",
               "encoder or strobe input "
               "(default 0)");
    add_number(cmd, "--rate", b->rate, -mfb::sim::CounterModule::kMaxRate,
               mfb::sim::CounterModule::kMaxRate, "encoder rate",
               "edges per second (negative: backwards)");
    add_number(cmd, "--pulse", b->pulse, -1'000'000'000, 1'000'000'000, "pulse",
               "move the input by this many edges at once");
    add_number(cmd, "--index-every", b->index_every, 0, 1'000'000'000, "index spacing",
               "an index pulse every this many edges of input 0 (0: none)");
    cmd->add_flag("--index-pulse", b->index_pulse, "give one index pulse");
    add_number(cmd, "--reference", b->reference, 0, 1, "reference level",
               "level of the reference input");
    add_number(cmd, "--strobe", b->strobe, 0, 1, "strobe level", "level of the strobe input");
}

const RegisterCommands registered(210, add_counter_commands);

} // namespace counter_commands
} // namespace mfbctl
