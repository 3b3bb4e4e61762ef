# What `cmake --install` puts in place on Linux: libmfb.so (the library with the Linux substitute
# and the simulated boards: Linux has no board driver, so it serves to develop and test
# applications against simulated boards) with its soname and version, the headers mfb.h,
# mfb_vbus.h and mfb_sim.h, the status and explanation tables (share/mfb), a CMake package
# (find_package(MFB) gives MFB::mfb) and a pkg-config file (mfb). mfbctl, its man page and its
# completion are the component mfbctl. A program linked through either runs without
# LD_LIBRARY_PATH: CMake records the library's folder in the program's RPATH, and the pkg-config
# file's link flags do the same. The CMake package finds the library relative to where it is
# installed.
include(CMakePackageConfigHelpers)

set_target_properties(mfb_shared PROPERTIES VERSION ${PROJECT_VERSION}
                                            SOVERSION ${PROJECT_VERSION_MAJOR} EXPORT_NAME mfb)
target_include_directories(mfb_shared INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS mfb_shared EXPORT MFBTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library)
install(FILES include/mfb.h include/mfb_vbus.h include/mfb_sim.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT library)
set(MFB_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/mfb)
install(FILES include/mfb_status.json include/mfb_explain.json
        DESTINATION ${MFB_INSTALL_DATADIR} COMPONENT library)

set(MFB_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/MFB)
install(EXPORT MFBTargets NAMESPACE MFB:: DESTINATION ${MFB_CMAKE_DIR} COMPONENT library)
configure_package_config_file(cmake/MFBConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/MFBConfig.cmake
                              INSTALL_DESTINATION ${MFB_CMAKE_DIR} PATH_VARS MFB_INSTALL_DATADIR)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/MFBConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/MFBConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/MFBConfigVersion.cmake
        DESTINATION ${MFB_CMAKE_DIR} COMPONENT library)

# pkg-config: the file is written as it is installed, with the prefix of the install (cmake
# --install --prefix), so that the link flags it gives name the library's folder absolutely.
set(MFB_PC_PREFIX "@MFB_PC_PREFIX@") # filled in at install time
configure_file(cmake/mfb.pc.in ${CMAKE_CURRENT_BINARY_DIR}/mfb.pc.in @ONLY)
install(CODE "set(MFB_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(\"${CMAKE_CURRENT_BINARY_DIR}/mfb.pc.in\" \"${CMAKE_CURRENT_BINARY_DIR}/mfb.pc\" @ONLY)
  file(INSTALL \"${CMAKE_CURRENT_BINARY_DIR}/mfb.pc\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")"
        COMPONENT library)
