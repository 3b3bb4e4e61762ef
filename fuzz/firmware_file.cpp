#include "firmware_file.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

namespace mfbfuzz {

std::vector<std::uint8_t> firmware_file(const std::vector<std::uint8_t>& payload,
                                        std::uint32_t skipped) {
    std::vector<std::uint8_t> f(kHeaderSize + skipped, 0);
    const std::uint32_t fields[4] = {skipped, 0, 0, static_cast<std::uint32_t>(payload.size())};
    for (int i = 0; i < 4; ++i)
        for (int b = 0; b < 4; ++b)
            f[kLengthFields + 4 * i + b] = static_cast<std::uint8_t>(fields[i] >> (8 * b));
    for (std::uint8_t byte : payload)
        f.push_back(static_cast<std::uint8_t>(byte ^ kScrambleKey));
    return f;
}

std::string scratch_path(const std::string& name) {
    static const std::filesystem::path folder = [] {
        auto p = std::filesystem::temp_directory_path() /
                 ("mfb-fuzz-" + std::to_string(static_cast<long>(getpid())));
        std::filesystem::create_directories(p);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        });
        return p;
    }();
    return (folder / name).string();
}

void write_file(const std::string& path, const std::uint8_t* bytes, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size && std::fwrite(bytes, 1, size, f) != size) || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
}

} // namespace mfbfuzz
