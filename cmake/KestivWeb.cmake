# Terminals for the browser page: the program as an ES module that the page
# (or a test under Node) instantiates once per game, handing it its input as it
# comes (terminal/main_web.cpp) and taking its output byte by byte.
set(KESTIV_WEB_LINK_OPTIONS
  -sMODULARIZE=1 -sEXPORT_ES6=1 -sEXPORT_NAME=createKestivTerminal -sENVIRONMENT=web
  # exit() reaches the page with its status, after standard output is flushed.
  -sEXIT_RUNTIME=1
  # The page's byte-wise standard output device needs the file system layer;
  # without it output would be line-buffered text.
  -sFORCE_FILESYSTEM=1
  -sALLOW_MEMORY_GROWTH=1
  -sEXPORTED_FUNCTIONS=_main,_enterInput,_endInput,_malloc,_free)

# The page, its scripts and the program: the folder to publish.
set(KESTIV_WEB_SITE_DIR "${CMAKE_BINARY_DIR}/site")

# Tests run single-threaded under Node; GoogleTest would otherwise ask for
# threads, which in WebAssembly means shared memory.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)

# kestiv_web_memory(<target> <image>)
#
# Starts <target>'s memory large enough for <image>, its unpacked copy and the
# stack, so a game starts without growing it; the size is taken when the image
# is there, at build time.
function(kestiv_web_memory target image)
  cmake_path(ABSOLUTE_PATH image BASE_DIRECTORY "${CMAKE_BINARY_DIR}" NORMALIZE)
  set(options "${CMAKE_CURRENT_BINARY_DIR}/${target}_memory.rsp")
  add_custom_command(
    OUTPUT "${options}"
    COMMAND ${CMAKE_COMMAND} -DIMAGE=${image} -DOUTPUT=${options} -P "${PROJECT_SOURCE_DIR}/cmake/web_memory.cmake"
    DEPENDS "${image}" "${PROJECT_SOURCE_DIR}/cmake/web_memory.cmake"
    VERBATIM)
  add_custom_target(${target}-memory DEPENDS "${options}")
  add_dependencies(${target} ${target}-memory)
  target_link_options(${target} PRIVATE "@${options}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${options}")
endfunction()

# kestiv_web_terminal(<target> <image>)
#
# Makes <target> an ES module (.mjs, which Node too takes for one) beside its
# .wasm, with memory for <image>.
function(kestiv_web_terminal target image)
  set_target_properties(${target} PROPERTIES SUFFIX .mjs)
  kestiv_web_memory(${target} "${image}")
endfunction()
