# What both mingw-w64 toolchain files share; they set TUNDREL_MINGW_TRIPLE and
# TUNDREL_MINGW_ARCH_FLAGS first. The compilers of the posix thread model give the complete
# C++ threading library; everything from the compiler is linked statically, so the program
# needs nothing but the DLLs that come with Windows.
set(CMAKE_C_COMPILER ${TUNDREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TUNDREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TUNDREL_MINGW_TRIPLE}-windres)

set(CMAKE_C_FLAGS_INIT "${TUNDREL_MINGW_ARCH_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${TUNDREL_MINGW_ARCH_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Headers and libraries come from the cross sysroot only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TUNDREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine when CMake or CTest runs them on the build host.
find_program(TUNDREL_WINE wine)
if(TUNDREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TUNDREL_WINE})
endif()
