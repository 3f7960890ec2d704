# Cross-compiles the Windows x86-64 build on Linux with mingw-w64 (Debian's
# g++-mingw-w64-x86-64):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# The win32 threading variant of the compilers is used: the tool runs on one
# thread and needs no POSIX threads, so nothing ties it to winpthread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLE x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${MINGW_TRIPLE}-gcc-win32 ${MINGW_TRIPLE}-gcc
             REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${MINGW_TRIPLE}-g++-win32 ${MINGW_TRIPLE}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${MINGW_TRIPLE}-windres)
find_program(CMAKE_DLLTOOL NAMES ${MINGW_TRIPLE}-dlltool REQUIRED)
find_program(CMAKE_OBJDUMP NAMES ${MINGW_TRIPLE}-objdump)

# Headers and libraries come from the mingw-w64 sysroot only; build tools
# from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
