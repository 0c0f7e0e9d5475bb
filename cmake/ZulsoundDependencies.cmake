set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/ZulsoundWindowsDeps.cmake)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(OPENAL REQUIRED IMPORTED_TARGET openal)
  pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
  # The device layer's loudness meter of the mix (EBU R128).
  pkg_check_modules(EBUR128 REQUIRED IMPORTED_TARGET libebur128)
  # The device's sinks: the sound server (libpulse) and, without one, the
  # sound card (ALSA, which also gets the silent error handler).
  pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
  pkg_check_modules(PULSE_SIMPLE REQUIRED IMPORTED_TARGET libpulse-simple)
  pkg_check_modules(PHYSFS REQUIRED IMPORTED_TARGET physfs)
  pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
  find_package(spdlog REQUIRED)
endif()
find_package(FLEX 2.6 REQUIRED)
find_package(BISON 3.0 REQUIRED)
if(ZULSOUND_TESTS AND WIN32)
  # GoogleTest built from the sources Debian's googletest package ships.
  set(ZULSOUND_GOOGLETEST_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources (the Windows build compiles them)")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # Its CMake names the libraries GTest::gtest, GTest::gmock, ... as the
  # installed package does.
  add_subdirectory(${ZULSOUND_GOOGLETEST_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
elseif(ZULSOUND_TESTS)
  find_package(GTest REQUIRED)
endif()
if(ZULSOUND_BENCH)
  find_package(benchmark REQUIRED)
  # Only the configuration benchmark links libconfig++, to compare with it.
  pkg_check_modules(LIBCONFIGPP REQUIRED IMPORTED_TARGET libconfig++)
endif()
