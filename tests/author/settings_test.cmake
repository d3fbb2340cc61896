# cmake -D SOURCE_DIR=... -D WORK_DIR=... -D GENERATOR=... -D KESTIVFS=... -P settings_test.cmake
#
# Each maze setting out of its range stops the configure step with a message
# naming it, and the generator refuses the same value; values at the edges of
# the ranges pass both.
set(build "${WORK_DIR}/build")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

# Only the settings differ from one configure to the next: every KESTIV_
# entry of the cache is dropped first, so each case starts from the defaults.
function(configure out_status out_text)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${build}" -G "${GENERATOR}"
            -DKESTIV_BUILD_TESTS=OFF -DKESTIV_BUILD_BENCH=OFF "-UKESTIV_*" ${ARGN}
            -DKESTIV_BUILD_TESTS=OFF -DKESTIV_BUILD_BENCH=OFF
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(${out_status} "${status}" PARENT_SCOPE)
  set(${out_text} "${out}" PARENT_SCOPE)
endfunction()

function(generate out_status)
  execute_process(COMMAND "${KESTIVFS}" maze ${ARGN} -o "${WORK_DIR}/maze.img"
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  set(${out_status} "${status}" PARENT_SCOPE)
endfunction()

string(REPEAT "x" 54 long_flag)
# setting value generator-option; a case may set more than one, separated by +
set(refused
  "KESTIV_MAZE_DECOY_SIZE|40|--decoy-size"
  "KESTIV_MAZE_DECOY_SIZE|16|--decoy-size"
  "KESTIV_MAZE_DECOY_SIZE|1048592|--decoy-size"
  "KESTIV_MAZE_FILES|2|--files"
  "KESTIV_MAZE_FILES|10000001|--files"
  "KESTIV_MAZE_DIRECTORIES|0|--directories"
  "KESTIV_MAZE_DIRECTORIES|10000001|--directories"
  "KESTIV_MAZE_DEPTH|0|--depth"
  "KESTIV_MAZE_GOAL_DEPTH|0|--goal-depth"
  "KESTIV_MAZE_GOAL_DEPTH|23|--goal-depth"
  "KESTIV_MAZE_SEED|18446744073709551616|--seed"
  "KESTIV_FLAG|${long_flag}|--flag"
  # One decoy more than a 4 GiB image holds.
  "KESTIV_MAZE_FILES+KESTIV_MAZE_DECOY_SIZE|4099+1048576|--files+--decoy-size")
set(failures "")
# Sets each variable named after row to a field of row: its fields are
# separated by "|", and each is a list separated by "+".
function(row_fields row)
  string(REPLACE "|" ";" row "${row}")
  set(at 0)
  foreach(name IN LISTS ARGN)
    list(GET row ${at} field)
    string(REPLACE "+" ";" field "${field}")
    set(${name} "${field}" PARENT_SCOPE)
    math(EXPR at "${at} + 1")
  endforeach()
endfunction()

foreach(case IN LISTS refused)
  row_fields("${case}" settings values options)
  set(definitions "")
  set(arguments "")
  foreach(one_setting one_value one_option IN ZIP_LISTS settings values options)
    list(APPEND definitions "-D${one_setting}=${one_value}")
    list(APPEND arguments ${one_option} ${one_value})
  endforeach()
  list(GET settings 0 named)
  configure(status out ${definitions})
  if(status EQUAL 0 OR NOT out MATCHES "${named}")
    string(APPEND failures "configure took ${definitions} (status ${status}):\n${out}\n")
  endif()
  generate(status ${arguments})
  if(status EQUAL 0)
    string(APPEND failures "kestivfs maze took ${arguments}, which configure refuses\n")
  endif()
endforeach()

# Settings that configure takes and the same options that the generator takes.
function(expect_taken)
  cmake_parse_arguments(arg "" "" "SETTINGS;OPTIONS" ${ARGN})
  configure(status out ${arg_SETTINGS})
  if(NOT status EQUAL 0)
    string(APPEND failures "configure refused ${arg_SETTINGS}:\n${out}\n")
  endif()
  generate(status ${arg_OPTIONS})
  if(NOT status EQUAL 0)
    string(APPEND failures "kestivfs maze refused ${arg_OPTIONS}, which configure takes\n")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

# The smallest maze there is, with the largest seed; the largest decoys and flag.
expect_taken(
  SETTINGS -DKESTIV_MAZE_DIRECTORIES=1 -DKESTIV_MAZE_FILES=3 -DKESTIV_MAZE_DEPTH=1
           -DKESTIV_MAZE_GOAL_DEPTH=1 -DKESTIV_MAZE_DECOY_SIZE=32
           -DKESTIV_MAZE_SEED=18446744073709551615
  OPTIONS --directories 1 --files 3 --depth 1 --goal-depth 1 --decoy-size 32
          --seed 18446744073709551615)
string(REPEAT "x" 53 longest_flag)
expect_taken(
  SETTINGS -DKESTIV_MAZE_DIRECTORIES=30 -DKESTIV_MAZE_FILES=40 -DKESTIV_MAZE_DECOY_SIZE=1048576
           -DKESTIV_FLAG=${longest_flag}
  OPTIONS --directories 30 --files 40 --decoy-size 1048576 --flag ${longest_flag})

# The most decoys of the largest size a 4 GiB image holds: configure only, as
# the maze would take 4 GiB to write.
configure(status out -DKESTIV_MAZE_FILES=4098 -DKESTIV_MAZE_DECOY_SIZE=1048576)
if(NOT status EQUAL 0)
  string(APPEND failures "configure refused 4098 decoys of 1048576 bytes:\n${out}\n")
endif()

# What configure tells an author beside the checks: settings that an own maze
# leaves unused, the way back to the generated maze, an image linked unchecked
# on purpose, and a release that would ship a flag, key or IV these sources
# make public. A case: its settings, then the texts its output holds and those
# it must not hold, each list split by +.
set(maze "${WORK_DIR}/maze")
set(image "${WORK_DIR}/ready.img")
file(MAKE_DIRECTORY "${maze}")
file(WRITE "${image}" "")
set(own_key "-DKESTIV_KEY=00112233445566778899aabbccddeeff+-DKESTIV_IV=0f0e0d0c0b0a09080706050403020100")
set(unused "Not used, as KESTIV_IMAGE_DIR replaces the generated maze that they shape: ")
set(back "-- The terminal links your own maze \\(KESTIV_IMAGE_DIR\\). configure with -DKESTIV_IMAGE_DIR= to go back")
set(public_flag "This release ships the generated maze with its default flag, which is public")
set(public_key "This release keeps the default KESTIV_KEY and KESTIV_IV of these sources")
set(unchecked "KESTIV_IMAGE_CHECK is OFF: [^ ]*/ready.img is linked unchecked")
set(said
  "-DKESTIV_IMAGE_DIR=${maze}+-DKESTIV_FLAG=mine|${unused}KESTIV_FLAG\\.+${back}|CMake Warning \\(dev\\)"
  "-DKESTIV_IMAGE=${image}+-DKESTIV_MAZE_SEED=5+-DKESTIV_MAZE_DECOY_SIZE=32|Not used, as KESTIV_IMAGE replaces the generated maze that they shape: KESTIV_MAZE_SEED, KESTIV_MAZE_DECOY_SIZE\\.+configure with -DKESTIV_IMAGE= to go back|KESTIV_FLAG+linked unchecked"
  "-DKESTIV_IMAGE=${image}+-DKESTIV_IMAGE_CHECK=OFF|${unchecked}, and the game finds what is wrong with it only as it plays. A file that is no kestivFS image, or one cut short, crashes every game before the first prompt|Not used"
  "-DKESTIV_IMAGE_DIR=${maze}+-DKESTIV_IMAGE_CHECK=OFF|${back}|linked unchecked"
  "-DKESTIV_IMAGE_DIR=${maze}|${back}|Not used"
  "-DKESTIV_RELEASE=ON|${public_flag}+${public_key}|Not used"
  "-DKESTIV_RELEASE=ON+-DKESTIV_FLAG=mine+${own_key}|-- Configuring done|CMake Warning"
  "-DKESTIV_RELEASE=ON+-DKESTIV_IMAGE_DIR=${maze}+-DKESTIV_KEY=00112233445566778899AABBCCDDEEFF|This release keeps the default KESTIV_IV of these sources|default flag+KESTIV_KEY and"
  "-DKESTIV_RELEASE=ON+-DKESTIV_KEY=3F9C1E7A52D48B06E1A7C3589F2D6B40+-DKESTIV_IV=0f0e0d0c0b0a09080706050403020100+-DKESTIV_FLAG=mine|This release keeps the default KESTIV_KEY of these sources|default flag+KESTIV_KEY and KESTIV_IV"
  "-DKESTIV_MAZE_SEED=5|-- Configuring done|CMake Warning+own maze")
foreach(case IN LISTS said)
  row_fields("${case}" settings present absent)
  configure(status out ${settings})
  if(NOT status EQUAL 0)
    string(APPEND failures "configure refused ${settings}:\n${out}\n")
  endif()
  # Warnings come wrapped, with two spaces after a full stop.
  string(REGEX REPLACE "[ \n]+" " " out "${out}")
  foreach(text IN LISTS present)
    if(NOT out MATCHES "${text}")
      string(APPEND failures "configure with ${settings} did not say '${text}':\n${out}\n")
    endif()
  endforeach()
  foreach(text IN LISTS absent)
    if(out MATCHES "${text}")
      string(APPEND failures "configure with ${settings} said '${text}':\n${out}\n")
    endif()
  endforeach()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
