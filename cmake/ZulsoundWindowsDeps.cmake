# The Windows build's libraries. Debian has no Windows builds of them, so
# they are built from source (cmake/deps) while this build is configured,
# into <build>/deps, once: a later configure finds them built. The same
# imported targets as on Linux stand for them (PkgConfig::OPENAL, ...), so
# the platform layer's CMake does not know which system it builds for.
#
#   ZULSOUND_THIRD_PARTY_DIR  folder of the source archives (offline builds,
#                             CI: ../shared/third_party); empty clones upstream
#   ZULSOUND_DEPS_PREFIX      an already-built prefix to use instead
set(ZULSOUND_THIRD_PARTY_DIR "" CACHE PATH "Folder of the Windows libraries' source archives (empty: clone upstream at the pinned commits)")
set(ZULSOUND_DEPS_PREFIX "" CACHE PATH "A prefix where the Windows libraries are already built (empty: build them into <build>/deps)")

if(ZULSOUND_DEPS_PREFIX)
  set(ZULSOUND_DEPS ${ZULSOUND_DEPS_PREFIX})
else()
  set(ZULSOUND_DEPS ${PROJECT_BINARY_DIR}/deps)
  set(deps_build ${PROJECT_BINARY_DIR}/deps-build)
  set(launcher "")
  if(DEFINED ENV{CMAKE_C_COMPILER_LAUNCHER})
    set(launcher $ENV{CMAKE_C_COMPILER_LAUNCHER})
  endif()
  message(STATUS "Building the Windows libraries into ${ZULSOUND_DEPS} (the first time takes minutes)")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${PROJECT_SOURCE_DIR}/cmake/deps -B ${deps_build} -G Ninja
      -DCMAKE_INSTALL_PREFIX=${ZULSOUND_DEPS}
      -DZULSOUND_THIRD_PARTY_DIR=${ZULSOUND_THIRD_PARTY_DIR}
      -DZULSOUND_DEPS_TOOLCHAIN=${CMAKE_TOOLCHAIN_FILE}
      "-DZULSOUND_DEPS_FLAGS=${CMAKE_C_FLAGS_INIT}"
      -DZULSOUND_DEPS_LAUNCHER=${launcher}
    RESULT_VARIABLE configured)
  if(NOT configured EQUAL 0)
    message(FATAL_ERROR "The Windows libraries' build could not be configured (${deps_build})")
  endif()
  # One library at a time; each builds with every core.
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${deps_build} -j1 RESULT_VARIABLE built)
  if(NOT built EQUAL 0)
    message(FATAL_ERROR "The Windows libraries did not build: see the logs below ${deps_build}")
  endif()
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${ZULSOUND_DEPS})
list(APPEND CMAKE_PREFIX_PATH ${ZULSOUND_DEPS})

# zulsound_imported(TARGET FILE [IMPLIB] [DEFINES ...] [LIBS ...])
function(zulsound_imported target)
  cmake_parse_arguments(I "" "DLL;LIB" "DEFINES;LIBS" ${ARGN})
  if(I_DLL)
    add_library(${target} SHARED IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${ZULSOUND_DEPS}/bin/${I_DLL}
      IMPORTED_IMPLIB ${ZULSOUND_DEPS}/lib/${I_LIB})
  else()
    add_library(${target} STATIC IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${ZULSOUND_DEPS}/lib/${I_LIB})
  endif()
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${ZULSOUND_DEPS}/include
    INTERFACE_COMPILE_DEFINITIONS "${I_DEFINES}" INTERFACE_LINK_LIBRARIES "${I_LIBS}")
endfunction()
zulsound_imported(PkgConfig::OPENAL DLL OpenAL32.dll LIB libOpenAL32.dll.a)
zulsound_imported(PkgConfig::SNDFILE DLL libsndfile-1.dll LIB libsndfile.dll.a)
zulsound_imported(PkgConfig::EBUR128 LIB libebur128.a)
zulsound_imported(PkgConfig::PHYSFS LIB libphysfs.a DEFINES PHYSFS_STATIC LIBS advapi32 shell32 user32)
find_package(spdlog REQUIRED CONFIG)

# The DLLs a program of this build needs beside it: the two libraries' and
# the compiler's runtime (libstdc++, libgcc, winpthread).
set(ZULSOUND_RUNTIME_DLLS ${ZULSOUND_DEPS}/bin/OpenAL32.dll ${ZULSOUND_DEPS}/bin/libsndfile-1.dll)
foreach(dll libstdc++-6.dll libgcc_s_dw2-1.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll} OUTPUT_VARIABLE found
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(IS_ABSOLUTE "${found}" AND EXISTS "${found}")
    list(APPEND ZULSOUND_RUNTIME_DLLS ${found})
  elseif(EXISTS /usr/${ZULSOUND_CROSS_TRIPLE}/lib/${dll})
    list(APPEND ZULSOUND_RUNTIME_DLLS /usr/${ZULSOUND_CROSS_TRIPLE}/lib/${dll})
  endif()
endforeach()
