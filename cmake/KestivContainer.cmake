# The container image that serves the terminal over TCP, exported as an OCI
# archive beside the release archives: deploy/container/files.txt says what
# it holds, assemble-root lays its root out and build-image builds it with
# podman. Every "built" line of the list names a target whose file goes in.
#
# The image's name is KESTIV_CONTAINER_IMAGE:KESTIV_CONTAINER_TAG. Without a
# tag of the author's, the tag is the version and the first 12 hex digits of
# the SHA-256 of the maze image the terminal links, so that two mazes never
# share a name (container-name.cmake works it out at build time, when the
# maze exists). Beside the archive, kestiv-terminal-VERSION-container.txt
# records the name, the image ID, the manifest's digest and the Debian
# package of every file taken from the build machine.
option(KESTIV_CONTAINER "Build the container image that serves the terminal" OFF)
set(KESTIV_CONTAINER_IMAGE "localhost/kestiv-terminal" CACHE STRING
    "Name of the container image, a registry's host and path included, without a tag")
set(KESTIV_CONTAINER_TAG "" CACHE STRING
    "Tag of the container image; empty: the version and the start of the maze image's SHA-256")

if(KESTIV_CONTAINER)
  # The grammar of the OCI distribution's names: an optional registry host
  # (with a dot or a port, or localhost), then lower-case path components.
  string(REPLACE "/" ";" name_parts "${KESTIV_CONTAINER_IMAGE}")
  list(GET name_parts 0 first_part)
  list(LENGTH name_parts part_count)
  if(part_count GREATER 1 AND first_part MATCHES "[.:]|^localhost$")
    list(POP_FRONT name_parts)
    if(NOT first_part MATCHES "^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?(:[0-9]+)?$")
      set(name_parts "")
    endif()
  endif()
  set(name_ok FALSE)
  if(name_parts)
    set(name_ok TRUE)
  endif()
  foreach(part IN LISTS name_parts)
    if(NOT part MATCHES "^[a-z0-9]+(([._]|__|-+)[a-z0-9]+)*$")
      set(name_ok FALSE)
    endif()
  endforeach()
  if(NOT name_ok OR KESTIV_CONTAINER_IMAGE MATCHES "//|/$")
    message(FATAL_ERROR "KESTIV_CONTAINER_IMAGE must be an image's name without a tag, such as "
                        "registry.example.org/contest/kestiv-terminal (lower case); got '${KESTIV_CONTAINER_IMAGE}'")
  endif()
  if(NOT KESTIV_CONTAINER_TAG STREQUAL "" AND NOT KESTIV_CONTAINER_TAG MATCHES "^[A-Za-z0-9_][A-Za-z0-9_.-]*$")
    message(FATAL_ERROR "KESTIV_CONTAINER_TAG must be letters, digits, '_', '.' and '-', not first '.' "
                        "or '-'; got '${KESTIV_CONTAINER_TAG}'")
  endif()
  string(LENGTH "${KESTIV_CONTAINER_TAG}" tag_length)
  if(tag_length GREATER 128)
    message(FATAL_ERROR "KESTIV_CONTAINER_TAG has ${tag_length} characters; a tag has at most 128")
  endif()

  set(container_dir "${PROJECT_SOURCE_DIR}/deploy/container")
  set(container_list "${container_dir}/files.txt")
  set(container_stem "${CMAKE_BINARY_DIR}/kestiv-terminal-${PROJECT_VERSION}-container")
  set(container_archive "${container_stem}.tar")
  set(container_record "${container_stem}.txt")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${container_list}")

  set(built_files "")
  set(depends "")
  file(STRINGS "${container_list}" lines REGEX "^(built|source) ")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^([a-z]+) +([^ ]+)" _ "${line}")
    if(CMAKE_MATCH_1 STREQUAL "built")
      list(APPEND built_files "${CMAKE_MATCH_2}=$<TARGET_FILE:${CMAKE_MATCH_2}>")
      list(APPEND depends ${CMAKE_MATCH_2})
    else()
      list(APPEND depends "${PROJECT_SOURCE_DIR}/${CMAKE_MATCH_2}")
    endif()
  endforeach()

  add_custom_command(
    OUTPUT "${container_archive}" "${container_archive}.sha256" "${container_record}"
    COMMAND "${CMAKE_COMMAND}" "-DMAZE=${KESTIV_TERMINAL_IMAGE}" "-DIMAGE=${KESTIV_CONTAINER_IMAGE}"
            "-DTAG=${KESTIV_CONTAINER_TAG}" "-DVERSION=${PROJECT_VERSION}" "-DOUTPUT=${container_stem}.name"
            -P "${PROJECT_SOURCE_DIR}/cmake/container-name.cmake"
    COMMAND "${container_dir}/assemble-root" --packages "${container_stem}.packages" "${container_list}"
            "${PROJECT_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/container-root" ${built_files}
    COMMAND "${container_dir}/build-image" "${CMAKE_BINARY_DIR}/container-root" "${container_archive}"
            "@${container_stem}.name" "${PROJECT_SOURCE_DIR}" "${container_stem}.packages"
    DEPENDS ${depends} kestiv-image "${KESTIV_TERMINAL_IMAGE}" "${container_list}" "${container_dir}/assemble-root"
            "${container_dir}/build-image" "${container_dir}/Containerfile"
            "${PROJECT_SOURCE_DIR}/cmake/container-name.cmake"
    COMMENT "Building the container image ${container_archive}"
    VERBATIM USES_TERMINAL)
  add_custom_target(kestiv-container DEPENDS "${container_archive}")
endif()
