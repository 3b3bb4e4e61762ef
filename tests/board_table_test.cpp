// The handle lookup behind every export, seen through the exports.
#include "bus_fixture.h"

#include "board/board_table.h"

using namespace mfbtest;

namespace {

class BoardTable : public BusTest {};

TEST_F(BoardTable, BeforeAnyEnumerationNothingIsFound) {
    attach_recorder();
    EXPECT_EQ(mfb::find_slot(0x104), nullptr);
    EXPECT_EQ(i_MFB_CloseBoard(0x104), -2);
}

TEST_F(BoardTable, LookupStopsAtTheLastEnumeratedBoard) {
    attach_recorder();
    attach_recorder();
    MFB_BoardHandle second = 0;
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(1, &second), 0);
    ASSERT_EQ(mfb::find_slot(second), &mfb::boards().slots[1]);
    // A later enumeration that finds one board hides slot 1, open or not, from every lookup but
    // the close's.
    mfb::vbus::detach(0);
    std::uint8_t n = 0;
    ASSERT_EQ(i_MFB_GetNumberOfBoards(&n), 0);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(mfb::find_slot(second), nullptr);
    EXPECT_EQ(mfb::find_open_slot(second), &mfb::boards().slots[1]);
}

TEST_F(BoardTable, ZeroIsNeverFound) {
    attach_recorder();
    std::uint8_t n = 0;
    ASSERT_EQ(i_MFB_GetNumberOfBoards(&n), 0);
    // Slot 0 is below the count and closed: its handle field is 0.
    EXPECT_EQ(mfb::find_slot(0), nullptr);
}

TEST_F(BoardTable, NeverReadsPastTheLastSlot) {
    for (int i = 0; i < 40; ++i)
        attach_recorder();
    MFB_BoardHandle h = 0;
    ASSERT_EQ(i_MFB_OpenBoardViaIndex(29, &h), 0);
    EXPECT_EQ(mfb::find_slot(h), &mfb::boards().slots[29]);
    // A handle that no slot holds is looked for in the 30 slots only (ASan would catch more).
    EXPECT_EQ(mfb::find_slot(h + 4), nullptr);
}

} // namespace
