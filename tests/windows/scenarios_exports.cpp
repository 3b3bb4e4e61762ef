// The export table as the loader sees it: every export of MFB.def by name and by its ordinal, the
// same function both ways, inside the DLL's image, and under its plain name only.
#include "scenarios.h"

#include <string>

namespace wintest {
namespace {

struct Export {
    const char* name;
    unsigned argument_size; // of the stdcall decoration that no exported name may carry
    unsigned ordinal;
};

constexpr Export kExports[] = {
#include "mfb_exports.inc"
};

} // namespace

void exports_by_name_and_ordinal(Scenario& s) {
    auto* base = reinterpret_cast<const std::uint8_t*>(library());
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const std::uintptr_t image_end =
        reinterpret_cast<std::uintptr_t>(base) + nt->OptionalHeader.SizeOfImage;
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    REQUIRE(s, directory.VirtualAddress != 0);
    const auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    CHECK_EQ(s, exports->NumberOfNames, std::size(kExports));

    for (const Export& e : kExports) {
        const FARPROC by_name = GetProcAddress(library(), e.name);
        const FARPROC by_ordinal = GetProcAddress(library(), MAKEINTRESOURCEA(e.ordinal));
        const std::string what = std::string(e.name) + " @" + std::to_string(e.ordinal);
        if (!s.check(by_name != nullptr, what + " resolves by name", __FILE__, __LINE__) ||
            !s.check(by_ordinal != nullptr, what + " resolves by ordinal", __FILE__, __LINE__))
            continue;
        s.check(by_name == by_ordinal, what + ": the same function by name and by ordinal",
                __FILE__, __LINE__);
        // Code of MFB.dll itself: an export forwarded to another DLL would resolve outside it.
        const auto address = reinterpret_cast<std::uintptr_t>(by_name);
        s.check(address > reinterpret_cast<std::uintptr_t>(base) && address < image_end,
                what + " lies inside the DLL's image", __FILE__, __LINE__);
        const std::string decorated = std::string(e.name) + "@" + std::to_string(e.argument_size);
        s.check(GetProcAddress(library(), decorated.c_str()) == nullptr,
                decorated + " is not exported", __FILE__, __LINE__);
    }
}

} // namespace wintest
