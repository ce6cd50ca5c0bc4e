# Install rules and packages: the tool, its man page and documents, and the
# HOLVANE LiDAR library with its header, CMake package and pkg-config file.
# `cpack` makes a .deb on Linux and a zip on Windows from these rules.
include(CMakePackageConfigHelpers)

# A Windows zip keeps the program and its documents at the top; elsewhere
# the usual tree under the prefix.
if(WIN32)
  set(TREVLIN_BIN_DIR .)
  set(TREVLIN_DOC_DIR .)
  # The short guide for console users, with CR LF and a byte-order mark.
  install(FILES tool/README-Windows.txt DESTINATION .)
else()
  set(TREVLIN_BIN_DIR ${CMAKE_INSTALL_BINDIR})
  set(TREVLIN_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/trevlin)
  install(FILES tool/TREVLIN.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The job script for converting collections on a Slurm cluster.
  install(PROGRAMS cluster/slurm/convert-tiles.sbatch
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/trevlin/slurm)
endif()
set(HOLVANE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/HolvaneLidar)

install(TARGETS TREVLIN RUNTIME DESTINATION ${TREVLIN_BIN_DIR})
install(FILES README.md LICENSE CHANGELOG.md DESTINATION ${TREVLIN_DOC_DIR})

install(TARGETS holvane_lidar EXPORT HolvaneLidarTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT HolvaneLidarTargets NAMESPACE HolvaneLidar:: DESTINATION ${HOLVANE_CMAKE_DIR})
configure_package_config_file(cmake/HolvaneLidarConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/HolvaneLidarConfig.cmake INSTALL_DESTINATION ${HOLVANE_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/HolvaneLidarConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/HolvaneLidarConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/HolvaneLidarConfigVersion.cmake DESTINATION ${HOLVANE_CMAKE_DIR})

# The pkg-config file finds the prefix from where it lies, so it stays right
# whatever prefix `cmake --install --prefix` or a package puts it under.
file(RELATIVE_PATH TREVLIN_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(cmake/holvane-lidar.pc.in ${CMAKE_CURRENT_BINARY_DIR}/holvane-lidar.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/holvane-lidar.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(CPACK_PACKAGE_NAME TREVLIN)
set(CPACK_PACKAGE_VENDOR "HOLVANE Geospatial Laboratory")
set(CPACK_PACKAGE_CONTACT "HOLVANE LiDAR Utilities team <lidar@holvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert LAS LiDAR point files into ASCII text")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${CMAKE_CURRENT_SOURCE_DIR}/README.md)
if(WIN32)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME TREVLIN-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_NAME trevlin)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # CPack puts the summary above this as the synopsis line.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "TREVLIN turns airborne laser-scanning files in the ASPRS LAS format
(versions 1.0 to 1.2, point data formats 0 to 3; with -x LAS 1.3 to 1.5,
formats 4 to 10, extra bytes and LAZ) into plain text for
spreadsheets and statistics tools: for each <name>.las it writes the
point columns chosen by a Format from 0 to 20 to <name>.asc, and a report
of the public header to <name>_hdr.asc. Every number is the one C's printf
would print.
.
The package also carries the HOLVANE LiDAR library that the tool is built
on: its header, static library, CMake package and pkg-config file.")
  # Debian's own places and forms for the man page, copyright and changelog.
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian/finish.cmake)
  set(CPACK_TREVLIN_DEBIAN_DIR ${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian)
endif()
include(CPack)
