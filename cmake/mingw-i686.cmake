# Cross-compiling for Windows with MinGW-w64, 32-bit (i686), the program users run.
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
