# Sourced by the scripts that build. The compiler cache (used when ccache is
# installed, see cmake/BuildTools.cmake) lives in build/ccache beside the
# trees, so that removing build/ removes it too and a fresh clone starts
# from nothing. Paths below the source folder count as relative ones, so
# that trees built with the same flags (release and package) share it. In
# depend mode a file not in the cache is compiled once, not preprocessed
# first as well: on a fresh clone every file is such a file.
skirvane_source=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export CCACHE_DIR="$skirvane_source/build/ccache"
export CCACHE_BASEDIR="$skirvane_source"
export CCACHE_DEPEND=1
unset skirvane_source
