// Firmware updates in tests: real firmware files in a temporary folder, a simulated board whose
// exchanges are recorded on their way to it, and the progress lines the library prints.
#pragma once

#include "exchange_table.h"
#include "firmware_progress.h"
#include "sim/firmware_file.h"
#include "sim/sim_board.h"

#include <array>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

namespace mfbtest {

constexpr std::uint32_t kErase = 0x900020D0;
constexpr std::uint32_t kClosing = 0x900020D4;
constexpr std::uint32_t kReload = 0x900020D8;
constexpr std::uint32_t kCheck = 0x900020DC;
constexpr std::uint32_t kWrite = 0x900020E0;
constexpr std::uint32_t kRead = 0x900020E4;

using Runs = std::vector<std::pair<std::uint32_t, std::size_t>>; // (code, how many in a row)

// A board that records each exchange's code and address (the u32 at 0 of a flash byte request)
// and passes it on to a simulated board.
class Tap : public mfb::vbus::Driver {
  public:
    explicit Tap(std::shared_ptr<mfb::sim::SimBoard> board) : board_(std::move(board)) {}
    int exchange(mfb::vbus::Exchange& x) override {
        const std::uint8_t* b = x.buffer;
        sent.emplace_back(x.code, x.in_size < 4 ? 0 : b[0] | b[1] << 8 | b[2] << 16 | b[3] << 24u);
        return board_->exchange(x);
    }
    Runs runs() const {
        Runs out;
        for (const auto& [code, address] : sent) {
            if (out.empty() || out.back().first != code)
                out.emplace_back(code, 0);
            ++out.back().second;
        }
        return out;
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sent; // (code, address)

  private:
    std::shared_ptr<mfb::sim::SimBoard> board_;
};

// A simulated board behind a tap, open as h, on the virtual clock (the 300 ms of the reload cost
// no time), and a temporary folder for the files of the test.
class FirmwareTest : public BusTest {
  protected:
    void SetUp() override {
        BusTest::SetUp();
        mfb::vbus::set_virtual_clock(true);
        board = mfb::sim::make_board(0);
        board->flash().set_write_time_ns(0);
        tap = std::make_shared<Tap>(board);
        mfb::vbus::attach(tap);
        ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &h), 0);
        tap->sent.clear();
        folder = std::filesystem::temp_directory_path() /
                 ("mfb-firmware-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder);
    }
    void TearDown() override {
        std::filesystem::remove_all(folder);
        BusTest::TearDown();
    }

    std::string file(const std::string& name, const mfb::sim::FirmwareImage& image) {
        const std::string path = (folder / name).string();
        EXPECT_TRUE(mfb::sim::write_firmware_file(path, image)) << path;
        return path;
    }
    // Four files whose payloads are of the given lengths, each byte telling module and place.
    std::array<std::string, 4> files(std::array<std::size_t, 4> lengths) {
        std::array<std::string, 4> paths;
        for (std::size_t m = 0; m < 4; ++m) {
            payloads[m].resize(lengths[m]);
            for (std::size_t i = 0; i < lengths[m]; ++i)
                payloads[m][i] = static_cast<std::uint8_t>(0x40 * m + i * 7 + 1);
            paths[m] = file("module" + std::to_string(m) + ".bin", {.payload = payloads[m]});
        }
        return paths;
    }
    Bytes all_payloads() const { return cat({payloads[0], payloads[1], payloads[2], payloads[3]}); }
    // The call; stdout and stderr as printed.
    std::int16_t configure(const std::array<std::string, 4>& paths) {
        return configure(paths[0].c_str(), paths[1].c_str(), paths[2].c_str(), paths[3].c_str());
    }
    std::int16_t configure(const char* p0, const char* p1, const char* p2, const char* p3) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const std::int16_t status = i_MFB_ConfigureAllModule(h, p0, p1, p2, p3, &position);
        out = ::testing::internal::GetCapturedStdout();
        err = ::testing::internal::GetCapturedStderr();
        return status;
    }

    std::shared_ptr<mfb::sim::SimBoard> board;
    std::shared_ptr<Tap> tap;
    MFB_BoardHandle h = 0;
    std::filesystem::path folder;
    std::array<Bytes, 4> payloads;
    std::uint32_t position = 0xA5A5A5A5; // a value the call never writes
    std::string out, err;
};

} // namespace mfbtest
