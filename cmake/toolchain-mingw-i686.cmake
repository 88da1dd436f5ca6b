# Cross-compilation of the 32-bit Windows DLL with mingw-w64. Every Windows
# that runs today requires SSE2, so the 32-bit build uses it: the quarter
# turn and the Group 4 coder take their SSE2 paths, and floating point is
# done as on x86_64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TARVO_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
