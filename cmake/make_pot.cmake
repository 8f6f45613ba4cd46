# Renews the message template from every tr("...") and N_("...") text of src/, then brings the
# catalogues up to it (cmake -P): en.po gets the new ids with their English as the text, ja.po
# gets them untranslated (the catalogue test lists them until they have their Japanese).
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.h)
list(SORT sources)
execute_process(
  COMMAND ${XGETTEXT} --language=C++ --from-code=UTF-8 --keyword=tr --keyword=N_
          --add-comments=TRANSLATORS: --sort-by-file --package-name=tunecase
          --output=${OUTPUT} ${sources}
  WORKING_DIRECTORY ${SOURCE_DIR}
  RESULT_VARIABLE failed ERROR_VARIABLE warnings)
if(failed)
  message(FATAL_ERROR "xgettext failed: ${warnings}")
endif()
if(NOT MSGMERGE OR NOT MSGEN OR NOT MSGCAT)
  return()
endif()
get_filename_component(po ${OUTPUT} DIRECTORY)
execute_process(COMMAND ${MSGMERGE} --quiet --update --backup=none --no-fuzzy-matching ${po}/ja.po ${OUTPUT}
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "msgmerge of ja.po failed")
endif()
# English: the texts it has, and every new id as its own text.
execute_process(COMMAND ${MSGEN} ${OUTPUT} --output-file=${po}/en.new.po RESULT_VARIABLE failed)
if(NOT failed)
  execute_process(COMMAND ${MSGCAT} --use-first ${po}/en.po ${po}/en.new.po --output-file=${po}/en.po
                  RESULT_VARIABLE failed)
endif()
file(REMOVE ${po}/en.new.po)
if(NOT failed)
  execute_process(COMMAND ${MSGMERGE} --quiet --update --backup=none --no-fuzzy-matching ${po}/en.po ${OUTPUT}
                  RESULT_VARIABLE failed)
endif()
if(failed)
  message(FATAL_ERROR "updating en.po failed")
endif()
