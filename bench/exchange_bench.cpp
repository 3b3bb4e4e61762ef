// What the library adds to one exchange with the driver. For one export per family and exchange
// shape: the export against the raw DeviceIoControl of the same request (the same control code,
// the same bytes, the same buffers) to the same null driver, a driver that answers at once, both
// through the substitute, in the same run.
//
// Each iteration times a batch of export calls and a batch of raw calls back to back, each first
// every other time, by the CPU time of the calling thread (measure.h). Counters, medians over the
// iterations: `library_ns` and `raw_ns` per call; `added_ns`, their difference per pair of
// batches; `ratio`, library over raw per pair; `allocs_per_call`, heap allocations per export
// call, and `raw_allocs_per_call` the same of the raw call (the substitute's DeviceIoControl
// allocates its system buffer, as the I/O manager does, on both paths). The time column is the
// library's per call.
#include "measure.h"

#include "mfb.h"
#include "mfb_vbus.h"
#include "platform/win32.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kBatch = 256;
constexpr int kPairs = 400;

// Answers every exchange at once, with the request left in place as the answer; on request it
// keeps a copy of the next exchange, which the raw calls replay.
class NullDriver : public mfb::vbus::Driver {
  public:
    struct Shape {
        std::uint32_t code = 0, in_size = 0, out_size = 0;
        bool in_null = true, out_null = true;
        std::array<std::uint8_t, 128> request{};
    };
    bool capture = false;
    Shape captured;

    int exchange(mfb::vbus::Exchange& x) override {
        if (capture && x.in_size <= captured.request.size()) {
            captured = {x.code, x.in_size, x.out_size, x.in_null, x.out_null, {}};
            std::memcpy(captured.request.data(), x.buffer, x.in_size);
            capture = false;
        }
        x.bytes_returned = x.out_size;
        return 1;
    }
};

std::uint32_t g_words[4];
std::uint8_t g_bytes[4];

struct Case {
    const char* name;
    std::int16_t (*call)(MFB_BoardHandle);
    void (*prepare)(MFB_BoardHandle) = nullptr;
};

// One export of each family and exchange shape.
const Case kCases[] = {
    {"i_MFB_GetBoardHardwareType",
     [](MFB_BoardHandle h) { return i_MFB_GetBoardHardwareType(h, &g_bytes[0]); }},
    {"i_MFB_GetModuleConfiguration",
     [](MFB_BoardHandle h) { return i_MFB_GetModuleConfiguration(h, 1, &g_words[0]); }},
    {"i_MFB_GetDeviceDriverVersion",
     [](MFB_BoardHandle h) { return i_MFB_GetDeviceDriverVersion(h, &g_words[0]); }},
    {"i_MFB_Read32BitCounterValue",
     [](MFB_BoardHandle h) { return i_MFB_Read32BitCounterValue(h, 0, &g_words[0]); }},
    {"i_MFB_ClearAllCounterValue", [](MFB_BoardHandle h) { return i_MFB_ClearAllCounterValue(h); }},
    {"i_MFB_ReadTimerValue",
     [](MFB_BoardHandle h) { return i_MFB_ReadTimerValue(h, 1, 2, &g_words[0]); }},
    {"i_MFB_EnableTimer", [](MFB_BoardHandle h) { return i_MFB_EnableTimer(h, 1, 2, 0); }},
    {"i_MFB_ReadTTLIOPortValue",
     [](MFB_BoardHandle h) { return i_MFB_ReadTTLIOPortValue(h, 2, 1, &g_bytes[0]); }},
    {"i_MFB_SetTTLIOChlOn", [](MFB_BoardHandle h) { return i_MFB_SetTTLIOChlOn(h, 2, 9); }},
    {"i_MFB_Read1SSIValue",
     [](MFB_BoardHandle h) { return i_MFB_Read1SSIValue(h, 3, 1, &g_words[0], &g_words[1]); }},
    {"i_MFB_StartSSIAcquisition",
     [](MFB_BoardHandle h) { return i_MFB_StartSSIAcquisition(h, 3); }},
    {"i_MFB_GetPWMStatus",
     [](MFB_BoardHandle h) { return i_MFB_GetPWMStatus(h, 0, 1, &g_bytes[0], &g_bytes[1]); }},
    {"i_MFB_ReadDigitalInputs",
     [](MFB_BoardHandle h) { return i_MFB_ReadDigitalInputs(h, 2, &g_bytes[0]); },
     [](MFB_BoardHandle h) { i_MFB_SetPortConfiguration(h, 2, 0, 1); }},
    {"i_MFB_SetDigitalOutputsOn",
     [](MFB_BoardHandle h) { return i_MFB_SetDigitalOutputsOn(h, 2, 0x0F); },
     [](MFB_BoardHandle h) { i_MFB_SetPortConfiguration(h, 2, 0, 0); }},
    {"i_MFB_EepromAMCCRead",
     [](MFB_BoardHandle h) { return i_MFB_EepromAMCCRead(h, 0x10, &g_words[0]); }},
};

const char* shape_name(const NullDriver::Shape& s) {
    if (!s.in_null && !s.out_null)
        return "request+answer";
    return s.in_null ? (s.out_null ? "none" : "answer") : "request";
}

void export_against_raw(benchmark::State& state, const Case& c) {
    mfb::vbus::reset_process();
    auto driver = std::make_shared<NullDriver>();
    mfb::vbus::attach(driver);
    MFB_BoardHandle h = 0;
    i_MFB_OpenBoardViaIndex(0, &h);
    if (c.prepare)
        c.prepare(h);
    driver->capture = true;
    if (c.call(h) != 0 || driver->capture) {
        state.SkipWithError("the export fails, or sends nothing, on the null driver");
        mfb::vbus::reset_process();
        return;
    }
    NullDriver::Shape s = driver->captured;
    state.SetLabel(shape_name(s));
    HANDLE device = mfb::platform::to_handle(h);
    void* in = s.in_null ? nullptr : s.request.data();
    void* out = s.out_null ? nullptr : s.request.data();

    std::vector<double> library_ns, raw_ns, added_ns, ratios;
    std::uint64_t library_allocations = 0, raw_allocations = 0, n = 0;
    // HeapAlloc blocks come from the substitute's own heap, not operator new: count them too.
    const unsigned heap_blocks_before = mfb::vbus::calls(mfb::vbus::Fn::HeapAlloc);
    for (auto _ : state) {
        mfbbench::Cost library{}, raw{};
        const auto run_library = [&] {
            library = mfbbench::measure([&] {
                for (int i = 0; i < kBatch; ++i)
                    benchmark::DoNotOptimize(c.call(h));
            });
        };
        const auto run_raw = [&] {
            raw = mfbbench::measure([&] {
                for (int i = 0; i < kBatch; ++i) {
                    DWORD returned = 0;
                    benchmark::DoNotOptimize(DeviceIoControl(device, s.code, in, s.in_size, out,
                                                             s.out_size, &returned, nullptr));
                }
            });
        };
        mfbbench::in_turn(n, run_library, run_raw);
        state.SetIterationTime(library.seconds / kBatch);
        library_ns.push_back(library.seconds * 1e9 / kBatch);
        raw_ns.push_back(raw.seconds * 1e9 / kBatch);
        added_ns.push_back((library.seconds - raw.seconds) * 1e9 / kBatch);
        ratios.push_back(library.seconds / raw.seconds);
        library_allocations += library.allocations;
        raw_allocations += raw.allocations;
        ++n;
    }
    const double calls = static_cast<double>(n) * kBatch;
    state.counters["library_ns"] = mfbbench::median(library_ns);
    state.counters["raw_ns"] = mfbbench::median(raw_ns);
    state.counters["added_ns"] = mfbbench::median(added_ns);
    state.counters["ratio"] = mfbbench::median(ratios);
    state.counters["allocs_per_call"] =
        static_cast<double>(library_allocations +
                            (mfb::vbus::calls(mfb::vbus::Fn::HeapAlloc) - heap_blocks_before)) /
        calls;
    state.counters["raw_allocs_per_call"] = static_cast<double>(raw_allocations) / calls;
    mfb::vbus::reset_process();
}

const bool registered = [] {
    for (const Case& c : kCases)
        benchmark::RegisterBenchmark((std::string("Exchange/") + c.name).c_str(),
                                     export_against_raw, c)
            ->UseManualTime()
            ->Unit(benchmark::kNanosecond)
            ->Iterations(kPairs);
    return true;
}();

} // namespace
