# Fails when a file of the desktop program includes a header of a layer it may
# not depend on. Each layer lists the folders it may include from.
#   cmake -DSOURCE_DIR=<repo>/src/desktop -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)

set(allowed_core core)
set(allowed_favourites favourites)
set(allowed_platform platform)
set(allowed_windows windows platform favourites core)
set(allowed_app app windows platform favourites core)
set(layers core favourites platform windows app)

set(violations "")
foreach(layer IN LISTS layers)
  file(GLOB files "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  if(NOT files)
    message(FATAL_ERROR "no files in ${SOURCE_DIR}/${layer}")
  endif()
  foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^#include \"[a-z]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z]+)/.*" "\\1" folder "${line}")
      if(folder IN_LIST layers AND NOT folder IN_LIST allowed_${layer})
        list(APPEND violations "${file}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "includes against the layers (app -> windows -> platform, favourites, core):\n  ${text}")
endif()
message(STATUS "desktop layers: every include runs one way")
