// A firmware update of four full modules (400,000 bytes, 800,000 exchanges) on a simulated board
// whose flash takes no write time, against the same exchanges sent straight to the same flash by
// DeviceIoControl, in the same run. The reported time is the library's (CPU time of the calling
// thread). Counters: `ratio`, library time over raw time, the median over the iterations, each
// pairing the two runs back to back so that a burst of other work on the machine does not decide
// it; `allocs_beyond_raw`, the heap allocations per update that the library path made on top of
// the raw one (operator new, wherever it is called): a per-byte allocation would show as hundreds
// of thousands.
#include "measure.h"
#include "mfb.h"
#include "mfb_vbus.h"
#include "platform/win32.h"
#include "protocol/firmware_file.h"
#include "protocol/requests.h"
#include "sim/firmware_file.h"
#include "sim/sim_board.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

namespace flash = mfb::protocol::flash;
constexpr std::uint32_t kModuleBytes = mfb::protocol::firmware_file::kPayloadLimit;

// The progress lines of the update go to /dev/null while it runs, not into the report.
class QuietStdout {
  public:
    QuietStdout() {
        std::cout.flush();
        std::fflush(stdout);
        saved_ = dup(1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
    }

  private:
    int saved_ = -1;
};

// The update runs wholly on the calling thread (the substitute and the simulated board answer
// synchronously), so the CPU time of that thread is its cost.
using mfbbench::Cost;
using mfbbench::measure;

// What a minimal flashing program sends: erase, every byte written, every byte read back, the
// reload, its check and the closing request; no files, no retries, no sleeps.
bool raw_update(HANDLE board, const std::vector<std::uint8_t>& plain,
                std::vector<std::uint8_t>& back) {
    DWORD n = 0;
    bool ok = DeviceIoControl(board, flash::kErase.code, nullptr, 0, nullptr, 0, &n, nullptr);
    const auto request = [](std::uint32_t a, std::uint8_t value, std::uint8_t(&r)[8]) {
        mfb::protocol::put_le32(r, a);
        r[4] = value, r[5] = r[6] = r[7] = 0;
    };
    std::uint8_t r[flash::kWriteByte.size];
    for (std::uint32_t a = 0; ok && a < plain.size(); ++a) {
        request(a, plain[a], r);
        ok = DeviceIoControl(board, flash::kWriteByte.code, r, sizeof r, nullptr, 0, &n, nullptr);
    }
    for (std::uint32_t a = 0; ok && a < plain.size(); ++a) {
        request(a, 0, r);
        ok = DeviceIoControl(board, flash::kReadByte.code, r, sizeof r, r, sizeof r, &n, nullptr);
        back[a] = r[4];
    }
    for (const auto& rq : {flash::kReload, flash::kCheckReload, flash::kClose})
        ok = ok && DeviceIoControl(board, rq.code, nullptr, 0, nullptr, 0, &n, nullptr);
    return ok && back == plain;
}

void BM_ConfigureAllModuleFourFullModules(benchmark::State& state) {
    mfb::vbus::reset_process();
    mfb::vbus::set_virtual_clock(true); // the 300 ms after the reload cost no time
    auto board = mfb::sim::make_board(0);
    board->flash().set_write_time_ns(0);
    mfb::vbus::attach(board);
    MFB_BoardHandle h = 0;
    i_MFB_OpenBoardViaIndex(0, &h);

    const auto folder =
        std::filesystem::temp_directory_path() / ("mfb-bench-firmware-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::vector<std::string> paths;
    std::vector<std::uint8_t> plain;
    std::uint32_t seed = 12345;
    for (int m = 0; m < 4; ++m) {
        mfb::sim::FirmwareImage image;
        for (std::uint32_t i = 0; i < kModuleBytes; ++i) {
            seed = seed * 1103515245u + 12345u;
            image.payload.push_back(static_cast<std::uint8_t>(seed >> 16));
        }
        plain.insert(plain.end(), image.payload.begin(), image.payload.end());
        paths.push_back((folder / ("module" + std::to_string(m) + ".bin")).string());
        mfb::sim::write_firmware_file(paths.back(), image);
    }
    std::vector<std::uint8_t> back(plain.size());

    std::vector<double> ratios; // per update, library over raw run back to back
    double raw_s = 0;
    std::int64_t allocations_beyond_raw = 0;
    std::uint64_t n = 0;
    for (auto _ : state) {
        std::uint32_t position = 0;
        std::int16_t status = 1;
        bool raw_ok = false;
        Cost library{}, raw{};
        const auto run_library = [&] {
            QuietStdout quiet;
            library = measure([&] {
                status = i_MFB_ConfigureAllModule(h, paths[0].c_str(), paths[1].c_str(),
                                                  paths[2].c_str(), paths[3].c_str(), &position);
            });
        };
        const auto run_raw = [&] {
            raw = measure([&] { raw_ok = raw_update(mfb::platform::to_handle(h), plain, back); });
        };
        mfbbench::in_turn(n, run_library, run_raw);
        if (status != 0 || !raw_ok) {
            state.SkipWithError("an update failed");
            break;
        }
        state.SetIterationTime(library.seconds);
        ratios.push_back(library.seconds / raw.seconds);
        raw_s += raw.seconds;
        allocations_beyond_raw += static_cast<std::int64_t>(library.allocations) -
                                  static_cast<std::int64_t>(raw.allocations);
        ++n;
    }
    if (n > 0) {
        state.counters["ratio"] = mfbbench::median(ratios);
        state.counters["raw_ms"] = raw_s * 1000 / static_cast<double>(n);
        state.counters["allocs_beyond_raw"] =
            static_cast<double>(allocations_beyond_raw) / static_cast<double>(n);
        state.SetBytesProcessed(static_cast<std::int64_t>(n) * 4 * kModuleBytes);
    }
    std::filesystem::remove_all(folder);
    mfb::vbus::reset_process();
}
BENCHMARK(BM_ConfigureAllModuleFourFullModules)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

} // namespace
