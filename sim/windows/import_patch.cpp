#include "sim/windows/import_patch.h"

#include <cstdint>
#include <cstring>

namespace mfb::sim::windows {

std::vector<std::string> redirect_imports(HMODULE module, const std::vector<Redirect>& redirects) {
    auto* base = reinterpret_cast<std::uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];

    std::vector<bool> patched(redirects.size(), false);
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.VirtualAddress != 0 && d->Name != 0; ++d) {
        const char* dll = reinterpret_cast<const char*>(base + d->Name);
        // The lookup table keeps the names; the address table beside it holds what the loader
        // bound them to. Without a lookup table the names are gone and nothing can be matched.
        if (d->OriginalFirstThunk == 0)
            continue;
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* by_name =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            const char* function = reinterpret_cast<const char*>(by_name->Name);
            for (std::size_t i = 0; i < redirects.size(); ++i) {
                if (_stricmp(dll, redirects[i].dll) != 0 ||
                    std::strcmp(function, redirects[i].function) != 0)
                    continue;
                DWORD protection = 0;
                void* slot = &slots->u1.Function;
                if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection))
                    break;
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(redirects[i].replacement);
                VirtualProtect(slot, sizeof(void*), protection, &protection);
                patched[i] = true;
            }
        }
    }

    std::vector<std::string> missing;
    for (std::size_t i = 0; i < redirects.size(); ++i)
        if (!patched[i])
            missing.push_back(std::string(redirects[i].dll) + "!" + redirects[i].function);
    return missing;
}

} // namespace mfb::sim::windows
