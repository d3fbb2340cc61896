# What the game server, kestiv-seat, needs from the machine beyond a compiler:
# libtelnet, which speaks telnet to the players' clients, and zlib, which its
# static archive is built with. Their static archives come first, since the
# server links statically where it can.
#
# Playing needs neither, so a build without them leaves the server out and
# says so in one line (its tests are named by KestivTestPackages). A build
# that ships the server (a release) or fuzzes its parts stops at the configure
# step instead, naming the packages.
#
# Leaves: KESTIV_WITH_SERVER, whether the server is built; KESTIV_SERVER_MISSING,
# the Debian packages it lacks; and, where found, the target kestiv::telnet.

set(KESTIV_WITH_SERVER FALSE)
set(KESTIV_SERVER_MISSING "")
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR EMSCRIPTEN)
  return()
endif()

find_path(KESTIV_LIBTELNET_INCLUDE libtelnet.h)
find_library(KESTIV_LIBTELNET NAMES libtelnet.a telnet)
find_library(KESTIV_ZLIB NAMES libz.a z)
if(NOT KESTIV_LIBTELNET_INCLUDE OR NOT KESTIV_LIBTELNET)
  list(APPEND KESTIV_SERVER_MISSING libtelnet-dev)
endif()
if(NOT KESTIV_ZLIB)
  list(APPEND KESTIV_SERVER_MISSING zlib1g-dev)
endif()

if(NOT KESTIV_SERVER_MISSING)
  set(KESTIV_WITH_SERVER TRUE)
  add_library(kestiv_telnet INTERFACE)
  target_include_directories(kestiv_telnet SYSTEM INTERFACE "${KESTIV_LIBTELNET_INCLUDE}")
  target_link_libraries(kestiv_telnet INTERFACE "${KESTIV_LIBTELNET}" "${KESTIV_ZLIB}")
  add_library(kestiv::telnet ALIAS kestiv_telnet)
  return()
endif()

list(JOIN KESTIV_SERVER_MISSING " " _kestiv_server_missing)
if(KESTIV_RELEASE OR KESTIV_BUILD_FUZZ)
  message(FATAL_ERROR
    "kestiv-seat, the game server, needs Debian packages that are not installed: "
    "${_kestiv_server_missing}. As root:\n"
    "  apt-get install ${_kestiv_server_missing}")
endif()
message(STATUS "Left out for want of packages: kestiv-seat, the game server (${_kestiv_server_missing}). "
               "To build it too: apt-get install ${_kestiv_server_missing}")
