# A release build makes the players' executable: the same bytes from any build
# folder and at any time. No build path reaches the output, nothing is stamped
# with the time of the build, and symbols are stripped; the Linux executable
# needs no shared library, so it runs on any x86-64 Linux. A browser build's
# optimised module carries neither symbols nor a time to begin with.
option(KESTIV_RELEASE "Build the players' executable for a release archive" OFF)

if(KESTIV_RELEASE)
  add_compile_options("-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=" "-ffile-prefix-map=${PROJECT_BINARY_DIR}/=")
  if(WIN32)
    add_link_options(-s -Wl,--no-insert-timestamp)
  elseif(NOT EMSCRIPTEN)
    # A static position-independent executable keeps address randomisation.
    add_link_options(-s -static-pie)
  endif()
endif()
