# What a cross build needs from the build machine. The maze and the fixture
# images are written while building, so the programs that write them are built
# for the build machine from this same tree, with the same key, IV and maze
# settings as the cross build itself; GoogleTest is compiled from its sources
# for the target, as no prebuilt target library exists.
include(ExternalProject)
include(FetchContent)

set(KESTIV_HOST_TOOLS_DIR "${CMAKE_BINARY_DIR}/host-tools")
set(KESTIV_HOST_KESTIVFS "${KESTIV_HOST_TOOLS_DIR}/image/kestivfs/kestivfs")
set(KESTIV_HOST_MAKE_FIXTURE_IMAGES "${KESTIV_HOST_TOOLS_DIR}/tests/fixtures/make_fixture_images")

# Every setting of the project's own goes across, except those that only
# concern the target side.
set(host_settings "")
get_cmake_property(cache_variables CACHE_VARIABLES)
foreach(var IN LISTS cache_variables)
  if(NOT var MATCHES "^KESTIV_" OR var MATCHES "^KESTIV_(BUILD_|WINE|IMAGE$)")
    continue()
  endif()
  get_property(type CACHE ${var} PROPERTY TYPE)
  if(type STREQUAL "INTERNAL" OR type STREQUAL "STATIC")
    continue()
  endif()
  list(APPEND host_settings "-D${var}:${type}=${${var}}")
endforeach()

ExternalProject_Add(kestiv-host-tools
  SOURCE_DIR "${PROJECT_SOURCE_DIR}"
  BINARY_DIR "${KESTIV_HOST_TOOLS_DIR}"
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DKESTIV_BUILD_BENCH=OFF -DKESTIV_BUILD_TESTS=AUTO
  CMAKE_CACHE_ARGS ${host_settings}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target kestivfs make_fixture_images
  BUILD_BYPRODUCTS "${KESTIV_HOST_KESTIVFS}" "${KESTIV_HOST_MAKE_FIXTURE_IMAGES}"
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  USES_TERMINAL_BUILD ON)

if(KESTIV_WITH_TESTS)
  set(KESTIV_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
      "GoogleTest sources, compiled for the target (Debian package googletest)")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  FetchContent_Declare(GTest SOURCE_DIR "${KESTIV_GTEST_SOURCE_DIR}" OVERRIDE_FIND_PACKAGE)
  FetchContent_MakeAvailable(GTest)
endif()
