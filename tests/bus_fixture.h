// Test fixture: the library at process start on an empty virtual bus, with helpers to attach
// recording boards and open them.
#pragma once

#include "mfb.h"
#include "mfb_vbus.h"
#include "platform/win32.h"
#include "sim/sim_board.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace mfbtest {

using mfb::vbus::RecordingDriver;
using Bytes = std::vector<std::uint8_t>;

// The 84-byte answer of the board-information exchange.
inline RecordingDriver::Answer information_answer(const std::string& identifier,
                                                  std::uint32_t word1 = 0, std::uint32_t word2 = 0,
                                                  std::uint32_t word3 = 0, std::uint32_t word4 = 0,
                                                  std::uint32_t word5 = 0, std::uint8_t byte = 0) {
    RecordingDriver::Answer a;
    a.bytes.assign(84, 0);
    const std::uint32_t words[] = {word1, word2, word3, word4, word5};
    for (std::size_t i = 0; i < 5; ++i)
        mfb::vbus::put_u32(a.bytes, 4 * i, words[i]);
    a.bytes[28] = byte;
    for (std::size_t i = 0; i < identifier.size() && 32 + i < 84; ++i)
        a.bytes[32 + i] = static_cast<std::uint8_t>(identifier[i]);
    return a;
}

inline RecordingDriver::Answer failure(std::uint32_t error = 31) {
    RecordingDriver::Answer a;
    a.result = 0;
    a.error = error;
    return a;
}

// An answer of `size` bytes: the given bytes at the start, the rest zero.
inline RecordingDriver::Answer answer(Bytes bytes, std::size_t size = 0) {
    RecordingDriver::Answer a;
    if (bytes.size() < size)
        bytes.resize(size, 0);
    a.bytes = std::move(bytes);
    return a;
}

// An answer with a 32-bit driver status word at `offset` of a `size`-byte buffer.
inline RecordingDriver::Answer status_answer(std::size_t size, std::size_t offset,
                                             std::uint32_t status, Bytes fields = {}) {
    RecordingDriver::Answer a;
    fields.resize(size, 0);
    mfb::vbus::put_u32(fields, offset, status);
    a.bytes = std::move(fields);
    return a;
}

class BusTest : public ::testing::Test {
  protected:
    void SetUp() override { mfb::vbus::reset_process(); }
    void TearDown() override { mfb::vbus::reset_process(); }

    std::shared_ptr<RecordingDriver> attach_recorder() {
        auto d = std::make_shared<RecordingDriver>();
        mfb::vbus::attach(d);
        return d;
    }

    // A handle of the board at an index that no slot holds: its device opened directly, as
    // another program could. The exports that skip the handle lookup reach the board through it.
    static MFB_BoardHandle unlisted_handle(std::size_t index) {
        HANDLE h = CreateFileA(mfb::vbus::device_path(index).c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        return mfb::platform::handle_value(h);
    }

    // Attach a recording board, open it, and forget the exchanges of the open.
    std::shared_ptr<RecordingDriver> open_recorder(MFB_BoardHandle& handle) {
        auto d = attach_recorder();
        std::size_t index = mfb::vbus::board_count() - 1;
        EXPECT_EQ(i_MFB_OpenBoardViaIndex(static_cast<std::uint8_t>(index), &handle), 0);
        d->clear();
        return d;
    }
};

// A default simulated board of an index (sim/sim_board.h), with one more function fitted at a
// position where the test asks, alone on the bus on the virtual clock and opened as h.
class OpenSimBoard : public BusTest {
  protected:
    explicit OpenSimBoard(std::size_t index = 0, mfb::sim::Function fit = mfb::sim::Function::None,
                          std::uint8_t at = 0)
        : index_(index), fit_(fit), at_(at) {}

    void SetUp() override {
        BusTest::SetUp();
        mfb::vbus::set_virtual_clock(true);
        board = mfb::sim::make_board(index_);
        if (fit_ != mfb::sim::Function::None)
            board->set_function(at_, fit_);
        mfb::vbus::attach(board);
        ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &h), 0);
    }

    // Runs fn on the board's module M at a position with the board brought up to the bus time,
    // as the test bench; the test fails where the position has no such module.
    template <class M, class Fn> void bench(std::uint8_t position, Fn&& fn) {
        ASSERT_TRUE(board->with_module<M>(position, std::forward<Fn>(fn)));
    }

    std::shared_ptr<mfb::sim::SimBoard> board;
    MFB_BoardHandle h = 0;

  private:
    std::size_t index_;
    mfb::sim::Function fit_;
    std::uint8_t at_;
};

} // namespace mfbtest
