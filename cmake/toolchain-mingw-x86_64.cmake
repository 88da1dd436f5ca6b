# Cross-compilation of the 64-bit Windows DLL (x86_64) with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARVO_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
