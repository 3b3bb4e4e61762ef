// Writes the seed corpus of the fuzz targets: inputs that reach each export and each kind of
// hostile answer, fault and file at once, so that a short run starts from the deep paths.
//   build/linux-fuzz/fuzz/fuzz_make_seeds fuzz/corpus
// The input layouts are described in session.h and firmware_files.cpp.
#include "export_table.h"
#include "firmware_file.h"

#include "mfb_vbus.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put(Bytes& b, std::uint32_t v, int width) {
    for (int i = 0; i < width; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A hostile-driver input, built call by call.
struct Hostile {
    std::uint8_t boards = 1;
    Bytes calls, answers;

    Hostile& op(std::uint16_t ordinal) { return put(calls, ordinal, 2), *this; }
    Hostile& u8(std::uint8_t v) { return put(calls, v, 1), *this; }
    Hostile& u32(std::uint32_t v) { return put(calls, v, 4), *this; }
    Hostile& open(std::uint8_t index) { return op(101).u8(index); }
    // An export on the first handle opened (its handle argument picks the first in the list).
    Hostile& on(std::uint16_t ordinal) { return op(ordinal).u8(0).u8(0); }
    // A routine: 0 none, 1 one that counts, 2 one that resets itself.
    Hostile& install(std::uint8_t routine) { return on(103).u8(routine); }
    Hostile& reset() { return on(104); }
    Hostile& close() { return on(102); }
    // A path argument: one of the three sound firmware files of the session.
    Hostile& firmware(std::uint8_t n) { return u8(static_cast<std::uint8_t>(3 + 4 * n)); }
    Hostile& fault(mfb::vbus::Fn fn, std::uint8_t nth) {
        return op(0xFF00).u8(static_cast<std::uint8_t>(fn)).u8(nth - 1).u32(31);
    }
    // Records at board 0: word 1 as given, the rest zero; the last `failing` of them fail.
    Hostile& interrupts(std::uint8_t n, std::uint8_t failing = 0) {
        op(0xFF01).u8(0).u8(n);
        for (std::uint8_t i = 0; i < n; ++i) {
            u8(i + failing >= n ? 1 : 0);
            Bytes record(80, 0);
            record[0] = i;
            calls.insert(calls.end(), record.begin(), record.end());
            u32(0);
        }
        return *this;
    }
    Hostile& swap(std::uint8_t board) { return op(0xFF02).u8(board); }

    // Answers, one per exchange.
    Hostile& well() { return put(answers, 0, 1), *this; }
    Hostile& failing(std::uint32_t error) {
        return put(answers, 2, 1), put(answers, error, 4), *this;
    }
    // Success with the given bytes over the buffer (zeros after them) and a byte-count selector.
    Hostile& bytes(const Bytes& b, std::size_t room, std::uint8_t count = 0) {
        put(answers, 1 | count << 2, 1);
        Bytes all = b;
        all.resize(room, 0);
        answers.insert(answers.end(), all.begin(), all.end());
        return *this;
    }
    Hostile& result(std::uint32_t r, std::size_t room) {
        put(answers, 3, 1), put(answers, r, 4);
        answers.insert(answers.end(), room, 0);
        return *this;
    }

    Bytes input() const {
        Bytes b{boards};
        put(b, static_cast<std::uint32_t>(calls.size()), 2);
        b.insert(b.end(), calls.begin(), calls.end());
        b.insert(b.end(), answers.begin(), answers.end());
        return b;
    }
};

// A firmware-files input: four parts.
struct Files {
    Bytes parts[4];

    static Bytes structured(std::uint32_t s1, std::uint32_t s2, std::uint32_t s3, std::uint32_t p,
                            const Bytes& after) {
        Bytes b{1};
        for (std::uint32_t v : {s1, s2, s3, p})
            put(b, v, 4);
        b.insert(b.end(), after.begin(), after.end());
        return b;
    }
    static Bytes sound(std::size_t payload) {
        return structured(0, 0, 0, static_cast<std::uint32_t>(payload), Bytes(payload, 0x3C));
    }
    static Bytes raw(const Bytes& file) {
        Bytes b{0};
        b.insert(b.end(), file.begin(), file.end());
        return b;
    }
    Bytes input() const {
        Bytes b;
        for (const Bytes& p : parts) {
            put(b, static_cast<std::uint32_t>(p.size()), 2);
            b.insert(b.end(), p.begin(), p.end());
        }
        return b;
    }
};

std::filesystem::path g_root;

void write(const std::string& target, const std::string& name, const Bytes& b) {
    const auto dir = g_root / target;
    std::filesystem::create_directories(dir);
    mfbfuzz::write_file((dir / name).string(), b.data(), b.size());
}

void hostile_seeds() {
    const std::string t = "hostile_driver";
    // Every export once on an open board, every argument 0 (module 0, first timer, ...).
    for (std::size_t i = 0; i < mfbfuzz::kExportCount; ++i) {
        const mfbfuzz::Export& e = mfbfuzz::kExports[i];
        write(t, std::string("export-") + e.name, Hostile{}.open(0).op(e.ordinal).input());
    }
    write(t, "open-twice-read-close-twice",
          Hostile{}.open(0).open(0).on(249).u8(1).u8(2).close().close().input());
    write(t, "two-boards-by-identifier",
          Hostile{.boards = 2}.op(100).op(108).u8(2).u8(5).well().bytes({0}, 84).input());
    write(t, "interrupts-delivered-then-reset",
          Hostile{}.open(0).install(1).interrupts(3).reset().input());
    write(t, "interrupt-read-fails", Hostile{}.open(0).install(1).interrupts(3, 1).reset().input());
    write(t, "routine-resets-itself", Hostile{}.open(0).install(2).interrupts(2).input());
    write(t, "closed-with-routine-installed", Hostile{}.open(0).install(1).close().input());
    write(t, "board-swapped-under-an-open-handle",
          Hostile{.boards = 2}
              .open(0)
              .install(1)
              .swap(0)
              .on(249)
              .interrupts(1)
              .reset()
              .close()
              .input());
    write(t, "answers-failing-odd-and-long",
          Hostile{}
              .open(0)
              .on(249)
              .on(249)
              .on(295)
              .on(211)
              .well()
              .failing(1617)
              .result(2, 8)
              .bytes({1, 2, 3, 4, 5, 6, 7, 8}, 24, 2)
              .bytes(Bytes(12, 0xFF), 12, 3)
              .input());
    write(t, "firmware-update",
          Hostile{}.open(0).on(254).firmware(0).firmware(1).firmware(2).firmware(0).input());
    Hostile write_fails =
        Hostile{}.open(0).on(254).firmware(1).firmware(1).firmware(1).firmware(1).well().well();
    for (int attempt = 0; attempt < 5; ++attempt)
        write_fails.failing(31);
    write(t, "firmware-update-write-fails", write_fails.input());
    // Every platform call failing once, in the middle of an open, an install and a reset.
    for (unsigned f = 0; f < static_cast<unsigned>(mfb::vbus::Fn::Count); ++f) {
        const auto fn = static_cast<mfb::vbus::Fn>(f);
        for (std::uint8_t nth : {1, 2})
            write(
                t, std::string("fault-") + mfb::vbus::name(fn) + "-" + std::to_string(nth),
                Hostile{}.fault(fn, nth).open(0).install(1).interrupts(1).reset().close().input());
    }
}

void firmware_seeds() {
    const std::string t = "firmware_files";
    const auto sound = [](std::size_t a, std::size_t b, std::size_t c, std::size_t d) {
        return Files{{Files::sound(a), Files::sound(b), Files::sound(c), Files::sound(d)}};
    };
    // A sound set but for one module's part.
    const auto but = [&](int module, Bytes part) {
        Files f = sound(1, 1, 1, 1);
        f.parts[module] = std::move(part);
        return f.input();
    };
    write(t, "sound-set", sound(10, 20, 0, 5).input());
    write(t, "sound-empty-payloads", sound(0, 0, 0, 0).input());
    write(t, "sound-with-sections", but(0, Files::raw(mfbfuzz::firmware_file({1, 2, 3}, 4))));
    write(t, "file-missing", but(2, {2}));
    write(t, "path-is-a-folder", but(1, {3}));
    write(t, "payload-shorter-than-its-length", but(0, Files::structured(0, 0, 0, 9, Bytes(4, 0))));
    write(t, "sections-past-4-gib",
          but(3, Files::structured(0xFFFFFFFF, 0xFFFFFFFF, 2, 1, Bytes(1, 0))));
    write(t, "payload-above-the-limit",
          but(1, Files::structured(0, 0, 0, mfbfuzz::kPayloadLimit + 1, Bytes(8, 0))));
    write(t, "header-cut-short", but(0, Files::raw(Bytes(mfbfuzz::kHeaderSize - 1, 0))));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    hostile_seeds();
    firmware_seeds();
    return 0;
}
