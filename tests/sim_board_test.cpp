// The simulated board's own exchanges: identity, handle notice, refusal of requests a position
// cannot answer, and the interrupt queue.
#include "bus_fixture.h"
#include "platform/win32.h"
#include "sim/sim_board.h"

using namespace mfbtest;

namespace {

class SimBoardTest : public BusTest {};
class SimBoardQueue : public OpenSimBoard {};

TEST_F(SimBoardTest, EachBoardHasItsOwnIdentity) {
    mfb::sim::attach_boards(3);
    std::uint8_t n = 0;
    ASSERT_EQ(i_MFB_GetNumberOfBoards(&n), 0);
    ASSERT_EQ(n, 3);
    for (std::uint8_t i = 0; i < 3; ++i) {
        char text[50];
        std::uint32_t w1, w2, w3, w4, w5;
        std::uint8_t b;
        ASSERT_EQ(i_MFB_GetBoardInformation(i, text, 50, &w1, &w3, &w2, &w4, &w5, &b), 0);
        EXPECT_EQ(std::string(text), "MFB-SIM-" + std::to_string(i));
        EXPECT_EQ(w1, 0x00010000u + i);
        EXPECT_EQ(w4, 8u + i);
        EXPECT_EQ(b, 4);
    }
    MFB_BoardHandle h = 0;
    EXPECT_EQ(i_MFB_OpenBoardViaIdentifier("MFB-SIM-2", &h), 0);
    auto board = std::dynamic_pointer_cast<mfb::sim::SimBoard>(mfb::vbus::board(2));
    ASSERT_TRUE(board);
    EXPECT_EQ(board->notified_handle(), h) << "the driver was told its handle";
}

// Unknown codes and requests to a position of another family are refused, not answered.
TEST_F(SimBoardTest, UnknownCodesAndEmptyPositionsAreRefused) {
    using mfb::sim::Function;
    mfb::vbus::attach(std::make_shared<mfb::sim::SimBoard>(
        mfb::sim::SimBoard::Identity{"x", {}, 4},
        std::array{Function::None, Function::None, Function::None, Function::None}));
    MFB_BoardHandle h = 0;
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(0, &h), 0);
    std::uint8_t buf[12] = {0};
    DWORD n = 0;
    for (DWORD code : {0x90009990u, 0x900020BCu}) { // unknown; a timer request to position 0
        EXPECT_FALSE(
            DeviceIoControl(mfb::platform::to_handle(h), code, buf, 12, buf, 12, &n, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION) << std::hex << code;
    }
}

TEST_F(SimBoardQueue, QueuedInterruptsAreReadInOrderThenTheEndOfTheQueue) {
    board->raise_interrupt({.word1 = 7, .values = {0, 99}, .value_count = 2, .record_byte = 3});
    board->raise_interrupt({.word1 = 8, .values = {0, 99}, .value_count = 2, .record_byte = 3});
    EXPECT_EQ(board->pending_interrupts(), 2u);
    HANDLE file = mfb::platform::to_handle(h);
    std::uint8_t rec[80];
    DWORD n = 0;
    for (std::uint8_t word1 : {7, 8}) { // values below 256: their low bytes say it all
        ASSERT_TRUE(DeviceIoControl(file, 0x90002008, nullptr, 0, rec, 80, &n, nullptr));
        EXPECT_EQ(rec[0], word1);
        EXPECT_EQ(rec[12], 99) << "value 1";
        EXPECT_EQ(rec[72], 2) << "value count";
        EXPECT_EQ(rec[76], 3);
        EXPECT_EQ(rec[77], 0);
    }
    ASSERT_TRUE(DeviceIoControl(file, 0x90002008, nullptr, 0, rec, 80, &n, nullptr));
    EXPECT_EQ(rec[77], 1) << "end of the queue";
}

} // namespace
