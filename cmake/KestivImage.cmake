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
  if(EMSCRIPTEN)
    kestiv_web_terminal(${target} "${arg_IMAGE}")
  endif()
  if(arg_DEPENDS)
    add_dependencies(${target} ${arg_DEPENDS})
  endif()
endfunction()

# kestiv_add_image_terminals(<prefix> DIRECTORY <dir> COMMAND <maker>...
#                            [DEPENDS <targets-or-files>...] IMAGES <name>...
#                            [SIDE_FILES <suffix>...] [EXCLUDE_FROM_ALL])
#
# Runs the maker once with <dir> as its last argument to write <dir>/<name>.img
# for every name (and <dir>/<name><suffix> for each side file), then links
# each image into a terminal <prefix>-<name> that lands in <dir>. The
# terminals' target names are left in <prefix>_terminals.
function(kestiv_add_image_terminals prefix)
  cmake_parse_arguments(arg "EXCLUDE_FROM_ALL" "DIRECTORY" "COMMAND;DEPENDS;IMAGES;SIDE_FILES" ${ARGN})
  set(outputs "")
  foreach(name IN LISTS arg_IMAGES)
    list(APPEND outputs "${arg_DIRECTORY}/${name}.img")
    foreach(suffix IN LISTS arg_SIDE_FILES)
      list(APPEND outputs "${arg_DIRECTORY}/${name}${suffix}")
    endforeach()
  endforeach()
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory "${arg_DIRECTORY}"
    COMMAND ${arg_COMMAND} "${arg_DIRECTORY}"
    DEPENDS ${arg_DEPENDS}
    COMMENT "Writing the ${prefix} images"
    VERBATIM)
  add_custom_target(${prefix}-images DEPENDS ${outputs})

  set(terminals "")
  foreach(name IN LISTS arg_IMAGES)
    kestiv_add_terminal(${prefix}-${name} IMAGE "${arg_DIRECTORY}/${name}.img" DEPENDS ${prefix}-images)
    set_target_properties(${prefix}-${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${arg_DIRECTORY}")
    if(arg_EXCLUDE_FROM_ALL)
      set_target_properties(${prefix}-${name} PROPERTIES EXCLUDE_FROM_ALL TRUE)
    endif()
    list(APPEND terminals ${prefix}-${name})
  endforeach()
  set(${prefix}_terminals ${terminals} PARENT_SCOPE)
endfunction()
