# The test panel of mfbctl (`mfbctl panel`, tools/panel/), included where the tool is built.
#
# It needs Boost's headers (Debian's libboost-dev: Beast and Asio, header-only) and the charting
# library uPlot, which scripts/setup.sh fetches from the npm registry into tools/panel/node_modules
# as tools/panel/package-lock.json pins it (npm ci). The page's files and uPlot's are compiled into
# the tool, so that the page fetches nothing while it runs, and uPlot's licence notice is served by
# the page and installed beside the man page.
#
# MFB_PANEL: ON builds the panel and fails here, naming what is missing, without its
# dependencies; AUTO builds it where they are there; OFF leaves it out. Without the panel,
# `mfbctl panel` says that the build carries none. The panel's server compiles in a unit of its
# own (Beast and Asio cost most of it), outside the tool's unity build.
set(MFB_PANEL AUTO CACHE STRING "Carry the test panel in mfbctl: ON, AUTO (where its dependencies are there) or OFF")
set_property(CACHE MFB_PANEL PROPERTY STRINGS ON AUTO OFF)
if(MFB_PANEL STREQUAL "OFF")
  return()
endif()

# The source tree, also where another project (windows/) includes this file.
get_filename_component(MFB_PANEL_ROOT ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(MFB_PANEL_DIR ${MFB_PANEL_ROOT}/tools/panel)
set(MFB_UPLOT_DIR ${MFB_PANEL_DIR}/node_modules/uplot)
# A cross-build names the folder of Boost's headers itself (one that holds only them).
find_path(MFB_BOOST_INCLUDE boost/beast.hpp)
set(missing "")
if(NOT MFB_BOOST_INCLUDE)
  list(APPEND missing "Boost's headers (Debian's libboost-dev)")
endif()
if(NOT EXISTS ${MFB_UPLOT_DIR}/dist/uPlot.iife.min.js)
  list(APPEND missing "the charting library uPlot (scripts/setup.sh fetches it: npm ci in tools/panel)")
endif()
if(missing)
  list(JOIN missing " and " missing)
  if(MFB_PANEL STREQUAL "ON")
    message(FATAL_ERROR "MFB_PANEL is ON, and the test panel needs ${missing}")
  endif()
  message(STATUS "mfbctl without the test panel: it needs ${missing}")
  return()
endif()
message(STATUS "mfbctl with the test panel")

# The page's files as the page asks for them: path=file=media type.
set(page ${MFB_PANEL_DIR}/page)
set(MFB_PANEL_FILES
  "/index.html=${page}/index.html=text/html"
  "/panel.js=${page}/panel.js=text/javascript"
  "/panel.css=${page}/panel.css=text/css"
  "/uPlot.js=${MFB_UPLOT_DIR}/dist/uPlot.iife.min.js=text/javascript"
  "/uPlot.css=${MFB_UPLOT_DIR}/dist/uPlot.min.css=text/css"
  "/licenses/uPlot.txt=${MFB_UPLOT_DIR}/LICENSE=text/plain")
set(files "")
set(inputs "")
foreach(entry IN LISTS MFB_PANEL_FILES)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 1 file)
  list(APPEND inputs ${file})
  string(APPEND files "${files_separator}${entry}")
  set(files_separator "|")
endforeach()
set(MFB_PANEL_ASSETS ${CMAKE_CURRENT_BINARY_DIR}/generated/panel_assets.inc)
add_custom_command(
  OUTPUT ${MFB_PANEL_ASSETS}
  COMMAND ${CMAKE_COMMAND} "-DFILES=${files}" -DOUT=${MFB_PANEL_ASSETS}
          -P ${MFB_PANEL_ROOT}/cmake/embed_files.cmake
  DEPENDS ${inputs} ${MFB_PANEL_ROOT}/cmake/embed_files.cmake
  COMMENT "Compiling in the test panel's page"
  VERBATIM)

file(GLOB MFB_PANEL_SOURCES CONFIGURE_DEPENDS ${MFB_PANEL_DIR}/*.cpp)
if(WIN32)
  list(FILTER MFB_PANEL_SOURCES EXCLUDE REGEX "_posix\\.cpp$")
else()
  list(FILTER MFB_PANEL_SOURCES EXCLUDE REGEX "_windows\\.cpp$")
endif()
add_library(mfbctl_panel STATIC ${MFB_PANEL_SOURCES} ${MFB_PANEL_ASSETS})
target_include_directories(mfbctl_panel PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_include_directories(mfbctl_panel SYSTEM PRIVATE ${MFB_BOOST_INCLUDE})
# Beast's string_view as the standard's; Asio without what it keeps for old code.
target_compile_definitions(mfbctl_panel PRIVATE BOOST_BEAST_USE_STD_STRING_VIEW
                                                BOOST_ASIO_NO_DEPRECATED)
target_compile_options(mfbctl_panel PRIVATE ${MFB_WARNINGS} ${MFBCTL_OPTIONS})
target_link_libraries(mfbctl_panel PUBLIC mfbctl_common)
if(WIN32)
  # Asio's sockets: Winsock 2 and its Microsoft extensions, Windows 7's interface.
  target_compile_definitions(mfbctl_panel PRIVATE _WIN32_WINNT=0x0601)
  target_link_libraries(mfbctl_panel PUBLIC ws2_32 mswsock)
endif()
target_link_libraries(mfbctl PRIVATE mfbctl_panel)
target_compile_definitions(mfbctl PRIVATE MFBCTL_PANEL)

include(GNUInstallDirs)
install(FILES ${MFB_UPLOT_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME uPlot.LICENSE
        COMPONENT mfbctl)
