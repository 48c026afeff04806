# How every tree compiles and links, whatever its preset.
#
# Compiles go through ccache when it is installed, so that trees built with
# the same flags (release and package differ only in the desktop program's
# executable) and rebuilds of the same tree compile each file once. The
# project's scripts keep its cache in build/ccache (scripts/ccache-env.sh);
# configure with -DCMAKE_CXX_COMPILER_LAUNCHER= to compile without it.
find_program(SKIRVANE_CCACHE ccache)
if(SKIRVANE_CCACHE AND NOT DEFINED CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_CXX_COMPILER_LAUNCHER "${SKIRVANE_CCACHE}" CACHE STRING "Program each compile runs through (empty: none)")
endif()

# LLVM's linker where the compiler can use it: a test program with its
# debug information links in a fifth of the default linker's time, and a
# tree links some fifty of them.
option(SKIRVANE_LINK_WITH_LLD "Link with lld when the compiler can use it" ON)
if(SKIRVANE_LINK_WITH_LLD)
  include(CheckLinkerFlag)
  check_linker_flag(CXX -fuse-ld=lld SKIRVANE_LLD_WORKS)
  if(SKIRVANE_LLD_WORKS)
    add_link_options(-fuse-ld=lld)
  endif()
endif()
