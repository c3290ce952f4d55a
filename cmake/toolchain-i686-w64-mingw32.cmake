# Cross build for 32-bit Windows (the saver's main target) with mingw-w64 on a Linux host:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
# Doubles are computed in SSE2 registers, not in x87 extended precision, so the 32-bit build
# rounds every intermediate result the way the 64-bit builds do.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TUNDREL_MINGW_TRIPLE i686-w64-mingw32)

set(TUNDREL_MINGW_ARCH_FLAGS "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
