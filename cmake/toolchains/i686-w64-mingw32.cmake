# Cross-building for Windows (i686) with Debian's MinGW-w64, posix-threads
# variant (std::thread over winpthreads). The libraries the Windows build
# needs are built from source into a prefix of the build tree
# (cmake/ZulsoundWindowsDeps.cmake), which is searched beside the compiler's
# own root; nothing of the host's /usr is ever found.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZULSOUND_CROSS_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs built here run under Wine (tests, ctest's listing of them).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# Floating point in SSE registers, never x87: single-precision fades and
# positions round to 32 bits at every step, as on x86_64, instead of keeping
# x87's excess precision until a value happens to be stored.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
