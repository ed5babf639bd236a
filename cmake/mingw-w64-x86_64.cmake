# Cross-builds native 64-bit Windows programs with Debian's MinGW-w64 (the POSIX-threads flavour,
# which std::thread needs), and runs what it builds under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TROVEX_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${TROVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TROVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TROVEX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TROVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One file to copy: the C and C++ runtimes, winpthreads and zlib are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(ZLIB_USE_STATIC_LIBS ON)
