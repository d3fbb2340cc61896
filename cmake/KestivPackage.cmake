# The release archives, made with CPack: the players' executable with a text
# on how to play (and, for Linux, kestiv-seat, which serves it over TCP), or,
# from a browser build, its site folder. CPack stages the
# files; KestivArchive.cmake writes the archive, since CPack's own archive
# writers take entry order and times from the build machine. kestivfs is never
# installed: it carries the content key.
if(EMSCRIPTEN)
  install(DIRECTORY "${KESTIV_WEB_SITE_DIR}/" DESTINATION . COMPONENT site)
  set(component site)
  set(platform web)
  set(archive_format zip)
else()
  if(WIN32)
    set(platform windows-x86_64)
    set(archive_format zip)
    set(start_text start-windows.txt)
    set(KESTIV_END_OF_INPUT "Ctrl-Z, then Enter")
    # Windows players read it in Notepad and its kin.
    set(line_ends CRLF)
  else()
    set(platform linux-x86_64)
    set(archive_format tar.gz)
    set(start_text start-linux.txt)
    set(KESTIV_END_OF_INPUT "Ctrl-D")
    set(line_ends LF)
  endif()
  set(players "${PROJECT_SOURCE_DIR}/deploy/players")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               "${players}/how-to-play.txt.in" "${players}/${start_text}" "${PROJECT_SOURCE_DIR}/LICENSE")
  file(READ "${players}/${start_text}" KESTIV_HOW_TO_START)
  file(READ "${players}/how-to-play.txt.in" how_to_play)
  string(CONFIGURE "${how_to_play}" how_to_play @ONLY)
  file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/players/HOW-TO-PLAY.txt" CONTENT "${how_to_play}"
       NEWLINE_STYLE ${line_ends})
  install(TARGETS kestiv-terminal RUNTIME DESTINATION . COMPONENT player)
  if(TARGET kestiv-seat)
    # A host serving the maze over TCP (deploy/) runs it beside the terminal.
    install(TARGETS kestiv-seat RUNTIME DESTINATION . COMPONENT player)
  endif()
  # The licence's notice goes with every copy, in the line ends of the players' text.
  file(READ "${PROJECT_SOURCE_DIR}/LICENSE" license)
  file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/players/LICENSE.txt" CONTENT "${license}" NEWLINE_STYLE ${line_ends})
  install(FILES "${CMAKE_BINARY_DIR}/players/HOW-TO-PLAY.txt" "${CMAKE_BINARY_DIR}/players/LICENSE.txt"
          DESTINATION . COMPONENT player)
  set(component player)
endif()

set(CPACK_PACKAGE_NAME kestiv-terminal)
set(CPACK_SYSTEM_NAME ${platform})
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${platform}")
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};${component};/")
set(CPACK_GENERATOR External)
set(CPACK_EXTERNAL_ENABLE_STAGING ON)
set(CPACK_EXTERNAL_PACKAGE_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/KestivArchive.cmake")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_KESTIV_ARCHIVE_FORMAT ${archive_format})
set(CPACK_KESTIV_SOURCE_DIR "${PROJECT_SOURCE_DIR}")
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
