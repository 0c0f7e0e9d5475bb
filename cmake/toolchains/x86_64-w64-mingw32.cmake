# Cross-building for Windows (x86_64) with Debian's MinGW-w64, posix-threads
# variant (std::thread over winpthreads). The libraries the Windows build
# needs are built from source into a prefix of the build tree
# (cmake/ZulsoundWindowsDeps.cmake), which is searched beside the compiler's
# own root; nothing of the host's /usr is ever found.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ZULSOUND_CROSS_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs built here run under Wine (tests, ctest's listing of them).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
