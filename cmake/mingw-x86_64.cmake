# Cross-build of MFB.dll for x64 Windows with mingw-w64.
set(MFB_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
