# Source lists of the class library and the package. Each build compiles them
# with TVCL_VERSION set to its class library version.
file(GLOB TVCL_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/vcl/src/*.cpp)
file(GLOB TOLVANE_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/engine/*.cpp
  ${PROJECT_SOURCE_DIR}/components/*.cpp
  ${PROJECT_SOURCE_DIR}/wedge/*.cpp
  ${PROJECT_SOURCE_DIR}/export/*.cpp
  ${PROJECT_SOURCE_DIR}/package/*.cpp)
set(TOLVANE_PUBLIC_HEADER_DIRS engine components wedge export package)

# The pixel loops of the canvas and the glyph blending are where rendering
# spends its time; -O3 lets the compiler vectorise them in optimised builds.
set_source_files_properties(${PROJECT_SOURCE_DIR}/vcl/src/Graphics.cpp ${PROJECT_SOURCE_DIR}/vcl/src/Fonts.cpp
  PROPERTIES COMPILE_OPTIONS "$<$<NOT:$<CONFIG:Debug>>:-O3>")

function(tolvane_add_build ver)
  # The class library: libvcl<ver>.so
  add_library(vcl${ver} SHARED ${TVCL_SOURCES})
  target_include_directories(vcl${ver} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/vcl/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tolvane>)
  target_compile_definitions(vcl${ver} PUBLIC TVCL_VERSION=${ver})
  target_link_libraries(vcl${ver} PRIVATE PkgConfig::FREETYPE PkgConfig::FONTCONFIG PNG::PNG
                                          PkgConfig::SQLITE3 PkgConfig::PXLIB
                                  PUBLIC Threads::Threads)
  set_target_properties(vcl${ver} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION 0
                                             EXPORT_NAME vcl${ver})

  # The component package: libtolvane<ver>.so
  add_library(tolvane${ver} SHARED ${TOLVANE_SOURCES})
  foreach(dir IN LISTS TOLVANE_PUBLIC_HEADER_DIRS)
    target_include_directories(tolvane${ver} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/${dir}>)
  endforeach()
  target_include_directories(tolvane${ver} PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tolvane>)
  target_link_libraries(tolvane${ver} PUBLIC vcl${ver})
  set_target_properties(tolvane${ver} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION 0
                                                 EXPORT_NAME tolvane${ver})
  add_library(Tolvane::vcl${ver} ALIAS vcl${ver})
  add_library(Tolvane::tolvane${ver} ALIAS tolvane${ver})
endfunction()
