#include "live.h"

#include "common/board.h"
#include "common/explain.h"
#include "common/group.h"
#include "common/options.h"
#include "common/status.h"
#include "common/version.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>

namespace mfbctl::panel {
namespace {

constexpr std::uint64_t kPassNs = static_cast<std::uint64_t>(1e9 / kMaxReadsPerSecond);
// Records kept for the pages between two passes; beyond, the oldest are dropped and counted.
constexpr std::size_t kRecordsKept = 2000;

// A JSON object built field by field.
class Json {
  public:
    Json& raw(std::string_view key, std::string_view json) {
        text_ += fmt::format("{}{}:{}", text_.size() > 1 ? "," : "", json_text(key), json);
        return *this;
    }
    Json& add(std::string_view key, std::string_view v) { return raw(key, json_text(v)); }
    Json& add(std::string_view key, const char* v) { return add(key, std::string_view(v)); }
    Json& add(std::string_view key, const std::string& v) { return add(key, std::string_view(v)); }
    Json& add(std::string_view key, bool v) { return raw(key, v ? "true" : "false"); }
    Json& add(std::string_view key, double v) { return raw(key, fmt::format("{}", v)); }
    template <class I, std::enable_if_t<std::is_integral_v<I> && !std::is_same_v<I, bool>, int> = 0>
    Json& add(std::string_view key, I v) {
        return raw(key, std::to_string(+v));
    }
    template <class T> Json& add(std::string_view key, const std::vector<T>& items) {
        std::string list = "[";
        for (std::size_t i = 0; i < items.size(); ++i)
            list += (i ? "," : "") + Json().add("", items[i]).text_.substr(4);
        return raw(key, list + "]");
    }
    std::string str() const { return text_ + "}"; }

  private:
    std::string text_ = "{";
};

std::string list(const std::vector<std::string>& jsons) {
    std::string s = "[";
    for (std::size_t i = 0; i < jsons.size(); ++i)
        s += (i ? "," : "") + jsons[i];
    return s + "]";
}

// A library call of a pass that returned a nonzero status.
struct Refused {
    const char* export_name;
    int status;
};
void call(const char* export_name, int status) {
    if (status != 0)
        throw Refused{export_name, status};
}

// The panel's boards by handle, for the routine: the panel and the board index.
std::mutex g_routines_mutex;
std::map<MFB_BoardHandle, std::pair<Live*, unsigned>> g_routines;

} // namespace

std::string json_text(std::string_view s) {
    std::string r = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\')
            r += {'\\', c};
        else if (static_cast<unsigned char>(c) < 0x20)
            r += fmt::format("\\u{:04x}", static_cast<unsigned>(c));
        else
            r += c;
    }
    return r + "\"";
}

Live::Live(std::shared_ptr<Clock> clock) : clock_(std::move(clock)) {}

Live::~Live() {
    close();
}

void Live::open() {
    std::lock_guard lock(board_mutex_);
    const unsigned count = board_count();
    for (unsigned i = 0; i < count; ++i) {
        Board b;
        b.index = i;
        check("i_MFB_OpenBoardViaIndex", i_MFB_OpenBoardViaIndex(u8(i), &b.handle));
        {
            std::lock_guard routines(g_routines_mutex);
            g_routines[b.handle] = {this, i};
        }
        boards_.push_back(b);
        check("i_MFB_SetBoardIntRoutine", i_MFB_SetBoardIntRoutine(b.handle, on_interrupt));
        set_routine_installed(i, true);
    }
    describe();
}

void Live::close() {
    std::lock_guard lock(board_mutex_);
    for (const Board& b : boards_) {
        i_MFB_ResetBoardIntRoutine(b.handle);
        set_routine_installed(b.index, false);
        {
            std::lock_guard routines(g_routines_mutex);
            g_routines.erase(b.handle);
        }
        i_MFB_CloseBoard(b.handle);
    }
    boards_.clear();
}

void MFB_CALL Live::on_interrupt(std::uint32_t handle, std::uint32_t record_byte,
                                 std::uint32_t word1, std::uint32_t word2, std::uint32_t count,
                                 std::uint32_t* values) {
    std::lock_guard routines(g_routines_mutex);
    const auto it = g_routines.find(handle);
    if (it == g_routines.end())
        return;
    Live& live = *it->second.first;
    Record r{live.clock_->now_ns(),
             it->second.second,
             record_byte,
             word1,
             word2,
             std::vector<std::uint32_t>(values, values + std::min<std::uint32_t>(count, 16))};
    std::lock_guard lock(live.records_mutex_);
    live.records_.push_back(std::move(r));
    ++live.records_total_;
    if (live.records_.size() > kRecordsKept) {
        live.records_.pop_front();
        ++live.records_dropped_;
    }
}

bool Live::describe() {
    std::vector<std::string> boards;
    for (Board& b : boards_) {
        char identifier[64] = {};
        std::uint32_t words[5] = {};
        std::uint8_t byte = 0, type = 0;
        std::uint32_t driver = 0;
        Json j;
        j.add("index", b.index).add("simulated", simulated_board(b.index) != nullptr);
        // The information record's words 1, 3, 2, 4 and 5 in the library's order of arguments.
        if (i_MFB_GetBoardInformation(u8(b.index), identifier, sizeof identifier, &words[0],
                                      &words[2], &words[1], &words[3], &words[4], &byte) == 0) {
            std::vector<std::string> info;
            const auto names = explain::board_information();
            for (std::size_t i = 0; i < names.size(); ++i) {
                const std::uint32_t v = i < 5 ? words[i] : byte;
                info.push_back(
                    Json()
                        .add("name", names[i].name)
                        .add("label", names[i].label)
                        .add("value", names[i].hex ? fmt::format("{:#x}", v) : std::to_string(v))
                        .str());
            }
            j.add("identifier", identifier).raw("information", list(info));
        }
        if (i_MFB_GetBoardHardwareType(b.handle, &type) == 0)
            j.add("hardware_type", fmt::format("{:#04x}", type));
        if (i_MFB_GetDeviceDriverVersion(b.handle, &driver) == 0)
            j.add("driver_version",
                  fmt::format("{}.{}.{}", driver >> 16, (driver >> 8) & 0xFF, driver & 0xFF));
        b.functions.assign(4, 0);
        std::vector<std::string> modules;
        for (unsigned p = 0; p < 4; ++p) {
            const auto f = module_function(b.index, p);
            b.functions[p] = f ? static_cast<unsigned>(*f) : 0;
            const explain::FunctionInfo* info = explain::function(b.functions[p]);
            modules.push_back(Json()
                                  .add("position", p)
                                  .add("function", info ? info->name : "unknown")
                                  .add("family", info ? info->family : "")
                                  .add("words", info ? info->words : "unknown")
                                  .str());
        }
        boards.push_back(j.raw("modules", list(modules)).str());
    }
    std::vector<std::string> functions;
    for (const explain::FunctionInfo& f : explain::functions())
        functions.push_back(Json().add("name", f.name).add("family", f.family).str());
    const std::string json =
        Json()
            .raw("boards", list(boards))
            .add("library_version", decode_version_word(library_version_word()))
            .raw("functions", list(functions))
            .add("max_reads_per_second", kMaxReadsPerSecond)
            .str();
    std::lock_guard lock(boards_json_mutex_);
    const bool changed = json != boards_json_;
    boards_json_ = json;
    return changed;
}

std::string Live::boards() const {
    std::lock_guard lock(boards_json_mutex_);
    return boards_json_;
}

std::string Live::refusal(unsigned board, std::optional<unsigned> module, unsigned function,
                          const char* export_name, int status) {
    const auto key = std::tuple(board, module.value_or(4), std::string(export_name), status);
    if (const auto it = refusals_.find(key); it != refusals_.end())
        return it->second;
    std::string text;
    try {
        ModuleAccess m(board, module, static_cast<Function>(function));
        m.check(export_name, status);
    } catch (const std::exception& e) {
        text = e.what();
    }
    return refusals_[key] = text;
}

// The values a module's card shows, one read of each.
std::string Live::read_module(const Board& b, unsigned position, unsigned function) {
    const MFB_BoardHandle h = b.handle;
    const std::uint8_t m = u8(position);
    Json j;
    try {
        switch (static_cast<Function>(function)) {
        case Function::Counter: {
            std::uint32_t v = 0;
            call("i_MFB_Read32BitCounterValue", i_MFB_Read32BitCounterValue(h, m, &v));
            j.add("count", v).add("signed", static_cast<std::int32_t>(v));
            break;
        }
        case Function::Timer: {
            std::uint32_t counts[3] = {};
            call("i_MFB_ReadAllTimerValue", i_MFB_ReadAllTimerValue(h, m, counts));
            std::vector<bool> counting;
            for (std::uint8_t t = 0; t < 3; ++t) {
                std::uint8_t progress = 0;
                call("i_MFB_GetTimerProgressStatus",
                     i_MFB_GetTimerProgressStatus(h, m, t, &progress));
                counting.push_back(progress != 0);
            }
            j.add("counts", std::vector<std::uint32_t>(counts, counts + 3))
                .add("counting", counting);
            break;
        }
        case Function::TtlIo: {
            // Port 0 holds lines 0-1, ports 1 to 3 lines 2-9, 10-17 and 18-25, lowest bit first.
            std::uint32_t v = 0;
            call("i_MFB_ReadTTLIOAllPortValue", i_MFB_ReadTTLIOAllPortValue(h, m, &v));
            std::vector<unsigned> lines;
            for (unsigned line = 0; line < 26; ++line) {
                const unsigned port = line < 2 ? 0 : (line - 2) / 8 + 1;
                const unsigned bit = line < 2 ? line : (line - 2) % 8;
                lines.push_back((v >> (8 * port + bit)) & 1);
            }
            j.add("lines", lines);
            if (const auto d = remembered_directions(b.index, position))
                j.add("directions", std::vector<unsigned>(d->begin(), d->end()));
            break;
        }
        case Function::Ssi: {
            std::uint32_t positions[3] = {}, turns[3] = {};
            call("i_MFB_ReadAllSSIValue", i_MFB_ReadAllSSIValue(h, m, positions, turns));
            j.add("positions", std::vector<std::uint32_t>(positions, positions + 3))
                .add("turns", std::vector<std::uint32_t>(turns, turns + 3));
            break;
        }
        case Function::Pwm: {
            static constexpr TimeUnit kUnits[] = {TimeUnit::ns, TimeUnit::us, TimeUnit::ms,
                                                  TimeUnit::s, TimeUnit::min};
            std::vector<std::string> pwms;
            for (std::uint8_t p = 0; p < 2; ++p) {
                std::uint8_t unit = 0, s[6] = {}, level = 0, gate = 0;
                std::uint32_t low = 0, high = 0;
                call("i_MFB_GetPWMInitialisation",
                     i_MFB_GetPWMInitialisation(h, m, p, &unit, &low, &high, &s[0], &s[1], &s[2],
                                                &s[3], &s[4], &s[5]));
                call("i_MFB_GetPWMStatus", i_MFB_GetPWMStatus(h, m, p, &level, &gate));
                const std::uint64_t per = unit < 5 ? unit_ns(kUnits[unit]) : 0;
                pwms.push_back(Json()
                                   .add("low_ns", low * per)
                                   .add("high_ns", high * per)
                                   .add("enabled", s[5] != 0)
                                   .add("level", level)
                                   .str());
            }
            j.raw("pwms", list(pwms));
            break;
        }
        case Function::Etm: {
            static constexpr TimeUnit kUnits[] = {TimeUnit::ns, TimeUnit::us, TimeUnit::ms};
            std::vector<std::string> etms;
            for (std::uint8_t e = 0; e < 2; ++e) {
                std::uint8_t unit = 0, s[6] = {}, state = 0;
                std::uint32_t base = 0, value = 0;
                double duty = 0;
                call("i_MFB_GetETMInitialisation",
                     i_MFB_GetETMInitialisation(h, m, e, &unit, &base, &s[0], &s[1], &s[2], &s[3],
                                                &s[4], &s[5]));
                // 0xFFFFFFFF: one request, without waiting for a measurement to finish.
                call("i_MFB_ReadETMValue", i_MFB_ReadETMValue(h, m, e, 0xFFFFFFFF, &state, &value));
                call("i_MFB_ReadETMDutyCycleValue",
                     i_MFB_ReadETMDutyCycleValue(h, m, e, 0xFFFFFFFF, nullptr, &duty));
                const std::uint64_t tick = unit < 3 ? base * unit_ns(kUnits[unit]) : 0;
                etms.push_back(Json()
                                   .add("enabled", s[5] != 0)
                                   .add("state", state)
                                   .add("value", value)
                                   .add("value_ns", value * tick)
                                   .add("duty_cycle", duty)
                                   .str());
            }
            j.raw("etms", list(etms));
            break;
        }
        case Function::Frequency: {
            std::uint8_t enabled = 0, fresh = 0;
            std::uint32_t periods = 0;
            call("i_MFB_ReadFrequencyMeasurement",
                 i_MFB_ReadFrequencyMeasurement(h, m, &enabled, &fresh, &periods));
            j.add("enabled", enabled != 0).add("periods", periods);
            if (const auto gate = remembered_gate(b.index, position); gate && *gate)
                j.add("gate_ns", *gate).add("hz", periods * 1e9 / static_cast<double>(*gate));
            break;
        }
        case Function::PulseEncoder: {
            std::vector<std::uint32_t> counts;
            std::vector<bool> running;
            for (std::uint8_t e = 0; e < 4; ++e) {
                std::uint32_t count = 0;
                std::uint8_t status = 0;
                call("i_MFB_ReadPulseEncoderValue", i_MFB_ReadPulseEncoderValue(h, m, e, &count));
                call("i_MFB_ReadPulseEncoderStatus",
                     i_MFB_ReadPulseEncoderStatus(h, m, e, &status));
                counts.push_back(count);
                running.push_back((status & 1) != 0);
            }
            j.add("counts", counts).add("running", running);
            break;
        }
        default:
            return "{}";
        }
    } catch (const Refused& r) {
        return Json()
            .add("error", refusal(b.index, position, function, r.export_name, r.status))
            .str();
    }
    return j.str();
}

// The board's own digital ports; each is read alone, as each is configured alone.
std::string Live::read_ports(const Board& b) {
    std::vector<std::string> ports;
    for (std::uint8_t port = 0; port < 4; ++port) {
        std::uint8_t v = 0;
        const int status = i_MFB_ReadDigitalInputs(b.handle, port, &v);
        ports.push_back(status == 0 ? Json().add("inputs", v).str()
                                    : Json()
                                          .add("error", refusal(b.index, std::nullopt, 0,
                                                                "i_MFB_ReadDigitalInputs", status))
                                          .str());
    }
    return Json().raw("ports", list(ports)).str();
}

// The records queued since the last pass, each decoded for the function at its module position,
// as watch decodes it.
std::string Live::interrupt_records() {
    std::deque<Record> taken;
    std::uint64_t total = 0, dropped = 0;
    {
        std::lock_guard lock(records_mutex_);
        taken.swap(records_);
        total = records_total_;
        dropped = records_dropped_;
    }
    std::vector<std::string> records;
    for (const Record& r : taken) {
        const auto board = std::find_if(boards_.begin(), boards_.end(),
                                        [&](const Board& b) { return b.index == r.board; });
        const unsigned function =
            board != boards_.end() && r.record_byte < 4 ? board->functions[r.record_byte] : 0;
        const explain::Decoded d = explain::decode_interrupt(function, r.word1, r.word2, r.values);
        const explain::FunctionInfo* info = explain::function(function);
        std::vector<std::string> fields;
        for (const explain::Field& f : d.fields)
            fields.push_back(
                Json().add("name", f.name).add("value", f.value).add("word", f.word).str());
        records.push_back(Json()
                              .add("t", static_cast<double>(r.t_ns) / 1e9)
                              .add("board", r.board)
                              .add("module", r.record_byte)
                              .add("function", info && function ? info->name : "unknown")
                              .add("source", d.source)
                              .raw("fields", list(fields))
                              .add("word1", r.word1)
                              .add("word2", r.word2)
                              .add("values", r.values)
                              .str());
    }
    return Json().add("total", total).add("dropped", dropped).raw("records", list(records)).str();
}

std::string Live::pass() {
    const std::uint64_t now = clock_->now_ns();
    Json values;
    std::string records;
    {
        std::lock_guard lock(board_mutex_);
        for (const Board& b : boards_) {
            for (unsigned p = 0; p < b.functions.size(); ++p)
                if (b.functions[p] != 0)
                    values.raw(fmt::format("{}/{}", b.index, p), read_module(b, p, b.functions[p]));
            values.raw(fmt::format("{}/ports", b.index), read_ports(b));
        }
        records = interrupt_records();
    }
    return Json()
        .add("t", static_cast<double>(now) / 1e9)
        .raw("values", values.str())
        .raw("interrupts", records)
        .str();
}

void Live::run(const Publish& publish, const std::function<std::size_t()>& streams) {
    // A pass is due a whole period after the one before, and one pass serves every open page;
    // while no page is open, none is made.
    std::uint64_t due = clock_->now_ns();
    while (!stopping_) {
        const std::uint64_t now = clock_->now_ns();
        if (now >= due) {
            if (streams() != 0)
                publish("frame", pass());
            due = now + kPassNs;
        }
        clock_->wait_until(due);
    }
}

void Live::stop() {
    stopping_ = true;
    clock_->interrupt();
}

} // namespace mfbctl::panel
