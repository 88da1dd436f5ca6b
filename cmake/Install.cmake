# Installing tarvoscn like a system library (POSIX), and its Debian package.
#
#   <libdir>     libtarvoscn.so.1.7 (soname libtarvoscn.so.1) and the
#                development link, the codec siblings, the simulator's
#                provider librt650sim.so, pkgconfig/tarvoscn.pc,
#                cmake/tarvoscn/ (tarvoscn::tarvoscn)
#   <includedir> tarvoscn/: every public header
#   <bindir>     rt650scan
#   <datadir>    tarvoscn/klxscan/ (language files), tarvoscn/sim/ (the
#                simulator's sample configurations), man1/rt650scan.1,
#                bash-completion/completions/rt650scan
#
# Nothing installed names the build tree: rt650scan finds the libraries
# relative to its own folder, the driver its language files relative to its
# own (platform/posix), the package files their prefix at install time.
include(CMakePackageConfigHelpers)

set(tarvo_libdir ${CMAKE_INSTALL_LIBDIR})
set(tarvo_datadir ${CMAKE_INSTALL_DATADIR}/tarvoscn)

set_target_properties(tarvoscn PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
  INSTALL_RPATH "$ORIGIN")  # the codec siblings beside it, wherever the tree lies

install(TARGETS tarvoscn EXPORT tarvoscnTargets LIBRARY DESTINATION ${tarvo_libdir})
install(TARGETS klxjpeg ravezeva rt650sim_provider LIBRARY DESTINATION ${tarvo_libdir})
if(TARGET tarvoscn_sg_provider)
  install(TARGETS tarvoscn_sg_provider LIBRARY DESTINATION ${tarvo_libdir})
endif()
install(TARGETS rt650scan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(DIRECTORY ${PROJECT_SOURCE_DIR}/scanlib/include/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarvoscn FILES_MATCHING PATTERN "*.h")
file(GLOB tarvo_language_files ${PROJECT_SOURCE_DIR}/resources/lang/rt650*.txt)
install(FILES ${tarvo_language_files} DESTINATION ${tarvo_datadir}/klxscan)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/sim/samples/ DESTINATION ${tarvo_datadir}/sim)

# pkg-config: the prefix is the one installed into (CPack's /usr included).
set(TARVO_PC_PREFIX "@TARVO_PC_PREFIX@")
configure_file(${PROJECT_SOURCE_DIR}/cmake/tarvoscn.pc.in
  ${PROJECT_BINARY_DIR}/pkgconfig/tarvoscn.pc.in @ONLY)
install(CODE "
  file(READ \"${PROJECT_BINARY_DIR}/pkgconfig/tarvoscn.pc.in\" pc)
  string(REPLACE \"@TARVO_PC_PREFIX@\" \"\${CMAKE_INSTALL_PREFIX}\" pc \"\${pc}\")
  file(WRITE \"${PROJECT_BINARY_DIR}/pkgconfig/tarvoscn.pc\" \"\${pc}\")
  file(INSTALL \"${PROJECT_BINARY_DIR}/pkgconfig/tarvoscn.pc\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${tarvo_libdir}/pkgconfig\")")

# find_package(tarvoscn): relocatable targets file, version by major number.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tarvoscnConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(EXPORT tarvoscnTargets NAMESPACE tarvoscn::
  DESTINATION ${tarvo_libdir}/cmake/tarvoscn)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/tarvoscnConfig.cmake
  ${PROJECT_BINARY_DIR}/tarvoscnConfigVersion.cmake DESTINATION ${tarvo_libdir}/cmake/tarvoscn)

# rt650scan(1), made from docs/rt650scan.md at every change of it.
set(tarvo_man ${PROJECT_BINARY_DIR}/man/rt650scan.1)
add_custom_command(OUTPUT ${tarvo_man}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
  COMMAND awk -v version=${PROJECT_VERSION} -f ${PROJECT_SOURCE_DIR}/scripts/md2man.awk
    ${PROJECT_SOURCE_DIR}/docs/rt650scan.md > ${tarvo_man}
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/md2man.awk ${PROJECT_SOURCE_DIR}/docs/rt650scan.md
  VERBATIM)
add_custom_target(rt650scan_man ALL DEPENDS ${tarvo_man})
install(FILES ${tarvo_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/tools/rt650scan.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME rt650scan)

# The Debian package: cpack -G DEB in the build folder makes
# tarvoscn_1.7-1_amd64.deb; its dependencies come from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvoscn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "tarvoscn maintainers <maintainers@tarvoscn.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "RT650 sheet-fed document scanner driver library")
set(CPACK_PACKAGE_DESCRIPTION
  "The scan-and-save driver for the RT650 with its command-line host rt650scan, the JPEG and\n\
PNG codec libraries, a simulated RT650 for trying it without a scanner, and the headers,\n\
pkg-config and CMake files for building hosts.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkgconf | pkg-config, bash-completion")
include(CPack)
