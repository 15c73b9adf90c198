# Sourced by the set-up scripts from the checkout's root. The compilers run through ccache (see
# CMakeLists.txt), with its cache outside the checkout, beside the Windows libraries' cache, so
# that a fresh clone's four builds come mostly from it; where that folder cannot be written,
# ccache keeps its own default. Paths are hashed relative to the checkout, so that clones in
# other folders share the cache.
ccache_dir=${CCACHE_DIR:-/var/cache/quirecast/ccache}
if mkdir -p "$ccache_dir" 2>/dev/null && [[ -w $ccache_dir ]]; then
  export CCACHE_DIR=$ccache_dir
fi
unset ccache_dir
export CCACHE_BASEDIR=$PWD
export CCACHE_NOHASHDIR=true
