# A library's headers are included by its folder ("ut3/client.h"). Each
# library gets an include folder of its own in the build tree that holds only
# a link to its source folder, so a file compiles against the headers of the
# libraries its target links and no others: an include across a forbidden
# edge fails to compile.
function(skirvane_public_headers target)
  get_filename_component(folder "${CMAKE_CURRENT_SOURCE_DIR}" NAME)
  set(root "${CMAKE_BINARY_DIR}/include/${target}")
  file(MAKE_DIRECTORY "${root}")
  file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}" "${root}/${folder}" SYMBOLIC)
  target_include_directories(${target} PUBLIC "${root}")
endfunction()
