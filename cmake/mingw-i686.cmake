# Cross build for Windows with MinGW-w64 (i686).
set(QUIRECAST_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
