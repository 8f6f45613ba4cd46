# ---- Layers --------------------------------------------------------------------------
# Each folder of src/ is a static library that may use only the layers listed after it.
# A layer sees the headers of itself and of the layers it links, nothing else: its include
# root in the build tree holds a link to its own folder only, so an include the wrong way
# fails to compile. Window code sits in each folder's gui/ subfolder and is a library of its
# own, linked to Qt and to its layer.
set(TUNECASE_LAYERS
  "base"
  "platform:base"
  "midi:base"
  "qr:base"
  "playback:base,platform,midi"
  "styles:base"
  "compose:base,midi,styles"
  "songs:base,midi,playback,compose,styles"
  "strips:base,midi,playback,songs"
  "net:base,midi,playback,songs,qr"
  "controls:base,qr"
  "app:base,platform,midi,qr,playback,styles,compose,songs,strips,net,controls")

set(TUNECASE_CORE_LAYERS)
set(TUNECASE_LAYER_ROOT ${CMAKE_BINARY_DIR}/layer-include)

# Registers the layer library tunecase_<name> (when the folder has code) with its own
# include root, linked to the layers below it.
function(tunecase_add_layer name uses)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(root ${TUNECASE_LAYER_ROOT}/${name})
  file(MAKE_DIRECTORY ${root})
  if(NOT EXISTS ${root}/${name})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${name} ${root}/${name} SYMBOLIC)
  endif()
  add_library(tunecase_${name} STATIC ${sources})
  target_include_directories(tunecase_${name} PUBLIC ${root})
  target_compile_options(tunecase_${name} PRIVATE -Wall -Wextra)
  foreach(below IN LISTS uses)
    if(TARGET tunecase_${below})
      target_link_libraries(tunecase_${name} PUBLIC tunecase_${below})
    endif()
  endforeach()
  set(TUNECASE_CORE_LAYERS ${TUNECASE_CORE_LAYERS} tunecase_${name} PARENT_SCOPE)
endfunction()

foreach(entry IN LISTS TUNECASE_LAYERS)
  string(REPLACE ":" ";" parts "${entry}")
  list(GET parts 0 name)
  set(uses)
  list(LENGTH parts n)
  if(n GREATER 1)
    list(GET parts 1 uses)
    string(REPLACE "," ";" uses "${uses}")
  endif()
  tunecase_add_layer(${name} "${uses}")
endforeach()

# Every build first checks that no file includes a layer its folder may not use.
string(REPLACE ";" "|" layers_arg "${TUNECASE_LAYERS}")
add_custom_target(tunecase_layer_check
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}/src "-DLAYERS=${layers_arg}"
          -P ${CMAKE_SOURCE_DIR}/cmake/check_layers.cmake
  COMMENT "Checking the layers' includes"
  VERBATIM)
foreach(layer IN LISTS TUNECASE_CORE_LAYERS)
  add_dependencies(${layer} tunecase_layer_check)
endforeach()
