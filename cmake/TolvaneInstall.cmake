# Installed layout: bin/tolvane, lib/libvcl{4,3}.so, lib/libtolvane{4,3}.so,
# include/tolvane/{vcl/*.h, BarcodeDef.h, Barcode.h, ...}, a CMake package
# (find_package(Tolvane) gives Tolvane::tolvane4 and Tolvane::tolvane3) and
# pkg-config files tolvane4.pc and tolvane3.pc.
include(CMakePackageConfigHelpers)

install(TARGETS tolvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(ver IN LISTS TOLVANE_VERSIONS)
  install(TARGETS vcl${ver} tolvane${ver} EXPORT TolvaneTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  set(TOLVANE_PC_VERSION ${ver})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tolvane.pc.in
                 ${PROJECT_BINARY_DIR}/tolvane${ver}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/tolvane${ver}.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/vcl/include/vcl
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tolvane)
foreach(dir IN LISTS TOLVANE_PUBLIC_HEADER_DIRS)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tolvane
          FILES_MATCHING PATTERN "*.h" PATTERN "*Internal.h" EXCLUDE)
endforeach()

install(EXPORT TolvaneTargets NAMESPACE Tolvane::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tolvane)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TolvaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TolvaneConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tolvane)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TolvaneConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TolvaneConfig.cmake ${PROJECT_BINARY_DIR}/TolvaneConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tolvane)
