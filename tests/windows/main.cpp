// The Windows test program: loads MFB.dll as an application does, redirects the library's calls
// that reach a board to the simulated boards of bench.h, and runs the scenarios end to end on the
// real Windows runtime (or Wine's).
//
//   mfb_wintest [--dll PATH] [SCENARIO...]
//
// PATH defaults to MFB.dll, which the loader finds beside the program. Without scenario names
// every scenario runs. The last line counts them: "wintest: N passed, M failed"; the exit status
// is 0 only when all passed.
#include "scenarios.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace wintest {
namespace {

struct Entry {
    const char* name;
    void (*run)(Scenario&);
};

// Every scenario, in the order they run. A new one is a function in a scenario file, declared in
// scenarios.h and added here.
constexpr Entry kScenarios[] = {
    {"exports_by_name_and_ordinal", exports_by_name_and_ordinal},
    {"enumerate_and_open_two_boards", enumerate_and_open_two_boards},
    {"family_requests", family_requests},
    {"interrupts_in_order", interrupts_in_order},
    {"reset_inside_routine", reset_inside_routine},
    {"routines_reset_each_other", routines_reset_each_other},
    {"routine_waits_for_the_resetting_thread", routine_waits_for_the_resetting_thread},
    {"reset_in_first_call_before_install_returns", reset_in_first_call_before_install_returns},
    {"closed_boards_thread_reaches_no_board_opened_after",
     closed_boards_thread_reaches_no_board_opened_after},
    {"flash_four_small_files", flash_four_small_files},
    {"labview_events_in_order", labview_events_in_order},
};

HMODULE g_library = nullptr;

// After a scenario: what it left behind is a failure of its own, and is cleared away so that the
// next scenario starts clean (routines removed, boards closed, the process priority normal).
void clear_up(Scenario& s) {
    for (std::uint32_t handle : bench::open_board_files()) {
        s.check(false, "board file " + show(handle) + " left open", __FILE__, __LINE__);
        MFB(i_MFB_ResetBoardIntRoutine)(handle);
        for (int i = 0; i < 100 && bench::board_of(handle); ++i)
            MFB(i_MFB_CloseBoard)(handle);
    }
    const std::size_t sets = bench::open_device_sets();
    s.check(sets == 0, std::to_string(sets) + " device sets left open", __FILE__, __LINE__);
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
}

bool run(const Entry& entry) {
    Scenario s;
    bench::reset(2);
    const ULONGLONG start = GetTickCount64();
    try {
        entry.run(s);
    } catch (const Stop&) {
        // ended by a REQUIRE; its failure is noted
    } catch (const std::exception& e) {
        s.check(false, std::string("exception: ") + e.what(), __FILE__, __LINE__);
    }
    try {
        clear_up(s);
    } catch (const Stop&) {
    }
    const bool passed = s.failures().empty();
    std::printf("[%s] %s (%llu ms)\n", passed ? "  ok  " : " FAIL ", entry.name,
                static_cast<unsigned long long>(GetTickCount64() - start));
    for (const std::string& failure : s.failures())
        std::printf("         %s\n", failure.c_str());
    std::fflush(stdout);
    return passed;
}

} // namespace

HMODULE library() {
    return g_library;
}

void (*export_named(const char* name))() {
    FARPROC address = GetProcAddress(g_library, name);
    if (!address) {
        std::printf("         %s is not exported\n", name);
        throw Stop{};
    }
    return reinterpret_cast<void (*)()>(address);
}

} // namespace wintest

int main(int argc, char** argv) {
    using namespace wintest;
    const char* dll = "MFB.dll";
    std::vector<std::string> chosen;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dll") == 0 && i + 1 < argc)
            dll = argv[++i];
        else
            chosen.push_back(argv[i]);
    }
    for (const std::string& name : chosen) {
        bool known = false;
        for (const Entry& e : kScenarios)
            known = known || name == e.name;
        if (!known) {
            std::printf("wintest: no scenario %s\n", name.c_str());
            return 2;
        }
    }

    g_library = LoadLibraryA(dll);
    if (!g_library) {
        std::printf("wintest: LoadLibraryA(%s) failed with error %lu\n", dll, GetLastError());
        return 2;
    }
    const std::vector<std::string> missing = mfb::sim::windows::put_boards_behind(g_library);
    for (const std::string& name : missing)
        std::printf("wintest: %s imports no %s\n", dll, name.c_str());
    if (!missing.empty())
        return 2;
    std::printf("wintest: %s loaded in a %d-bit process, %zu imports redirected to the bench\n",
                dll, static_cast<int>(8 * sizeof(void*)), mfb::sim::windows::replacements().size());

    int passed = 0, failed = 0;
    for (const Entry& e : kScenarios) {
        if (!chosen.empty() && std::find(chosen.begin(), chosen.end(), e.name) == chosen.end())
            continue;
        ++(run(e) ? passed : failed);
    }
    std::printf("wintest: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
