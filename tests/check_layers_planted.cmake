# The layer check must catch a wrong include in every library: plant one in a
# copy of the sources, library by library, and expect the check to name it.
#   cmake -DSOURCE_DIR=<repo>/src -DCOPY_DIR=<scratch> -P check_layers_planted.cmake
cmake_minimum_required(VERSION 3.25)

# For each library, a folder it may not include from.
set(plants common=ut3 ut3=queryd history=ut3 queryd=cli cli=queryd
    desktop/core=platform desktop/favourites=core desktop/watch=windows
    desktop/platform=watch desktop/windows=app desktop/app=queryd)

file(REMOVE_RECURSE "${COPY_DIR}")
file(COPY "${SOURCE_DIR}/" DESTINATION "${COPY_DIR}" FILES_MATCHING PATTERN "*.h" PATTERN "*.cpp")
foreach(plant IN LISTS plants)
  string(REPLACE "=" ";" parts "${plant}")
  list(GET parts 0 library)
  list(GET parts 1 forbidden)
  set(file "${COPY_DIR}/${library}/planted.cpp")
  file(WRITE "${file}" "#include \"${forbidden}/planted.h\"\n")
  execute_process(COMMAND "${CMAKE_COMMAND}" -DSOURCE_DIR=${COPY_DIR} -P "${CMAKE_CURRENT_LIST_DIR}/check_layers.cmake"
                  RESULT_VARIABLE result ERROR_VARIABLE errors OUTPUT_QUIET)
  file(REMOVE "${file}")
  if(result EQUAL 0 OR NOT errors MATCHES "${library}/planted.cpp")
    message(FATAL_ERROR "the layer check let ${library} include ${forbidden}/")
  endif()
endforeach()
file(REMOVE_RECURSE "${COPY_DIR}")
message(STATUS "layers: a planted include is caught in every library")
