// Loading the four firmware files: a set that does not load completely is refused with -2 before
// anything reaches the board, every file opened is closed (a failed close is reported and does not
// fail the load), and the loader tells why it refused each file.
#include "firmware_fixture.h"

#include <optional>

using namespace mfbtest;
using mfb::vbus::Fn;

namespace {

struct Rejected {
    const char* what;
    std::size_t module;              // whose file is the bad one
    std::optional<std::string> path; // none: a null pointer
    unsigned closes;                 // files opened, and so closed
    const char* reason;              // in the words of inspect_firmware_file
};

TEST_F(FirmwareTest, SetsThatDoNotLoadSendNothing) {
    const auto good = files({3, 3, 3, 3});
    const std::string short_file = file("short", {});
    std::filesystem::resize_file(short_file, 2951);
    const std::string empty_file = file("empty", {});
    std::filesystem::resize_file(empty_file, 0);
    const std::string missing = (folder / "none").string();
    const Rejected cases[] = {
        {"a byte short of the header", 0, short_file, 1, "shorter than the 2952-byte header"},
        {"an empty file", 2, empty_file, 3, "shorter than the 2952-byte header"},
        {"payload length one more than the file holds", 0,
         file("long", {.payload = Bytes(10, 1), .payload_field = 11}), 1,
         "payload runs past the end of the file"},
        {"payload above 100000, though all in the file", 1,
         file("huge", {.payload = Bytes(100001, 1)}), 2, "payload longer than 100000 bytes"},
        {"section lengths that wrap in 32 bits to the end of the header", 2,
         file("wrap", {.payload = Bytes(5, 1), .section_field = {0xFFFFFFFF, 1, 0}}), 3,
         "the sections end past the end of the file"},
        {"sections ending past the end of the file, empty payload", 3,
         file("past", {.section_field = {10000, 0, 0}}), 4,
         "the sections end past the end of the file"},
        {"the last file missing: a partial set", 3, missing, 3, "cannot be opened"},
        {"a null path", 1, std::nullopt, 1, nullptr},
        {"the first file missing", 0, missing, 0, "cannot be opened"},
    };
    for (const Rejected& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<std::string>& bad = c.path;
        std::array<const char*, 4> p = {good[0].c_str(), good[1].c_str(), good[2].c_str(),
                                        good[3].c_str()};
        p[c.module] = bad ? bad->c_str() : nullptr;
        const unsigned closes = mfb::vbus::calls(Fn::fclose);

        EXPECT_EQ(configure(p[0], p[1], p[2], p[3]), -2);
        EXPECT_TRUE(tap->sent.empty());
        EXPECT_EQ(out, progress_lines(2));
        EXPECT_EQ(position, 0xA5A5A5A5u);
        EXPECT_EQ(mfb::vbus::calls(Fn::fclose) - closes, c.closes);
        EXPECT_EQ(mfb::vbus::heap_blocks(), 0u);
        if (bad) {
            EXPECT_EQ(mfb::sim::inspect_firmware_file(*bad).reason, c.reason);
        }
    }
}

// Four files of exactly the header, all fields 0: nothing to write, but the board is still
// erased, reloaded, checked and closed.
TEST_F(FirmwareTest, HeaderOnlyFilesLoadEmpty) {
    const std::string path = file("empty", {});
    ASSERT_EQ(std::filesystem::file_size(path), 2952u);
    EXPECT_EQ(mfb::sim::inspect_firmware_file(path).accepted, true);
    EXPECT_EQ(configure({path, path, path, path}), 0);
    EXPECT_EQ(tap->runs(), (Runs{{kErase, 1}, {kReload, 1}, {kCheck, 1}, {kClosing, 1}}));
    EXPECT_EQ(position, 0u);
}

// A payload that fills its module area loads: it reaches the erase (made to fail here, to stop
// before 100,000 exchanges).
TEST_F(FirmwareTest, AFullModuleAreaLoads) {
    auto paths = files({1, 1, 1, 1});
    paths[2] = file("full", {.payload = Bytes(100000, 1)});
    board->flash().fail(mfb::sim::Flash::Request::Erase);
    EXPECT_EQ(configure(paths), -4);
    EXPECT_EQ(out, progress_lines(4));
}

TEST_F(FirmwareTest, NoMemoryForTheBuffersIsAFailedLoad) {
    const auto paths = files({3, 3, 3, 3});
    mfb::vbus::fail(Fn::HeapAlloc);
    EXPECT_EQ(configure(paths), -2);
    EXPECT_TRUE(tap->sent.empty());
    EXPECT_EQ(out, progress_lines(2));
    EXPECT_EQ(mfb::vbus::calls(Fn::fclose), 0u) << "no file was opened";
}

// A file that does not close is named on the standard error stream; the update goes on, or stops
// for its own reason.
TEST_F(FirmwareTest, FailedClosesAreReported) {
    const auto paths = files({3, 3, 3, 3});
    mfb::vbus::fail(Fn::fclose, 2);
    mfb::vbus::fail(Fn::fclose, 4);
    EXPECT_EQ(configure(paths), 0);
    EXPECT_EQ(err, "\n i_MFB_LoadFile Error : file 1 close error"
                   "\n i_MFB_LoadFile Error : file 3 close error");

    mfb::vbus::fail(Fn::fclose, 1);
    EXPECT_EQ(configure(paths[0].c_str(), paths[1].c_str(), nullptr, paths[3].c_str()), -2);
    EXPECT_EQ(err, "\n i_MFB_LoadFile Error : file 0 close error");
    EXPECT_EQ(out, progress_lines(2));
}

} // namespace
