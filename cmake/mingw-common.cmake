# Cross build for Windows with MinGW-w64 for QUIRECAST_MINGW_ARCH; programs link statically so
# they need no DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QUIRECAST_MINGW_ARCH})
set(CMAKE_C_COMPILER ${QUIRECAST_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUIRECAST_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${QUIRECAST_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUIRECAST_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The engine's libraries come from scripts/windows-deps.sh, whose prefix lives outside the clone.
# CLD2 comes from scripts/windows-cld2.sh, beside them.
if(DEFINED ENV{QUIRECAST_WINDEPS_ROOT})
  set(QUIRECAST_WINDEPS_ROOT "$ENV{QUIRECAST_WINDEPS_ROOT}")
else()
  set(QUIRECAST_WINDEPS_ROOT /var/cache/quirecast/windows-deps)
endif()
set(QUIRECAST_WINDEPS_PREFIX ${QUIRECAST_WINDEPS_ROOT}/${QUIRECAST_MINGW_ARCH})
set(QUIRECAST_CLD2_PREFIX ${QUIRECAST_WINDEPS_ROOT}/cld2-${QUIRECAST_MINGW_ARCH})
list(APPEND CMAKE_FIND_ROOT_PATH ${QUIRECAST_WINDEPS_PREFIX} ${QUIRECAST_CLD2_PREFIX})
# Keep pkg-config away from the host's libraries: it sees only what was built for Windows.
set(ENV{PKG_CONFIG_LIBDIR} ${QUIRECAST_WINDEPS_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
