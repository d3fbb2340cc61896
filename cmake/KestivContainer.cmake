# The container image that serves the terminal over TCP, exported as an OCI
# archive beside the release archives: deploy/container/files.txt says what
# it holds, assemble-root lays its root out and build-image builds it with
# podman. Every "built" line of the list names a target whose file goes in.
option(KESTIV_CONTAINER "Build the container image that serves the terminal" OFF)

if(KESTIV_CONTAINER)
  set(container_dir "${PROJECT_SOURCE_DIR}/deploy/container")
  set(container_list "${container_dir}/files.txt")
  set(container_archive "${CMAKE_BINARY_DIR}/kestiv-terminal-${PROJECT_VERSION}-container.tar")
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
    OUTPUT "${container_archive}" "${container_archive}.sha256"
    COMMAND "${container_dir}/assemble-root" "${container_list}" "${PROJECT_SOURCE_DIR}"
            "${CMAKE_BINARY_DIR}/container-root" ${built_files}
    COMMAND "${container_dir}/build-image" "${CMAKE_BINARY_DIR}/container-root" "${container_archive}"
            "localhost/kestiv-terminal:${PROJECT_VERSION}" "${PROJECT_SOURCE_DIR}"
    DEPENDS ${depends} "${container_list}" "${container_dir}/assemble-root" "${container_dir}/build-image"
            "${container_dir}/Containerfile"
    COMMENT "Building the container image ${container_archive}"
    VERBATIM USES_TERMINAL)
  add_custom_target(kestiv-container DEPENDS "${container_archive}")
endif()
