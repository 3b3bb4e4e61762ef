// The progress lines that i_MFB_ConfigureAllModule prints, exactly as programs that watch an
// update read them: for the tests on Linux and the Windows test program alike.
#pragma once

#include <cstddef>
#include <string>

namespace mfbtest {

// The progress lines in order; a call that stops early prints the first n of them.
inline const char* const kProgress[] = {
    "\n i_MFB_ConfigureAllModule -> start",
    "\n i_MFB_ConfigureAllModule -> handle ok",
    "\n i_MFB_ConfigureAllModule -> file loaded",
    "\n i_MFB_ConfigureAllModule -> file decripted",
    "\n i_MFB_ConfigureAllModule -> flash erased",
    "\n i_MFB_ConfigureAllModule -> flash programmed",
    "\n i_MFB_ConfigureAllModule -> flash read",
    "\n i_MFB_ConfigureAllModule -> read value ok",
    "\n i_MFB_ConfigureAllModule -> flex reloaded",
    "\n i_MFB_ConfigureAllModule -> flex reload ok",
};
inline std::string progress_lines(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += kProgress[i];
    return s;
}

} // namespace mfbtest
