// The simulated board's flash memory through raw exchanges: NOR semantics, the read answer,
// refused requests and failing writes. (The failing requests, stuck bits and the write time are
// exercised through the library in configure_all_module_test.cpp.)
#include "exchange_table.h"
#include "platform/win32.h"
#include "sim/sim_board.h"

using namespace mfbtest;

namespace {

class SimFlashTest : public OpenSimBoard {
  protected:
    void SetUp() override {
        OpenSimBoard::SetUp();
        file = mfb::platform::to_handle(h);
    }
    BOOL write(std::uint32_t address, std::uint8_t value, DWORD size = 8) {
        Bytes f = cat({le32(address), {value, 0, 0, 0}});
        return DeviceIoControl(file, 0x900020E0, f.data(), size, nullptr, 0, &returned, nullptr);
    }
    int read(std::uint32_t address) { // the byte, or -1 when the read fails
        Bytes f = cat({le32(address), zeros(4)});
        if (!DeviceIoControl(file, 0x900020E4, f.data(), 8, f.data(), 8, &returned, nullptr))
            return -1;
        EXPECT_EQ(returned, 8u);
        EXPECT_EQ(f, cat({le32(address), {f[4], 0, 0, 0}})) << "the address stays, 5 to 7 zero";
        return f[4];
    }

    HANDLE file = nullptr;
    DWORD returned = 0;
};

TEST_F(SimFlashTest, ProgrammingOnlyClearsBitsAndEraseSetsThemAll) {
    EXPECT_EQ(read(0x7FFFF), 0xFF) << "a new board's flash is erased";
    ASSERT_TRUE(write(0x1234, 0xF0));
    ASSERT_TRUE(write(0x1234, 0x3C));
    EXPECT_EQ(read(0x1234), 0x30) << "a write over a written byte";
    ASSERT_TRUE(DeviceIoControl(file, 0x900020D0, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(read(0x1234), 0xFF);

    EXPECT_FALSE(write(0x80000, 0x00));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "past the end of the part";
    EXPECT_EQ(read(0x80000), -1);
    EXPECT_FALSE(write(5, 0x00, 5));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION) << "a short request";
    EXPECT_EQ(read(5), 0xFF);
}

TEST_F(SimFlashTest, FailingWritesChangeNothing) {
    board->flash().fail_writes(2);
    EXPECT_FALSE(write(1, 0x00));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_FALSE(write(2, 0x00));
    EXPECT_TRUE(write(3, 0x00));
    EXPECT_EQ(board->flash().contents(1, 3), (Bytes{0xFF, 0xFF, 0x00}));
    const mfb::sim::Flash::Counts n = board->flash().counts();
    EXPECT_EQ(std::tuple(n.writes, n.failed_writes), std::tuple(3u, 2u));
}

} // namespace
