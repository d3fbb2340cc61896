# What the tests and the benchmarks need from the machine, found in one place.
#
# KESTIV_BUILD_TESTS and KESTIV_BUILD_BENCH are ON, OFF or AUTO. AUTO, the
# default, builds what the installed packages allow and says in one line what
# it left out, so that playing needs nothing but a compiler, CMake and Ninja.
# ON is for running them: the test workflow sets it, and then a missing
# package stops the configure step with one message that names every package
# missing and the apt-get line that installs them.
#
# A cross build's tests run on the build machine under Wine or Node, and its
# presets name what those need; there AUTO builds the tests, and a missing
# tool stops the configure step where the tests find it.
#
# Leaves: KESTIV_WITH_TESTS and KESTIV_WITH_BENCH, whether each is built;
# KESTIV_TESTS_ASKED, whether tests were asked for (ON or AUTO);
# KESTIV_OPENSSL_ORACLE, whether the cipher tests and benchmark have OpenSSL to
# compare with; KESTIV_AES_BENCH, whether the AES benchmark is built; and for
# the tests of a tool of their own, the tool where found: KESTIV_RLWRAP,
# KESTIV_SOCAT, KESTIV_NC, KESTIV_TELNET, KESTIV_PLINK, KESTIV_SYSTEMD_ANALYZE,
# KESTIV_SOCKET_ACTIVATE, KESTIV_WEBSOCKETD, KESTIV_IP, KESTIV_SYSCTL,
# KESTIV_PROMTOOL, KESTIV_PROMETHEUS, Python3_EXECUTABLE.

foreach(var KESTIV_BUILD_TESTS KESTIV_BUILD_BENCH)
  set_property(CACHE ${var} PROPERTY STRINGS AUTO ON OFF)
  string(TOUPPER "${${var}}" value)
  if(value STREQUAL "AUTO")
    set(_kestiv_${var} AUTO)
  elseif("${${var}}")
    set(_kestiv_${var} ON)
  elseif(value MATCHES "^(OFF|0|FALSE|NO|N|IGNORE)$")
    set(_kestiv_${var} OFF)
  else()
    message(FATAL_ERROR "${var} must be ON, OFF or AUTO; got '${${var}}'")
  endif()
endforeach()

# Whether tests were asked for at all (ON or AUTO): the fixture images serve
# them, and a cross build's tests take them from its host tools, whose own
# tests may be left out.
string(COMPARE NOTEQUAL "${_kestiv_KESTIV_BUILD_TESTS}" OFF KESTIV_TESTS_ASKED)
set(KESTIV_OPENSSL_ORACLE FALSE)
set(KESTIV_AES_BENCH FALSE)
if(CMAKE_CROSSCOMPILING)
  string(COMPARE NOTEQUAL "${_kestiv_KESTIV_BUILD_TESTS}" OFF KESTIV_WITH_TESTS)
  string(COMPARE NOTEQUAL "${_kestiv_KESTIV_BUILD_BENCH}" OFF KESTIV_WITH_BENCH)
  return()
endif()

# What is missing, for the tests (TESTS) and for the benchmarks (BENCH): the
# packages, and what they would have served, each with its packages.
foreach(part TESTS BENCH)
  set(_kestiv_${part}_packages "")
  set(_kestiv_${part}_serves "")
endforeach()
function(_kestiv_lacks part package serves)
  string(MAKE_C_IDENTIFIER "${serves}" key)
  if(NOT DEFINED _kestiv_lacks_${key})
    set(_kestiv_${part}_serves ${_kestiv_${part}_serves} "${serves}" PARENT_SCOPE)
  endif()
  set(packages ${_kestiv_lacks_${key}} ${package})
  list(REMOVE_DUPLICATES packages)
  set(_kestiv_lacks_${key} ${packages} PARENT_SCOPE)
  set(_kestiv_${part}_packages ${_kestiv_${part}_packages} ${package} PARENT_SCOPE)
endfunction()

# "what it serves (its packages); ..." for the parts named.
function(_kestiv_left_out out_var)
  set(said "")
  foreach(part IN LISTS ARGN)
    foreach(serves IN LISTS _kestiv_${part}_serves)
      string(MAKE_C_IDENTIFIER "${serves}" key)
      list(JOIN _kestiv_lacks_${key} ", " packages)
      list(APPEND said "${serves} (${packages})")
    endforeach()
  endforeach()
  list(JOIN said "; " said)
  set(${out_var} "${said}" PARENT_SCOPE)
endfunction()

set(KESTIV_WITH_TESTS FALSE)
if(NOT _kestiv_KESTIV_BUILD_TESTS STREQUAL OFF)
  find_package(GTest QUIET)
  if(GTest_FOUND)
    set(KESTIV_WITH_TESTS TRUE)
  else()
    _kestiv_lacks(TESTS libgtest-dev "every test")
  endif()
  find_package(OpenSSL QUIET COMPONENTS Crypto)
  if(NOT OpenSSL_FOUND)
    _kestiv_lacks(TESTS libssl-dev "the cipher tests' OpenSSL oracle")
  endif()
  if(NOT WIN32)
    find_program(KESTIV_RLWRAP rlwrap)
    if(NOT KESTIV_RLWRAP)
      _kestiv_lacks(TESTS rlwrap "the test of playing under rlwrap")
    endif()
  endif()
  # The terminal served over TCP (tests/server, tests/deploy).
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    foreach(package IN LISTS KESTIV_SERVER_MISSING)
      _kestiv_lacks(TESTS ${package} "the tests of the served terminal")
    endforeach()
    find_package(Python3 QUIET COMPONENTS Interpreter)
    if(NOT Python3_FOUND)
      _kestiv_lacks(TESTS python3 "the tests of the served terminal")
    endif()
    foreach(tool_package IN ITEMS
            "SOCAT|socat|socat" "NC|nc|netcat-openbsd" "TELNET|telnet|inetutils-telnet"
            "PLINK|plink|putty-tools"
            "SYSTEMD_ANALYZE|systemd-analyze|systemd" "SOCKET_ACTIVATE|systemd-socket-activate|systemd"
            "WEBSOCKETD|websocketd|websocketd" "IP|ip|iproute2" "SYSCTL|sysctl|procps"
            "PROMTOOL|promtool|prometheus" "PROMETHEUS|prometheus|prometheus")
      string(REPLACE "|" ";" tool_package "${tool_package}")
      list(GET tool_package 0 name)
      list(GET tool_package 1 tool)
      list(GET tool_package 2 package)
      find_program(KESTIV_${name} ${tool})
      if(NOT KESTIV_${name})
        _kestiv_lacks(TESTS ${package} "the tests of the served terminal")
      endif()
    endforeach()
  endif()
endif()

set(KESTIV_WITH_BENCH FALSE)
if(NOT _kestiv_KESTIV_BUILD_BENCH STREQUAL OFF)
  # The start-up floors need nothing; the AES benchmark measures against OpenSSL.
  set(KESTIV_WITH_BENCH TRUE)
  find_package(benchmark QUIET)
  find_package(OpenSSL QUIET COMPONENTS Crypto)
  if(NOT benchmark_FOUND)
    _kestiv_lacks(BENCH libbenchmark-dev "the AES benchmark")
  endif()
  if(NOT OpenSSL_FOUND)
    _kestiv_lacks(BENCH libssl-dev "the AES benchmark")
  endif()
  if(benchmark_FOUND AND OpenSSL_FOUND)
    set(KESTIV_AES_BENCH TRUE)
  endif()
endif()
set(KESTIV_OPENSSL_ORACLE ${OpenSSL_FOUND})

# Those asked for with ON stop the configure step, in one message; the rest
# are said in one line.
set(_kestiv_required "")
set(_kestiv_optional "")
foreach(part TESTS BENCH)
  if(_kestiv_KESTIV_BUILD_${part} STREQUAL ON)
    list(APPEND _kestiv_required ${part})
  else()
    list(APPEND _kestiv_optional ${part})
  endif()
endforeach()
foreach(kind required optional)
  set(_kestiv_${kind}_packages "")
  set(_kestiv_${kind}_by "")
  foreach(part IN LISTS _kestiv_${kind})
    list(APPEND _kestiv_${kind}_packages ${_kestiv_${part}_packages})
    list(APPEND _kestiv_${kind}_by KESTIV_BUILD_${part}=ON)
  endforeach()
  list(REMOVE_DUPLICATES _kestiv_${kind}_packages)
  list(JOIN _kestiv_${kind}_packages " " _kestiv_${kind}_packages)
endforeach()
if(_kestiv_required_packages)
  _kestiv_left_out(left_out ${_kestiv_required})
  list(LENGTH _kestiv_required_by asked_count)
  list(JOIN _kestiv_required_by " and " asked)
  if(asked_count EQUAL 1)
    string(APPEND asked " needs")
  else()
    string(APPEND asked " need")
  endif()
  message(FATAL_ERROR
    "${asked} Debian packages that are not installed: ${_kestiv_required_packages}. As root:\n"
    "  apt-get install ${_kestiv_required_packages}\n"
    "They serve ${left_out}. To build only what the installed packages allow, configure with "
    "-DKESTIV_BUILD_TESTS=AUTO -DKESTIV_BUILD_BENCH=AUTO.")
endif()
if(_kestiv_optional_packages)
  _kestiv_left_out(left_out ${_kestiv_optional})
  message(STATUS "Left out for want of packages: ${left_out}. To build them too: "
                 "apt-get install ${_kestiv_optional_packages}")
endif()
