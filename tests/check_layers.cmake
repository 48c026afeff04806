# Fails when a file of a library includes a header of a library it may not
# depend on. Each library lists the folders it may include from; dependencies
# run one way.
#   cmake -DSOURCE_DIR=<repo>/src -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)

set(libraries common ut3 history queryd cli
    desktop/core desktop/favourites desktop/watch desktop/soundoutput desktop/platform desktop/windows desktop/app)
set(allowed_common common)
set(allowed_ut3 ut3 common)
set(allowed_history history common)
set(allowed_queryd queryd ut3 history common)
set(allowed_cli cli ut3 common)
set(allowed_desktop/core core common)
set(allowed_desktop/favourites favourites common)
set(allowed_desktop/watch watch favourites core common)
set(allowed_desktop/soundoutput soundoutput)
set(allowed_desktop/platform platform soundoutput core common)
set(allowed_desktop/windows windows platform watch favourites core common)
set(allowed_desktop/app app windows platform watch favourites core common)

# A header is named by the last part of its library's folder.
set(folders "")
foreach(library IN LISTS libraries)
  get_filename_component(folder "${library}" NAME)
  list(APPEND folders "${folder}")
endforeach()

set(violations "")
foreach(library IN LISTS libraries)
  file(GLOB files "${SOURCE_DIR}/${library}/*.h" "${SOURCE_DIR}/${library}/*.cpp")
  if(NOT files)
    message(FATAL_ERROR "no files in ${SOURCE_DIR}/${library}")
  endif()
  foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^#include \"[a-z0-9]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z0-9]+)/.*" "\\1" folder "${line}")
      if(folder IN_LIST folders AND NOT folder IN_LIST allowed_${library})
        list(APPEND violations "${file}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "includes against the layers:\n  ${text}")
endif()
message(STATUS "layers: every include runs one way")
