set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(OPENAL REQUIRED IMPORTED_TARGET openal)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
# The device layer's loudness meter of the mix (EBU R128).
pkg_check_modules(EBUR128 REQUIRED IMPORTED_TARGET libebur128)
# The device layer silences ALSA's messages (snd_lib_error_set_handler).
# The device's sinks: the sound server (libpulse's simple API) and, without
# one, the sound card (ALSA, which also gets the silent error handler).
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
pkg_check_modules(PULSE_SIMPLE REQUIRED IMPORTED_TARGET libpulse-simple)
pkg_check_modules(PHYSFS REQUIRED IMPORTED_TARGET physfs)
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
find_package(spdlog REQUIRED)
find_package(FLEX 2.6 REQUIRED)
find_package(BISON 3.0 REQUIRED)
if(ZULSOUND_TESTS)
  find_package(GTest REQUIRED)
endif()
if(ZULSOUND_BENCH)
  find_package(benchmark REQUIRED)
  # Only the configuration benchmark links libconfig++, to compare with it.
  pkg_check_modules(LIBCONFIGPP REQUIRED IMPORTED_TARGET libconfig++)
endif()
