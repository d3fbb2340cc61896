# cmake -D SOURCE_DIR=... -D WORK_DIR=... -D GENERATOR=... -P author_folder_test.cmake
set(folder "${WORK_DIR}/maze")
set(build "${WORK_DIR}/build")
file(REMOVE_RECURSE "${WORK_DIR}")

file(WRITE "${folder}/README.txt" "Welcome, player.\nFind the crate.\n")
file(WRITE "${folder}/cellar/crate/prize.txt" "flag{packed and found}\n")
file(WRITE "${folder}/cellar/empty.txt" "")
file(WRITE "${folder}/old attic/dusty box.txt" "cobwebs\n")
file(WRITE "${folder}/old attic/README.txt" "The attic reads as it is stored.\n")
string(ASCII 1 200 255 27 9 binary)
file(WRITE "${folder}/raw.bin" "${binary}")

function(run_step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}")
  endif()
endfunction()

function(build_terminal)
  run_step(${CMAKE_COMMAND} --build "${build}" --target kestiv-terminal)
endfunction()

# Runs the terminal on input and returns what follows its first prompt.
function(session input out_var)
  file(WRITE "${WORK_DIR}/input" "${input}")
  execute_process(COMMAND "${build}/kestiv-terminal" INPUT_FILE "${WORK_DIR}/input"
                  OUTPUT_VARIABLE out RESULT_VARIABLE status)
  string(FIND "${out}" "kestiv's terminal ---> " at)
  if(at LESS 0)
    message(FATAL_ERROR "no prompt in the output:\n${out}")
  endif()
  string(SUBSTRING "${out}" ${at} -1 out)
  set(${out_var} "${status}|${out}" PARENT_SCOPE)
endfunction()

function(expect_session input expected)
  session("${input}" actual)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "input:\n${input}\nexpected:\n${expected}\nactual:\n${actual}")
  endif()
endfunction()

run_step(${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${build}" -G "${GENERATOR}"
         -DCMAKE_BUILD_TYPE=Release -DKESTIV_BUILD_TESTS=OFF -DKESTIV_BUILD_BENCH=OFF
         -DKESTIV_IMAGE_DIR=${folder}
         -DKESTIV_KEY=00112233445566778899aabbccddeeff -DKESTIV_IV=f0e0d0c0b0a090807060504030201000)
build_terminal()

set(P "kestiv's terminal ---> ")
expect_session("dir\ntype README.txt\ncd cellar\ndir\ncd crate\ntype prize.txt\ncd\ncd old attic\ndir\ntype dusty box.txt\ntype README.txt\n"
  "0|${P}README.txt\ncellar\nold attic\nraw.bin\n${P}Welcome, player.\nFind the crate.\n\n\n${P}${P}crate\nempty.txt\n${P}${P}flag{packed and found}\n\n\n${P}${P}${P}README.txt\ndusty box.txt\n${P}cobwebs\n\n\n${P}The attic reads as it is stored.\n\n\n${P}")
expect_session("type raw.bin\n" "0|${P}${binary}\n\n${P}")
expect_session("cd cellar\ntype empty.txt\ncd crate\ntype crate\n"
  "255|${P}${P}\n\n${P}${P}Oh no, CRAAAAAAAAAAASH")

# The folder is the source: a changed file, a new one and a removed one all
# reach the terminal on the next build.
file(WRITE "${folder}/cellar/crate/prize.txt" "flag{changed}\n")
file(WRITE "${folder}/cellar/new.txt" "new\n")
file(REMOVE "${folder}/raw.bin")
build_terminal()
expect_session("dir\ncd cellar\ndir\ncd crate\ntype prize.txt\n"
  "0|${P}README.txt\ncellar\nold attic\n${P}${P}crate\nempty.txt\nnew.txt\n${P}${P}flag{changed}\n\n\n${P}")

# Names that a build file or CMake's lists cannot carry as they are still
# reach the pack: a name a player cannot type is refused in the pack's words,
# not the build tool's, and, allowed, the others reach the terminal.
string(ASCII 13 cr)
file(WRITE "${folder}/say \"hi\".txt" "say \"hi\".txt\n")
file(WRITE "${folder}/semi;colon [1].txt" "semi;colon [1].txt\n")
file(WRITE "${folder}/Icon${cr}" "")
execute_process(COMMAND ${CMAKE_COMMAND} --build "${build}" --target kestiv-terminal
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(status EQUAL 0 OR NOT out MATCHES "Icon\\\\x0d: a name a player cannot type: it holds the control byte 0x0d\n")
  message(FATAL_ERROR "a name with a carriage return did not stop the build with the pack's words:\n${out}")
endif()
run_step(${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${build}" -DKESTIV_PACK_OPTIONS=--allow-untypeable)
build_terminal()
expect_session("type say \"hi\".txt\ntype semi;colon [1].txt\n"
  "0|${P}say \"hi\".txt\n\n\n${P}semi;colon [1].txt\n\n\n${P}")
file(REMOVE "${folder}/say \"hi\".txt" "${folder}/semi;colon [1].txt" "${folder}/Icon${cr}")
run_step(${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${build}" -DKESTIV_PACK_OPTIONS=)
build_terminal()
expect_session("dir\n" "0|${P}README.txt\ncellar\nold attic\n${P}")

# A ready image is checked with the build's own key before a terminal is
# linked with it: one made with another key, and a file that is no image at
# all, stop the build with kestivfs verify's word for it.
file(COPY_FILE "${build}/packed.img" "${WORK_DIR}/ready.img")
file(WRITE "${WORK_DIR}/passwd" "root:x:0:0:root:/root:/bin/bash\n")
function(expect_build_stops image key said)
  run_step(${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${build}" -DKESTIV_IMAGE_DIR= -DKESTIV_IMAGE=${image}
           -DKESTIV_KEY=${key})
  execute_process(COMMAND ${CMAKE_COMMAND} --build "${build}" --target kestiv-terminal
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(status EQUAL 0 OR NOT out MATCHES "${said}")
    message(FATAL_ERROR "the build with ${image} and key ${key} did not stop saying '${said}':\n${out}")
  endif()
endfunction()
expect_build_stops("${WORK_DIR}/ready.img" ffeeddccbbaa99887766554433221100
  "kestivfs: [^\n]*ready.img: the stored files do not turn back into text with this build's key \\([0-9]+ of 4 end in no pad that kestivfs writes\\): made with another key\\?")
expect_build_stops("${WORK_DIR}/passwd" 00112233445566778899aabbccddeeff
  "kestivfs: [^\n]*passwd: not a kestivFS image: the first 8 bytes are not \"kestivFS\"")
# Linked unchecked on purpose, the same files make a terminal that does what
# configure warns of: no image crashes the game before its first prompt, and
# under another key the tree is there but a stored file's pad reads longer
# than the file. Checked again, they stop the build again.
function(link_unchecked image key)
  run_step(${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${build}" -DKESTIV_IMAGE_CHECK=OFF
           -DKESTIV_IMAGE=${image} -DKESTIV_KEY=${key})
  build_terminal()
endfunction()
link_unchecked("${WORK_DIR}/passwd" 00112233445566778899aabbccddeeff)
file(WRITE "${WORK_DIR}/input" "dir\n")
execute_process(COMMAND "${build}/kestiv-terminal" INPUT_FILE "${WORK_DIR}/input"
                OUTPUT_VARIABLE out RESULT_VARIABLE status)
if(NOT status EQUAL 255 OR out MATCHES "${P}" OR NOT out MATCHES "Oh no, CRAAAAAAAAAAASH$")
  message(FATAL_ERROR "a terminal linked with no image did not crash before its prompt (${status}):\n${out}")
endif()
link_unchecked("${WORK_DIR}/ready.img" ffeeddccbbaa99887766554433221100)
expect_session("dir\ntype README.txt\ncd cellar\ncd crate\ntype prize.txt\n"
  "255|${P}README.txt\ncellar\nold attic\n${P}Welcome, player.\nFind the crate.\n\n\n${P}${P}${P}Oh no, CRAAAAAAAAAAASH")
run_step(${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${build}" -DKESTIV_IMAGE_CHECK=ON)
expect_build_stops("${WORK_DIR}/passwd" 00112233445566778899aabbccddeeff
  "kestivfs: [^\n]*passwd: not a kestivFS image")

# With the key it was made with, the same image links and plays.
run_step(${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${build}" -DKESTIV_IMAGE=${WORK_DIR}/ready.img
         -DKESTIV_KEY=00112233445566778899aabbccddeeff)
build_terminal()
expect_session("dir\ncd cellar\ncd crate\ntype prize.txt\n"
  "0|${P}README.txt\ncellar\nold attic\n${P}${P}${P}flag{changed}\n\n\n${P}")

file(REMOVE_RECURSE "${WORK_DIR}")
