# Cross-compiling for Windows with MinGW-w64, 64-bit (x86_64).
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
