# Cross-compilation of the 32-bit Windows DLL with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TARVO_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
