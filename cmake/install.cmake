# Installing Tunecase (cmake --install, with CMAKE_INSTALL_PREFIX and DESTDIR) and packing it
# as a Debian package (cpack -G DEB in the build folder).
#
# Installed layout, from the prefix:
#   bin/tunecase, bin/tunecase-cli
#   libexec/tunecase/tunecase-cli-full   the commands tunecase-cli hands on (servers, strips)
#   libexec/tunecase/tunecase-web-page   the preview page and its embedded browser
#   share/tunecase/            knowledge files, help pages, README, Archive/ (sample songs)
#   share/applications/        desktop entry        share/icons/hicolor/scalable/apps/  icon
#   share/metainfo/            AppStream metadata   share/man/man1/                     manual pages

set(TUNECASE_APP_ID org.tunecase.Tunecase)
set(TUNECASE_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS tunecase-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tunecase-cli-full RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/tunecase)
if(TARGET tunecase)
  install(TARGETS tunecase RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(TARGET tunecase-web-page)
    install(TARGETS tunecase-web-page RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/tunecase)
  endif()
  install(FILES ${TUNECASE_PACKAGING_DIR}/${TUNECASE_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${TUNECASE_PACKAGING_DIR}/${TUNECASE_APP_ID}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${TUNECASE_PACKAGING_DIR}/${TUNECASE_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The read-only program folder. The song sheets are the source of the sample songs, which are
# installed as the song-data files the build wrote from them.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/ DESTINATION ${TUNECASE_INSTALL_DATADIR}
        PATTERN songs EXCLUDE)
install(FILES ${TUNECASE_ARCHIVE_FILES} DESTINATION ${TUNECASE_INSTALL_DATADIR}/Archive)

# Manual pages, compressed as Debian keeps them (-n: no name or time stamp, so the bytes
# depend on the page alone).
set(TUNECASE_MAN_PAGES)
foreach(page tunecase.1 tunecase-cli.1)
  if(page STREQUAL "tunecase.1" AND NOT TARGET tunecase)
    continue()
  endif()
  set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9n -c ${TUNECASE_PACKAGING_DIR}/${page} > ${compressed}
    DEPENDS ${TUNECASE_PACKAGING_DIR}/${page}
    COMMENT "Manual page ${page}")
  list(APPEND TUNECASE_MAN_PAGES ${compressed})
endforeach()
add_custom_target(tunecase_man_pages ALL DEPENDS ${TUNECASE_MAN_PAGES})
install(FILES ${TUNECASE_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# ---- The Debian package ------------------------------------------------------------------
# Dependencies: dpkg-shlibdeps finds the libraries the programs link; the synthesizer and
# the MIDI port library are opened at run time by their SONAME, so their packages are named
# here, found from the library files themselves, with the General MIDI soundfont and Qt's
# platform plugins, which nothing links either.

# Sets `out` to the Debian package that installed the library file among `libraries` whose
# name contains `match` (its SONAME file, the one the program opens), else to `fallback`.
function(tunecase_runtime_package out libraries match soname fallback)
  set(package "${fallback}")
  foreach(library IN LISTS libraries)
    if(library MATCHES "${match}")
      get_filename_component(folder "${library}" DIRECTORY)
      execute_process(COMMAND dpkg-query -S "${folder}/${soname}"
                      OUTPUT_VARIABLE owner ERROR_QUIET RESULT_VARIABLE failed)
      if(NOT failed AND owner MATCHES "^([^:, ]+)")
        set(package "${CMAKE_MATCH_1}")
      endif()
      break()
    endif()
  endforeach()
  set(${out} "${package}" PARENT_SCOPE)
endfunction()

set(TUNECASE_EXTRA_DEPENDS)
if(TUNECASE_WITH_SYNTH)
  tunecase_runtime_package(synth_package "${FLUIDSYNTH_LINK_LIBRARIES}" "fluidsynth"
                           "${TUNECASE_FLUIDSYNTH_LIBRARY}" "libfluidsynth3")
  list(APPEND TUNECASE_EXTRA_DEPENDS ${synth_package} fluid-soundfont-gm)
endif()
if(TUNECASE_WITH_MIDI_PORTS)
  tunecase_runtime_package(ports_package "${RTMIDI_LINK_LIBRARIES}" "rtmidi"
                           "${TUNECASE_RTMIDI_LIBRARY}" "librtmidi6")
  list(APPEND TUNECASE_EXTRA_DEPENDS ${ports_package})
endif()
if(TARGET tunecase)
  list(APPEND TUNECASE_EXTRA_DEPENDS qt6-qpa-plugins)
endif()
list(JOIN TUNECASE_EXTRA_DEPENDS ", " TUNECASE_EXTRA_DEPENDS)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tunecase)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tunecase developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "music-box player for MIDI songs")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Tunecase plays a list of Standard MIDI Files round and round as a music box\n"
  "would: each song is prepared for the mechanism (one channel, short notes folded\n"
  "into its range) and shown on a turning pinned disk, a paper roll or a toy-piano\n"
  "keyboard. It also composes songs of its own, arranges beat-grid song-data files,\n"
  "exports songs for a real music box or toy piano, and talks to a song server of\n"
  "its own (tunecase-cli serve).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tunecase developers <tunecase@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${TUNECASE_EXTRA_DEPENDS}")
# Qt's own dialogs (folder and file choosers) in the user's language.
if(TARGET tunecase)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
endif()
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
