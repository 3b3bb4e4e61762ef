// Board access through the loader: enumeration by SetupAPI, opens by index and by identifier,
// counted opens, the handle notice, the information record, and closes down to the device.
#include "scenarios.h"

#include <cstring>

namespace wintest {

void enumerate_and_open_two_boards(Scenario& s) {
    const unsigned closes_before = bench::closes_passed_on();

    std::uint8_t count = 0;
    CHECK_EQ(s, MFB(i_MFB_GetNumberOfBoards)(&count), 0);
    CHECK_EQ(s, count, 2);

    MFB_BoardHandle h0 = 0, h1 = 0;
    REQUIRE(s, MFB(i_MFB_OpenBoardViaIndex)(0, &h0) == 0);
    REQUIRE(s, MFB(i_MFB_OpenBoardViaIndex)(1, &h1) == 0);
    CHECK(s, h0 != h1);
    // The handle values the library hands out are those of the device handles Windows gave it.
    CHECK(s, bench::board_of(h0) == bench::board(0));
    CHECK(s, bench::board_of(h1) == bench::board(1));
    const auto open = bench::last_create_file();
    REQUIRE(s, open.has_value());
    CHECK_EQ(s, open->path, bench::device_path(1));
    CHECK_EQ(s, open->access, GENERIC_READ | GENERIC_WRITE);
    CHECK_EQ(s, open->share, FILE_SHARE_READ | FILE_SHARE_WRITE);
    CHECK_EQ(s, open->disposition, OPEN_EXISTING);
    CHECK_EQ(s, open->flags, FILE_ATTRIBUTE_NORMAL);
    CHECK(s, !open->security_attributes && !open->template_file);

    // The first open tells each board its handle value, and nothing else.
    for (std::size_t i = 0; i < 2; ++i) {
        const MFB_BoardHandle h = i == 0 ? h0 : h1;
        const auto exchanges = bench::board(i)->exchanges();
        REQUIRE(s, exchanges.size() == 1);
        CHECK_REQUEST(s, exchanges[0], 0x9001C014, le32(h), 0);
        CHECK_EQ(s, bench::board(i)->sim().notified_handle(), h);
    }

    // The information record of board 1, read through a device handle of its own.
    char identifier[50];
    std::memset(identifier, 0x7F, sizeof identifier);
    std::uint32_t w1 = 0, w2 = 0, w3 = 0, w4 = 0, w5 = 0;
    std::uint8_t byte = 0;
    CHECK_EQ(s,
             MFB(i_MFB_GetBoardInformation)(1, identifier, sizeof identifier, &w1, &w3, &w2, &w4,
                                            &w5, &byte),
             0);
    CHECK_EQ(s, std::string(identifier), std::string("MFB-SIM-1"));
    CHECK_EQ(s, w1, 0x00010001u);
    CHECK_EQ(s, w2, 0x0203u);
    CHECK_EQ(s, w3, 1u);
    CHECK_EQ(s, w4, 9u);
    CHECK_EQ(s, w5, 11u);
    CHECK_EQ(s, byte, 4);
    const auto info = bench::board(1)->exchanges().back();
    CHECK_REQUEST(s, info, 0x90002098, Bytes{}, 84);
    CHECK_EQ(s, bench::open_board_files().size(), 2u);

    // By identifier: the same board, the same handle, one more open to close.
    MFB_BoardHandle again = 0;
    CHECK_EQ(s, MFB(i_MFB_OpenBoardViaIdentifier)("MFB-SIM-1", &again), 0);
    CHECK_EQ(s, again, h1);
    CHECK_EQ(s, MFB(i_MFB_OpenBoardViaIdentifier)("MFB-SIM-7", &again), -4);
    MFB_BoardHandle none = 0;
    CHECK_EQ(s, MFB(i_MFB_OpenBoardViaIndex)(2, &none), -2);

    CHECK_EQ(s, MFB(i_MFB_CloseBoard)(h1), 0);
    CHECK(s, bench::board_of(h1) != nullptr); // still open once
    CHECK_EQ(s, MFB(i_MFB_CloseBoard)(h1), 0);
    CHECK(s, bench::board_of(h1) == nullptr);
    CHECK_EQ(s, MFB(i_MFB_CloseBoard)(h1), -2);
    CHECK_EQ(s, MFB(i_MFB_CloseBoard)(h0), 0);
    CHECK(s, bench::open_board_files().empty());
    CHECK_EQ(s, bench::open_device_sets(), 0u);
    // Every handle closed here was a board's: none went on to Windows.
    CHECK_EQ(s, bench::closes_passed_on(), closes_before);
}

} // namespace wintest
