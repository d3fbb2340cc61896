# Writes the container image's full name to OUTPUT: IMAGE:TAG, or without a
# TAG, IMAGE:VERSION-<the first 12 hex digits of the SHA-256 of MAZE>, the
# maze image the terminal links.
#
# Usage: cmake -DMAZE=FILE -DIMAGE=NAME -DTAG=TAG -DVERSION=V -DOUTPUT=FILE -P container-name.cmake
if(TAG STREQUAL "")
  file(SHA256 "${MAZE}" maze_digest)
  string(SUBSTRING "${maze_digest}" 0 12 maze_digest)
  set(TAG "${VERSION}-${maze_digest}")
endif()
file(WRITE "${OUTPUT}" "${IMAGE}:${TAG}\n")
