# kestiv_image_source(<out-var> <name> <file>)
#
# An assembler source that links <file> in as FS_raw and FS_raw_len. The
# assembler pulls the image in with .incbin, which compiler dependency files do
# not list, so the object is made to depend on the file by name: a changed
# image is reassembled and relinked, and nothing else is recompiled.
function(kestiv_image_source out_var name image)
  cmake_path(ABSOLUTE_PATH image BASE_DIRECTORY "${CMAKE_BINARY_DIR}" NORMALIZE
             OUTPUT_VARIABLE KESTIV_IMAGE_FILE)
  set(asm "${CMAKE_CURRENT_BINARY_DIR}/${name}_fs_raw.S")
  configure_file("${PROJECT_SOURCE_DIR}/image/fs_raw.S.in" "${asm}" @ONLY)
  set_source_files_properties("${asm}" PROPERTIES OBJECT_DEPENDS "${KESTIV_IMAGE_FILE}")
  set(${out_var} "${asm}" PARENT_SCOPE)
endfunction()

# kestiv_add_terminal(<target> IMAGE <file> [DEPENDS <targets>...])
#
# A terminal executable with <file> linked in as its image; DEPENDS names the
# targets that produce the file.
function(kestiv_add_terminal target)
  cmake_parse_arguments(arg "" "IMAGE" "DEPENDS" ${ARGN})
  if(NOT arg_IMAGE)
    message(FATAL_ERROR "kestiv_add_terminal(${target}): IMAGE is required")
  endif()
  kestiv_image_source(asm ${target} "${arg_IMAGE}")
  add_executable(${target} "${asm}")
  target_link_libraries(${target} PRIVATE kestiv_main kestiv_shell)
  if(arg_DEPENDS)
    add_dependencies(${target} ${arg_DEPENDS})
  endif()
endfunction()
