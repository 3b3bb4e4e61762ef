# Cross-build of MFB.dll for 32-bit Windows with mingw-w64.
set(MFB_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
