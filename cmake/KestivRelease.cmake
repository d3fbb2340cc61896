# A release build makes the players' executable: the same bytes from any build
# folder and at any time. No build path reaches the output, nothing is stamped
# with the time of the build, and symbols are stripped; the Linux executable
# needs no shared library, so it runs on any x86-64 Linux.
option(KESTIV_RELEASE "Build the players' executable for a release archive" OFF)

if(KESTIV_RELEASE)
  add_compile_options("-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=" "-ffile-prefix-map=${PROJECT_BINARY_DIR}/=")
  add_link_options(-s)
  if(WIN32)
    add_link_options(-Wl,--no-insert-timestamp)
  else()
    # A static position-independent executable keeps address randomisation.
    add_link_options(-static-pie)
  endif()
endif()
