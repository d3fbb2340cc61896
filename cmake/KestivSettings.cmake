# Everything an author sets (README "Building with your own maze"), with its
# default and its check, so that a malformed value stops the configure step
# rather than the build. The maze's limits are read from the generator's own
# header, image/kestivfs/maze_limits.h, and applied by the rules of
# mazeOptionsProblem: the two cannot drift apart.
#
# Leaves for the rest of the build: KESTIV_TERMINAL_IMAGE, the image file the
# terminal links, made by the target kestiv-image (image/CMakeLists.txt); KESTIVFS_COMMAND and
# KESTIVFS_COMMAND_DEPENDS, the kestivfs that runs on the build machine;
# KESTIV_MAZE_ARGS and KESTIV_PACK_ARGS, its arguments; KESTIV_MAZE_DEFAULT_*, KESTIV_GOAL_WORDING and
# KESTIV_FLAG_MAX_BYTES for the generator's configured source; KESTIV_DEFAULT_MAZE, whether the
# terminal links the default maze.

# The content key and IV. The terminal and kestivfs of one build compile the
# same generated source, so a maze is always stored with the key the terminal
# reads it with.
set(_kestiv_default_KESTIV_KEY "3f9c1e7a52d48b06e1a7c3589f2d6b40")
set(_kestiv_default_KESTIV_IV "8e21d7c4a95f3b60127ce8a4d39b56f1")
set(KESTIV_KEY "${_kestiv_default_KESTIV_KEY}" CACHE STRING "Content key: 32 hex digits")
set(KESTIV_IV "${_kestiv_default_KESTIV_IV}" CACHE STRING "Content IV: 32 hex digits")
foreach(var KESTIV_KEY KESTIV_IV)
  if(NOT "${${var}}" MATCHES "^[0-9a-fA-F]+$")
    message(FATAL_ERROR "${var} must be 32 hex digits (0-9, a-f); got '${${var}}'")
  endif()
  string(LENGTH "${${var}}" digits)
  if(NOT digits EQUAL 32)
    message(FATAL_ERROR "${var} must be 32 hex digits, one byte per pair; got ${digits} digits")
  endif()
endforeach()

# The default maze. kestivfs compiles these in, and they are the defaults of
# the author's maze settings below.
set(KESTIV_MAZE_DEFAULT_SEED 7302524162)
set(KESTIV_MAZE_DEFAULT_DIRECTORIES 2491)
set(KESTIV_MAZE_DEFAULT_FILES 3219)
set(KESTIV_MAZE_DEFAULT_DEPTH 22)
set(KESTIV_MAZE_DEFAULT_GOAL_DEPTH 22)
set(KESTIV_MAZE_DEFAULT_DECOY_SIZE 6944)
set(KESTIV_MAZE_DEFAULT_FLAG "kestiv{d33p_1n_th3_m4z3_wh3r3_n0b0dy_l00k5}")
# Names below the root, README.txt's aside, that bring the default maze to
# its exact length.
set(KESTIV_MAZE_DEFAULT_NAME_BYTES 56380)

set(_kestiv_maze_source "${PROJECT_SOURCE_DIR}/image/kestivfs")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${_kestiv_maze_source}/maze_limits.h" "${_kestiv_maze_source}/goal_wording.txt")
file(STRINGS "${_kestiv_maze_source}/maze_limits.h" _kestiv_limit_lines
     REGEX "^inline constexpr std::uint[0-9]+_t k[A-Za-z]+ = [0-9]+;")
foreach(line IN LISTS _kestiv_limit_lines)
  string(REGEX REPLACE "^inline constexpr std::uint[0-9]+_t (k[A-Za-z]+) = ([0-9]+);.*" "\\1;\\2"
         name_value "${line}")
  list(GET name_value 0 name)
  list(GET name_value 1 value)
  set(_kestiv_${name} ${value})
endforeach()
foreach(name kMaxMazeCount kMinMazeFiles kMinMazeDepth kMinDecoySize kMaxDecoySize kDecoySizeStep
             kGoalStoredBytes kMaxMazeImageBytes kMazeImageBaseBytes kMazeDirectoryMostBytes
             kMazeFileMostBytes)
  if(NOT DEFINED _kestiv_${name})
    message(FATAL_ERROR "image/kestivfs/maze_limits.h defines no ${name} that the build can read")
  endif()
endforeach()

# The goal file holds this wording, the flag and a line end, at most one byte
# short of its stored size (a pad is at least one byte).
file(READ "${_kestiv_maze_source}/goal_wording.txt" KESTIV_GOAL_WORDING)
string(REPLACE "\r" "" KESTIV_GOAL_WORDING "${KESTIV_GOAL_WORDING}")
string(LENGTH "${KESTIV_GOAL_WORDING}" _kestiv_wording_bytes)
math(EXPR KESTIV_FLAG_MAX_BYTES "${_kestiv_kGoalStoredBytes} - 1 - ${_kestiv_wording_bytes} - 1")

# What the terminal links.
set(KESTIV_IMAGE "" CACHE FILEPATH "An image file to link instead of the default maze")
set(KESTIV_IMAGE_DIR "" CACHE PATH "A folder to pack into the image instead of the default maze")
option(KESTIV_IMAGE_CHECK "Check KESTIV_IMAGE with kestivfs verify before linking it" ON)
set(KESTIV_PACK_OPTIONS "" CACHE STRING
    "Options for packing KESTIV_IMAGE_DIR (--follow-symlinks, --skip-special, --allow-untypeable)")
if(KESTIV_IMAGE AND KESTIV_IMAGE_DIR)
  message(FATAL_ERROR "KESTIV_IMAGE and KESTIV_IMAGE_DIR are both set; choose a ready image or a "
                      "folder to pack")
endif()
# Written with spaces as on a command line, or as a CMake list.
separate_arguments(KESTIV_PACK_ARGS UNIX_COMMAND "${KESTIV_PACK_OPTIONS}")
foreach(option IN LISTS KESTIV_PACK_ARGS)
  if(NOT option MATCHES "^--(follow-symlinks|skip-special|allow-untypeable)$")
    message(FATAL_ERROR "KESTIV_PACK_OPTIONS: '${option}' is none of --follow-symlinks, "
                        "--skip-special and --allow-untypeable")
  endif()
endforeach()
if(KESTIV_IMAGE)
  if(NOT EXISTS "${KESTIV_IMAGE}")
    message(FATAL_ERROR "KESTIV_IMAGE: no such file: ${KESTIV_IMAGE}")
  endif()
  # The image's length is linked in as an unsigned 32-bit count.
  file(SIZE "${KESTIV_IMAGE}" _kestiv_image_bytes)
  if(_kestiv_image_bytes GREATER_EQUAL 4294967296)
    message(FATAL_ERROR "KESTIV_IMAGE is ${_kestiv_image_bytes} bytes; an image must be smaller than 4 GiB")
  endif()
  set(KESTIV_TERMINAL_IMAGE "${KESTIV_IMAGE}")
  # A damaged image linked on purpose (a test corpus, a fuzzing seed, the
  # crash shown to players) is the author's choice, said at every configure.
  if(NOT KESTIV_IMAGE_CHECK)
    message(WARNING "KESTIV_IMAGE_CHECK is OFF: ${KESTIV_IMAGE} is linked unchecked, and the game "
                    "finds what is wrong with it only as it plays. A file that is no kestivFS image, "
                    "or one cut short, crashes every game before the first prompt (\"Unsupported "
                    "version of kestivFS\" first, for another version of the format); type of a "
                    "stored file whose length is no multiple of 16 or whose pad is longer than the "
                    "file crashes the game, and type of one made with another key shows noise.")
  endif()
elseif(KESTIV_IMAGE_DIR)
  cmake_path(ABSOLUTE_PATH KESTIV_IMAGE_DIR NORMALIZE OUTPUT_VARIABLE KESTIV_IMAGE_DIR_PATH)
  if(NOT IS_DIRECTORY "${KESTIV_IMAGE_DIR_PATH}")
    message(FATAL_ERROR "KESTIV_IMAGE_DIR: no such folder: ${KESTIV_IMAGE_DIR_PATH}")
  endif()
  set(KESTIV_TERMINAL_IMAGE "${CMAKE_BINARY_DIR}/packed.img")
else()
  set(KESTIV_TERMINAL_IMAGE "${CMAKE_BINARY_DIR}/default-maze.img")
endif()

# What an author varies in the generated maze; see 'kestivfs maze --help'.
set(KESTIV_FLAG "${KESTIV_MAZE_DEFAULT_FLAG}" CACHE STRING "The flag in the maze's goal file")
set(KESTIV_MAZE_SEED "${KESTIV_MAZE_DEFAULT_SEED}" CACHE STRING "Seed of the maze")
set(KESTIV_MAZE_DIRECTORIES "${KESTIV_MAZE_DEFAULT_DIRECTORIES}" CACHE STRING
    "Directories in the maze, the root included")
set(KESTIV_MAZE_FILES "${KESTIV_MAZE_DEFAULT_FILES}" CACHE STRING
    "Regular files in the maze, README.txt, the goal and the empty file included")
set(KESTIV_MAZE_DEPTH "${KESTIV_MAZE_DEFAULT_DEPTH}" CACHE STRING "Level of the maze's deepest node")
set(KESTIV_MAZE_GOAL_DEPTH "${KESTIV_MAZE_DEFAULT_GOAL_DEPTH}" CACHE STRING "Level of the goal file")
set(KESTIV_MAZE_DECOY_SIZE "${KESTIV_MAZE_DEFAULT_DECOY_SIZE}" CACHE STRING
    "Stored bytes of each decoy file, a multiple of ${_kestiv_kDecoySizeStep}")

string(LENGTH "${KESTIV_FLAG}" _kestiv_flag_bytes)
if(_kestiv_flag_bytes EQUAL 0)
  message(FATAL_ERROR "KESTIV_FLAG is empty; the goal file needs a flag")
endif()
if(_kestiv_flag_bytes GREATER KESTIV_FLAG_MAX_BYTES)
  message(FATAL_ERROR "KESTIV_FLAG is ${_kestiv_flag_bytes} bytes; with its wording the goal file "
                      "holds a flag of at most ${KESTIV_FLAG_MAX_BYTES} bytes")
endif()
if(KESTIV_FLAG MATCHES ";|\n|\r")
  message(FATAL_ERROR "KESTIV_FLAG must not hold a semicolon or a line end")
endif()
if(NOT KESTIV_MAZE_SEED MATCHES "^[0-9]+$")
  message(FATAL_ERROR "KESTIV_MAZE_SEED must be a decimal number; got '${KESTIV_MAZE_SEED}'")
endif()
# CMake's arithmetic stops at 2^63; a seed may go to 2^64 - 1, compared as text.
string(REGEX REPLACE "^0+([0-9])" "\\1" _kestiv_seed "${KESTIV_MAZE_SEED}")
string(LENGTH "${_kestiv_seed}" _kestiv_seed_digits)
if(_kestiv_seed_digits GREATER 20 OR
   (_kestiv_seed_digits EQUAL 20 AND _kestiv_seed STRGREATER "18446744073709551615"))
  message(FATAL_ERROR "KESTIV_MAZE_SEED must be 0 to 18446744073709551615; got ${KESTIV_MAZE_SEED}")
endif()
foreach(var KESTIV_MAZE_DIRECTORIES KESTIV_MAZE_FILES KESTIV_MAZE_DEPTH KESTIV_MAZE_GOAL_DEPTH
            KESTIV_MAZE_DECOY_SIZE)
  if(NOT "${${var}}" MATCHES "^[0-9]+$")
    message(FATAL_ERROR "${var} must be a decimal number; got '${${var}}'")
  endif()
  # Beyond 10 digits a count is out of every range below; CMake's arithmetic
  # is spared numbers it cannot hold.
  string(LENGTH "${${var}}" digits)
  if(digits GREATER 10)
    message(FATAL_ERROR "${var} is out of range: ${${var}}")
  endif()
endforeach()
if(KESTIV_MAZE_DIRECTORIES LESS 1 OR KESTIV_MAZE_DIRECTORIES GREATER _kestiv_kMaxMazeCount)
  message(FATAL_ERROR "KESTIV_MAZE_DIRECTORIES must be 1 to ${_kestiv_kMaxMazeCount} (the root "
                      "included); got ${KESTIV_MAZE_DIRECTORIES}")
endif()
if(KESTIV_MAZE_FILES LESS _kestiv_kMinMazeFiles OR KESTIV_MAZE_FILES GREATER _kestiv_kMaxMazeCount)
  message(FATAL_ERROR "KESTIV_MAZE_FILES must be ${_kestiv_kMinMazeFiles} to ${_kestiv_kMaxMazeCount} "
                      "(README.txt, the goal and the empty file included); got ${KESTIV_MAZE_FILES}")
endif()
if(KESTIV_MAZE_DEPTH LESS _kestiv_kMinMazeDepth)
  message(FATAL_ERROR "KESTIV_MAZE_DEPTH must be at least ${_kestiv_kMinMazeDepth}; got "
                      "${KESTIV_MAZE_DEPTH}")
endif()
if(KESTIV_MAZE_GOAL_DEPTH LESS 1 OR KESTIV_MAZE_GOAL_DEPTH GREATER KESTIV_MAZE_DEPTH)
  message(FATAL_ERROR "KESTIV_MAZE_GOAL_DEPTH must be 1 to KESTIV_MAZE_DEPTH (${KESTIV_MAZE_DEPTH}); "
                      "got ${KESTIV_MAZE_GOAL_DEPTH}")
endif()
if(KESTIV_MAZE_DIRECTORIES LESS KESTIV_MAZE_DEPTH)
  message(FATAL_ERROR "a KESTIV_MAZE_DEPTH of ${KESTIV_MAZE_DEPTH} needs KESTIV_MAZE_DIRECTORIES "
                      "of at least ${KESTIV_MAZE_DEPTH} (the root included)")
endif()
math(EXPR _kestiv_decoy_rest "${KESTIV_MAZE_DECOY_SIZE} % ${_kestiv_kDecoySizeStep}")
if(NOT _kestiv_decoy_rest EQUAL 0 OR KESTIV_MAZE_DECOY_SIZE LESS _kestiv_kMinDecoySize OR
   KESTIV_MAZE_DECOY_SIZE GREATER _kestiv_kMaxDecoySize)
  message(FATAL_ERROR "KESTIV_MAZE_DECOY_SIZE must be a multiple of ${_kestiv_kDecoySizeStep} from "
                      "${_kestiv_kMinDecoySize} to ${_kestiv_kMaxDecoySize}; got ${KESTIV_MAZE_DECOY_SIZE}")
endif()
# The counts are within their ranges by now, so the bound stays far below 2^63.
math(EXPR _kestiv_largest_image
     "${_kestiv_kMazeImageBaseBytes} + (${KESTIV_MAZE_DIRECTORIES} - 1) * ${_kestiv_kMazeDirectoryMostBytes} + (${KESTIV_MAZE_FILES} - 1) * ${_kestiv_kMazeFileMostBytes} + (${KESTIV_MAZE_FILES} - 3) * ${KESTIV_MAZE_DECOY_SIZE}")
if(_kestiv_largest_image GREATER _kestiv_kMaxMazeImageBytes)
  message(FATAL_ERROR "KESTIV_MAZE_FILES of ${KESTIV_MAZE_FILES} with KESTIV_MAZE_DECOY_SIZE of "
                      "${KESTIV_MAZE_DECOY_SIZE} could make an image of ${_kestiv_largest_image} bytes; "
                      "an image must stay under 4 GiB")
endif()
# What an author is told at every configure: settings that do nothing here,
# the way back to the generated maze, and a release that would ship what
# anyone with these sources can read.
set(_kestiv_maze_settings KESTIV_FLAG KESTIV_MAZE_SEED KESTIV_MAZE_DIRECTORIES KESTIV_MAZE_FILES
                          KESTIV_MAZE_DEPTH KESTIV_MAZE_GOAL_DEPTH KESTIV_MAZE_DECOY_SIZE)
set(_kestiv_changed "")
foreach(var IN LISTS _kestiv_maze_settings)
  string(REGEX REPLACE "^KESTIV_(MAZE_)?" "KESTIV_MAZE_DEFAULT_" default "${var}")
  if(NOT "${${var}}" STREQUAL "${${default}}")
    list(APPEND _kestiv_changed ${var})
  endif()
endforeach()
# Whether the terminal links the default maze itself, which docs/game.png shows.
if(NOT KESTIV_IMAGE AND NOT KESTIV_IMAGE_DIR AND NOT _kestiv_changed)
  set(KESTIV_DEFAULT_MAZE TRUE)
else()
  set(KESTIV_DEFAULT_MAZE FALSE)
endif()
if(KESTIV_IMAGE OR KESTIV_IMAGE_DIR)
  if(KESTIV_IMAGE)
    set(_kestiv_own_maze KESTIV_IMAGE)
  else()
    set(_kestiv_own_maze KESTIV_IMAGE_DIR)
  endif()
  if(_kestiv_changed)
    list(JOIN _kestiv_changed ", " _kestiv_unused)
    message(WARNING "Not used, as ${_kestiv_own_maze} replaces the generated maze that they shape: "
                    "${_kestiv_unused}. Put your flag in a file of your own maze instead.")
  endif()
  message(STATUS "The terminal links your own maze (${_kestiv_own_maze}); configure with "
                 "-D${_kestiv_own_maze}= to go back to the generated maze")
endif()
if(KESTIV_RELEASE)
  if(NOT KESTIV_IMAGE AND NOT KESTIV_IMAGE_DIR AND KESTIV_FLAG STREQUAL KESTIV_MAZE_DEFAULT_FLAG)
    message(WARNING "This release ships the generated maze with its default flag, which is public: "
                    "it is in these sources. Set your own with -DKESTIV_FLAG=... or build your own "
                    "maze (KESTIV_IMAGE_DIR).")
  endif()
  set(_kestiv_public "")
  foreach(var KESTIV_KEY KESTIV_IV)
    string(TOLOWER "${${var}}" value)
    if(value STREQUAL _kestiv_default_${var})
      list(APPEND _kestiv_public ${var})
    endif()
  endforeach()
  if(_kestiv_public)
    list(JOIN _kestiv_public " and " _kestiv_public)
    message(WARNING "This release keeps the default ${_kestiv_public} of these sources, so anyone "
                    "can read every file of the maze straight out of the executable. Set your own "
                    "with -DKESTIV_KEY=... -DKESTIV_IV=... (32 hex digits each).")
  endif()
endif()

# The arguments are the command itself, so changing any of them regenerates the maze.
set(KESTIV_MAZE_ARGS
    --seed "${KESTIV_MAZE_SEED}"
    --directories "${KESTIV_MAZE_DIRECTORIES}"
    --files "${KESTIV_MAZE_FILES}"
    --depth "${KESTIV_MAZE_DEPTH}"
    --goal-depth "${KESTIV_MAZE_GOAL_DEPTH}"
    --decoy-size "${KESTIV_MAZE_DECOY_SIZE}"
    --flag "${KESTIV_FLAG}")

# A cross build writes its images with the build machine's kestivfs (KestivCrossBuild).
if(CMAKE_CROSSCOMPILING)
  set(KESTIVFS_COMMAND "${KESTIV_HOST_KESTIVFS}")
  set(KESTIVFS_COMMAND_DEPENDS kestiv-host-tools "${KESTIV_HOST_KESTIVFS}")
else()
  set(KESTIVFS_COMMAND kestivfs)
  set(KESTIVFS_COMMAND_DEPENDS kestivfs)
endif()
