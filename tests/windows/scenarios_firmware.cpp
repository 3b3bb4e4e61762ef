// A firmware update through the loader: four small firmware files in a temporary folder, opened by
// the library's own runtime on Windows paths, programmed byte by byte into the simulated board's
// flash, read back and reloaded; and the updates that stop early, with their error position. The
// progress lines that the library prints go to a file for the length of each call, and are read
// from there.
#include "scenarios.h"

#include "sim/firmware_file.h"
#include "tests/firmware_progress.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <io.h>
#include <iterator>
#include <optional>
#include <sys/stat.h>

namespace wintest {
namespace {

namespace fs = std::filesystem;
using mfb::sim::Flash;

// A folder of this process's own under the temporary folder, removed with everything in it.
class Folder {
  public:
    Folder()
        : path_(fs::temp_directory_path() /
                ("mfb-wintest-" + std::to_string(GetCurrentProcessId()))) {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

// The standard output of the C runtime that MFB.dll shares with this program, sent to a file
// until taken back.
class StdoutToFile {
  public:
    explicit StdoutToFile(std::string path) : path_(std::move(path)) {
        std::fflush(stdout);
        saved_ = _dup(1);
        const int file =
            _open(path_.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (saved_ >= 0 && file >= 0)
            redirected_ = _dup2(file, 1) == 0;
        if (file >= 0)
            _close(file);
    }
    ~StdoutToFile() { take_back(); }
    StdoutToFile(const StdoutToFile&) = delete;
    StdoutToFile& operator=(const StdoutToFile&) = delete;

    bool redirected() const { return redirected_; }
    // What was printed meanwhile.
    std::string take_back() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            _dup2(saved_, 1);
            _close(saved_);
            saved_ = -1;
        }
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    std::string path_;
    int saved_ = -1;
    bool redirected_ = false;
};

struct Update {
    const char* what;
    std::function<void(Flash&)> arrange; // a fault of the part
    bool missing_file;                   // module 2's file is not there
    std::int16_t status;
    std::size_t lines;                     // progress lines printed
    std::optional<std::uint32_t> position; // none: not written
    bool erased;
};

} // namespace

void flash_four_small_files(Scenario& s) {
    OpenBoard b(s, 0);
    Folder folder;
    Flash& flash = b.sim().flash();

    // Module payloads of 40, 25, 0 and 9 bytes, each byte telling module and place; module 1's
    // file has sections before its payload and bytes after it, which the loader skips.
    const std::size_t lengths[4] = {40, 25, 0, 9};
    std::string paths[4];
    Bytes image;
    for (std::size_t m = 0; m < 4; ++m) {
        mfb::sim::FirmwareImage file;
        for (std::size_t i = 0; i < lengths[m]; ++i)
            file.payload.push_back(static_cast<std::uint8_t>(0x40 * m + 3 * i + 1));
        if (m == 1) {
            file.sections = {Bytes(13, 0x11), Bytes{}, Bytes(70, 0x33)};
            file.trailer = Bytes(21, 0x99);
        }
        image.insert(image.end(), file.payload.begin(), file.payload.end());
        paths[m] = folder / ("module" + std::to_string(m) + ".bin");
        REQUIRE(s, mfb::sim::write_firmware_file(paths[m], file));
    }
    const std::string missing = folder / "no such file.bin";
    const std::uint32_t module3 = 65; // flash address of module 3's first byte

    const Update updates[] = {
        {"module 2's file is missing: nothing reaches the flash", {}, true, -2, 2, {}, false},
        {"the writes to module 3's first byte keep failing",
         [&](Flash& f) { f.fail_writes(5, module3); }, false, -5, 5, module3, true},
        {"module 3's first byte reads back otherwise",
         [&](Flash& f) { f.set_stuck_bit(module3, 0, false); }, false, -7, 7, module3, true},
        {"a whole update", {}, false, 0, 10, 0, true},
    };
    for (const Update& u : updates) {
        flash.clear_faults();
        if (u.arrange)
            u.arrange(flash);
        const std::uint64_t erases = flash.counts().erases;
        std::uint32_t position = 0xA5A5A5A5; // a value the call never writes
        StdoutToFile out(folder / "progress.txt");
        REQUIRE(s, out.redirected());
        const std::int16_t status = MFB(i_MFB_ConfigureAllModule)(
            b.handle(), paths[0].c_str(), paths[1].c_str(),
            u.missing_file ? missing.c_str() : paths[2].c_str(), paths[3].c_str(), &position);
        const std::string printed = out.take_back();

        const std::string what = std::string(u.what) + ": ";
        s.check(status == u.status, what + "status " + show(status), __FILE__, __LINE__);
        s.check(position == u.position.value_or(0xA5A5A5A5), what + "position " + show(position),
                __FILE__, __LINE__);
        s.check(printed == mfbtest::progress_lines(u.lines), what + "progress " + show(printed),
                __FILE__, __LINE__);
        s.check((flash.counts().erases > erases) == u.erased, what + "erased", __FILE__, __LINE__);
    }
    // The last update holds the four payloads back to back, and nothing after them.
    Bytes expected = image;
    expected.push_back(0xFF);
    CHECK_EQ(s, flash.contents(0, static_cast<std::uint32_t>(expected.size())), expected);
}

} // namespace wintest
