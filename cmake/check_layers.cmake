# Fails the build when a file includes a layer its folder may not use. The layers' include
# roots reach each other through the libraries they link (a header of playback includes
# platform's), so the compiler alone lets a wrong-way include through; this step does not.
#
#   cmake -DSOURCE_DIR=<src> -DLAYERS=<"name:use,use;..."> -P check_layers.cmake
#
# A core folder may include itself and the layers it lists; its gui/ subfolder also the
# picture controls (controls); the command line (cli) every layer but the application's.
cmake_minimum_required(VERSION 3.16)
string(REPLACE "|" ";" LAYERS "${LAYERS}")
set(names)
foreach(entry IN LISTS LAYERS)
  string(REPLACE ":" ";" parts "${entry}")
  list(GET parts 0 name)
  list(APPEND names ${name})
  set(allowed_${name} ${name})
  list(LENGTH parts n)
  if(n GREATER 1)
    list(GET parts 1 uses)
    string(REPLACE "," ";" uses "${uses}")
    list(APPEND allowed_${name} ${uses})
  endif()
endforeach()
set(allowed_cli cli ${names})
list(REMOVE_ITEM allowed_cli app)
list(APPEND names cli)

set(wrong)
foreach(name IN LISTS names)
  file(GLOB_RECURSE files ${SOURCE_DIR}/${name}/*.h ${SOURCE_DIR}/${name}/*.cpp)
  foreach(file IN LISTS files)
    set(allowed ${allowed_${name}})
    if(file MATCHES "/gui/")
      list(APPEND allowed controls)
    endif()
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z_]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([a-z_]+)/.*" "\\1" layer "${line}")
      if(NOT layer IN_LIST allowed AND (layer IN_LIST names OR layer STREQUAL "app"))
        file(RELATIVE_PATH shown ${SOURCE_DIR} ${file})
        list(APPEND wrong "  src/${shown}: ${layer}/ is not a layer ${name} may use")
      endif()
    endforeach()
  endforeach()
endforeach()
if(wrong)
  string(REPLACE ";" "\n" wrong "${wrong}")
  message(FATAL_ERROR "Includes against the layers' order:\n${wrong}")
endif()
