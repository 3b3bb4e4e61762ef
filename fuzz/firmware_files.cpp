// Fuzz target: arbitrary contents for the four firmware files of an update. Nothing may reach the
// flash unless all four files are sound; when they are, the flash ends up holding exactly their
// de-scrambled payloads, back to back in module order, and the update succeeds.
//
// Input: four parts, one per module, each a u16 length (little-endian) and that many bytes; the
// first byte of a part says what the path holds:
//   0  a file of the part's other bytes, as they are;
//   1  a file whose 2952-byte header is zero but for its four length fields (S1, S2, S3, P), the
//      part's next 16 bytes, followed by the part's remaining bytes;
//   2  nothing: no file at the path;
//   3  a folder.
// A sound file has the whole header, a payload length of at most 100,000, and that many bytes
// after the header and its three sections.
#include "firmware_file.h"
#include "reader.h"

#include "mfb.h"
#include "mfb_vbus.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using mfbfuzz::Reader;

constexpr std::uint32_t kErase = 0x900020D0, kClosing = 0x900020D4, kReload = 0x900020D8,
                        kCheck = 0x900020DC, kWrite = 0x900020E0, kRead = 0x900020E4;

// A flash that takes every request and remembers what reached it.
class FlashDriver : public mfb::vbus::Driver {
  public:
    int exchange(mfb::vbus::Exchange& x) override {
        std::lock_guard lock(mutex_);
        if (!listening)
            return 1;
        const std::uint32_t address = x.in_size >= 4 ? le32(x.buffer) : 0xFFFFFFFF;
        switch (x.code) {
        case kWrite:
            writes.push_back({address, x.in_size >= 5 ? x.buffer[4] : std::uint8_t{0}});
            cells_[address] = writes.back().value;
            break;
        case kRead:
            if (x.in_size >= 5)
                x.buffer[4] = byte_at(address);
            ++reads;
            break;
        default:
            codes.push_back(x.code);
            break;
        }
        x.bytes_returned = x.out_size;
        return 1;
    }

    struct Write {
        std::uint32_t address;
        std::uint8_t value;
    };
    bool listening = false;           // the open's own exchange is not counted
    std::vector<Write> writes;        // in order
    std::vector<std::uint32_t> codes; // every other request, in order
    std::size_t reads = 0;

  private:
    static std::uint32_t le32(const std::uint8_t* p) {
        return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) |
               static_cast<std::uint32_t>(p[3]) << 24;
    }
    std::uint8_t byte_at(std::uint32_t address) const {
        auto it = cells_.find(address);
        return it == cells_.end() ? 0xFF : it->second; // erased
    }
    std::mutex mutex_;
    std::unordered_map<std::uint32_t, std::uint8_t> cells_;
};

std::uint32_t u32_at(const std::vector<std::uint8_t>& b, std::size_t off) {
    return static_cast<std::uint32_t>(b[off] | b[off + 1] << 8 | b[off + 2] << 16) |
           static_cast<std::uint32_t>(b[off + 3]) << 24;
}

// The payload that a sound file gives the flash; nothing for a file that is not sound.
std::optional<std::vector<std::uint8_t>> payload_of(const std::vector<std::uint8_t>& file) {
    if (file.size() < mfbfuzz::kHeaderSize)
        return std::nullopt;
    std::uint64_t offset = mfbfuzz::kHeaderSize;
    for (int i = 0; i < 3; ++i)
        offset += u32_at(file, mfbfuzz::kLengthFields + 4 * i);
    const std::uint32_t length = u32_at(file, mfbfuzz::kLengthFields + 12);
    if (length > mfbfuzz::kPayloadLimit || offset + length > file.size())
        return std::nullopt;
    std::vector<std::uint8_t> p(file.begin() + static_cast<std::ptrdiff_t>(offset),
                                file.begin() + static_cast<std::ptrdiff_t>(offset + length));
    for (auto& b : p)
        b ^= mfbfuzz::kScrambleKey;
    return p;
}

[[noreturn]] void fail(const char* what, long long a = 0, long long b = 0) {
    std::fprintf(stderr, "firmware files: %s (%lld, %lld)\n", what, a, b);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!std::getenv("MFB_FUZZ_TRACE"))
        std::freopen("/dev/null", "w", stdout); // the update's progress lines
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader input(data, size);
    std::string paths[4];
    std::optional<std::vector<std::uint8_t>> flash = std::vector<std::uint8_t>{};
    for (int m = 0; m < 4; ++m) {
        Reader part = input.take(input.u16());
        const std::uint8_t kind = part.u8() % 4;
        paths[m] = mfbfuzz::scratch_path("module" + std::to_string(m));
        std::error_code ignored;
        std::filesystem::remove_all(paths[m], ignored);
        if (kind == 2) {
            flash.reset();
            continue;
        }
        if (kind == 3) {
            std::filesystem::create_directory(paths[m]);
            flash.reset();
            continue;
        }
        std::vector<std::uint8_t> file;
        if (kind == 1) {
            file.assign(mfbfuzz::kHeaderSize, 0);
            part.bytes(file.data() + mfbfuzz::kLengthFields, 16);
        }
        while (!part.empty())
            file.push_back(part.u8());
        mfbfuzz::write_file(paths[m], file.data(), file.size());
        const auto payload = payload_of(file);
        if (!payload)
            flash.reset();
        else if (flash)
            flash->insert(flash->end(), payload->begin(), payload->end());
    }

    mfb::vbus::reset_process();
    mfb::vbus::set_virtual_clock(true);
    auto driver = std::make_shared<FlashDriver>();
    mfb::vbus::attach(driver);
    MFB_BoardHandle h = 0;
    if (i_MFB_OpenBoardViaIndex(0, &h) != 0)
        fail("the board does not open");
    driver->listening = true;
    std::uint32_t position = 0xA5A5A5A5;
    const std::int16_t status = i_MFB_ConfigureAllModule(
        h, paths[0].c_str(), paths[1].c_str(), paths[2].c_str(), paths[3].c_str(), &position);
    if (!flash) {
        if (status != -2)
            fail("a set that is not sound was not refused with -2", status);
        if (!driver->writes.empty() || !driver->codes.empty() || driver->reads != 0)
            fail("a set that is not sound reached the flash", driver->writes.size(),
                 driver->codes.size());
        if (position != 0xA5A5A5A5)
            fail("a refused set wrote the error position", position);
    } else {
        if (status != 0 || position != 0)
            fail("a sound set did not flash", status, position);
        if (driver->writes.size() != flash->size() || driver->reads != flash->size())
            fail("the flash saw another number of bytes", driver->writes.size(),
                 static_cast<long long>(flash->size()));
        for (std::size_t i = 0; i < flash->size(); ++i)
            if (driver->writes[i].address != i || driver->writes[i].value != (*flash)[i])
                fail("the flash got another byte", static_cast<long long>(i),
                     driver->writes[i].value);
        const std::vector<std::uint32_t> sequence = {kErase, kReload, kCheck, kClosing};
        if (driver->codes != sequence)
            fail("the flash requests are out of order",
                 static_cast<long long>(driver->codes.size()));
    }
    i_MFB_CloseBoard(h);
    if (mfb::vbus::open_handles() != 0 || mfb::vbus::heap_blocks() != 0)
        fail("the update left handles or heap blocks",
             static_cast<long long>(mfb::vbus::open_handles()),
             static_cast<long long>(mfb::vbus::heap_blocks()));
    mfb::vbus::reset_process();
    return 0;
}
