# Run by CPack once it has staged the files of a release archive: writes the
# archive so that the same files give the same bytes on any machine. The
# entries lie in one top folder named after the archive, in byte order of
# their paths; every time is SOURCE_DATE_EPOCH, or without it the time of the
# sources' last commit; owners are 0 and modes 644, or 755 for programs and
# folders.
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "")
  execute_process(COMMAND git -C "${CPACK_KESTIV_SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(epoch STREQUAL "")
    message(FATAL_ERROR "The sources are no git checkout: set SOURCE_DATE_EPOCH to the time the "
                        "archive's files should carry, in seconds since 1970")
  endif()
endif()
# A zip entry's time is an MS-DOS date, which starts in 1980.
if(NOT epoch MATCHES "^[0-9]+$" OR epoch LESS 315532800)
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a time in seconds since 1970, "
                      "1980 or later; got '${epoch}'")
endif()

set(stage "${CPACK_TEMPORARY_DIRECTORY}")
cmake_path(GET stage PARENT_PATH stage_parent)
cmake_path(GET stage FILENAME top)
set(archive "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.${CPACK_KESTIV_ARCHIVE_FORMAT}")

# What the archive records of the files is made the same first: zip reads
# times and modes from the files themselves.
execute_process(COMMAND chmod -R u=rwX,go=rX "${stage}" COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND find "${stage}" -exec touch -h -d @${epoch} {} +
                COMMAND_ERROR_IS_FATAL ANY)

if(CPACK_KESTIV_ARCHIVE_FORMAT STREQUAL "tar.gz")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C
            tar --create --format=gnu --sort=name --owner=0 --group=0 --numeric-owner
                --mtime=@${epoch} --directory "${stage_parent}" "${top}"
    COMMAND gzip -9 --no-name
    OUTPUT_FILE "${archive}"
    COMMAND_ERROR_IS_FATAL ANY)
else()
  # GLOB_RECURSE lists in byte order. Folders are left to the unpacker, and
  # -X leaves out the owner and the extra time fields; the remaining MS-DOS
  # time is local time, so the zone is fixed.
  file(GLOB_RECURSE entries LIST_DIRECTORIES false RELATIVE "${stage_parent}" "${stage}/*")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC0 zip -X -D -9 -q "${archive}" ${entries}
    WORKING_DIRECTORY "${stage_parent}"
    COMMAND_ERROR_IS_FATAL ANY)
endif()

set(CPACK_EXTERNAL_BUILT_PACKAGES "${archive}")
