# Translations: one gettext catalogue per language in po/ (domain "tunecase"), compiled here
# into build/locale/<lang>/LC_MESSAGES/tunecase.mo, where the programs of the build tree find
# them, and installed to share/locale. Message ids are the English texts.
#
# po/tunecase.pot lists every id; after adding or changing a text run
#   cmake --build build --target tunecase_pot
# which renews it and adds the new ids to po/en.po (English as it is) and po/ja.po (empty);
# then give them their Japanese in po/ja.po (the catalogue test names what is missing).

set(TUNECASE_LANGUAGES en ja)
find_program(TUNECASE_MSGFMT msgfmt)
tunecase_require(TUNECASE_MSGFMT "gettext (msgfmt)" "gettext" "")
find_program(TUNECASE_XGETTEXT xgettext)
find_program(TUNECASE_MSGMERGE msgmerge)
find_program(TUNECASE_MSGEN msgen)
find_program(TUNECASE_MSGCAT msgcat)

set(TUNECASE_LOCALE_DIR ${CMAKE_BINARY_DIR}/locale)
set(TUNECASE_CATALOGUES)
foreach(lang IN LISTS TUNECASE_LANGUAGES)
  set(po ${CMAKE_SOURCE_DIR}/po/${lang}.po)
  set(mo ${TUNECASE_LOCALE_DIR}/${lang}/LC_MESSAGES/tunecase.mo)
  add_custom_command(OUTPUT ${mo}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TUNECASE_LOCALE_DIR}/${lang}/LC_MESSAGES
    COMMAND ${TUNECASE_MSGFMT} --check --output-file=${mo} ${po}
    DEPENDS ${po}
    COMMENT "Translation catalogue ${lang}.po")
  list(APPEND TUNECASE_CATALOGUES ${mo})
endforeach()
add_custom_target(tunecase_translations ALL DEPENDS ${TUNECASE_CATALOGUES})
foreach(program tunecase tunecase-cli tunecase-cli-full)
  if(TARGET ${program})
    add_dependencies(${program} tunecase_translations)
  endif()
endforeach()

# The template of every id, from the texts marked tr("...") and N_("...") in the sources.
if(TUNECASE_XGETTEXT)
  add_custom_target(tunecase_pot
    COMMAND ${CMAKE_COMMAND} -DXGETTEXT=${TUNECASE_XGETTEXT} -DMSGMERGE=${TUNECASE_MSGMERGE}
            -DMSGEN=${TUNECASE_MSGEN} -DMSGCAT=${TUNECASE_MSGCAT} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
            -DOUTPUT=${CMAKE_SOURCE_DIR}/po/tunecase.pot -P ${CMAKE_SOURCE_DIR}/cmake/make_pot.cmake
    COMMENT "po/tunecase.pot from the sources, and the catalogues brought up to it")
endif()

install(DIRECTORY ${TUNECASE_LOCALE_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/locale)
