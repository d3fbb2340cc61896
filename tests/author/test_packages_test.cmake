# cmake -D SOURCE_DIR=... -D WORK_DIR=... -D GENERATOR=... -P test_packages_test.cmake
#
# On a machine without the tests' packages, as a player's is: the tests asked
# for (ON) stop the configure step with one message naming every package and
# the apt-get line; AUTO configures, says what it left out, and builds no test.
# The machine is shown without them by a PATH of everything in /usr/bin but the
# tools the tests run and pkg-config, and without /usr as a place to find
# packages in.
set(tools "${WORK_DIR}/bin")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${tools}")
# "[" would open a bracket in the CMake list.
file(GLOB programs LIST_DIRECTORIES false "/usr/bin/[a-zA-Z0-9_]*")
list(FILTER programs EXCLUDE REGEX "/(pkg-?conf.*|x86_64-linux-gnu-pkg-?conf.*|python3.*|rlwrap|socat|nc|telnet|plink|systemd-analyze|systemd-socket-activate|websocketd|ip|sysctl|promtool|prometheus)$")
execute_process(COMMAND ln -s ${programs} "${tools}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot link the programs into ${tools}")
endif()

function(configure mode out_status out_text)
  file(REMOVE_RECURSE "${WORK_DIR}/build")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env "PATH=${tools}"
            ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${WORK_DIR}/build" -G "${GENERATOR}"
            -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF
            -DKESTIV_BUILD_TESTS=${mode} -DKESTIV_BUILD_BENCH=${mode}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(${out_status} "${status}" PARENT_SCOPE)
  set(${out_text} "${out}" PARENT_SCOPE)
endfunction()

set(packages "libgtest-dev libssl-dev rlwrap libtelnet-dev zlib1g-dev python3 socat netcat-openbsd inetutils-telnet putty-tools systemd websocketd iproute2 procps prometheus libbenchmark-dev")
set(failures "")
configure(ON status out)
string(REGEX MATCHALL "CMake Error" errors "${out}")
list(LENGTH errors error_count)
if(status EQUAL 0 OR NOT error_count EQUAL 1 OR NOT out MATCHES "apt-get install ${packages}\n")
  string(APPEND failures "ON: not one message with 'apt-get install ${packages}' (status ${status}):\n${out}\n")
endif()
configure(AUTO status out)
if(NOT status EQUAL 0 OR NOT out MATCHES "-- Left out for want of packages: every test \\(libgtest-dev\\);.* To build them too: apt-get install ${packages}\n")
  string(APPEND failures "AUTO: did not configure with one line of what it left out (status ${status}):\n${out}\n")
elseif(EXISTS "${WORK_DIR}/build/CTestTestfile.cmake")
  string(APPEND failures "AUTO: tests were configured without GoogleTest\n")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
