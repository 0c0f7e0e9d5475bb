# Installs the build into a fresh prefix, then, against the installed tree
# only:
#  - configures and builds a small consumer found with find_package(zulsound)
#    and with pkg-config, and every installed header alone, under
#    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror;
#  - builds the example game (examples/), runs it twice on the sample
#    content (CONTENT_DIR) rendering to a WAV, and checks the two files are
#    the same bit for bit, the music is in them and the runs logged no
#    leftovers at shutdown;
#  - installs again with a two-part library folder (lib/x86_64-linux-gnu)
#    and checks pkg-config's flags name folders that hold the library and
#    its headers;
#  - checks the symbols (CheckLinkedSymbols.cmake).
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
foreach(f lib/libzulsound.so lib/pkgconfig/zulsound.pc lib/cmake/zulsound/zulsoundConfig.cmake
          include/zulsound/zulsound.h include/zulsound/sound/manager/Version.h)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
# The library's inside stays inside.
foreach(f include/zulsound/sound/manager/Globals.h include/zulsound/sound/request/RequestManager.h
          include/zulsound/interfaces/TextWindow.h)
  if(EXISTS ${prefix}/${f})
    message(FATAL_ERROR "installed, but not the game's: ${f}")
  endif()
endforeach()

function(build name source)
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${source} -B ${WORK_DIR}/${name} -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "${name} configure failed: ${rc}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/${name} RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "${name} build failed: ${rc}")
  endif()
endfunction()

build(consumer ${SOURCE_DIR})
foreach(exe consumer consumer_pc)
  execute_process(COMMAND ${WORK_DIR}/consumer/${exe} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc)
    message(FATAL_ERROR "${exe} failed (${rc}): ${out} ${err}")
  endif()
  message(STATUS "${exe}: ${out}")
endforeach()

build(example ${EXAMPLE_DIR})
# Two renderings of one game: the library's threads (the music's fades)
# run on the mix's clock, so the files are the same however the machine
# schedules them.
foreach(run 1 2)
  set(wav ${WORK_DIR}/example${run}.wav)
  execute_process(COMMAND ${WORK_DIR}/example/game ${CONTENT_DIR} ${wav}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc)
    message(FATAL_ERROR "the example failed (${rc}): ${out} ${err}")
  endif()
  message(STATUS "example: ${out}")
  # A clean shutdown leaves nothing for the library to warn about.
  if(err MATCHES "was destroyed|failed to|Skip ")
    message(FATAL_ERROR "the example's shutdown was not clean:\n${err}")
  endif()
  file(SHA256 ${wav} hash${run})
endforeach()
if(NOT hash1 STREQUAL hash2)
  message(FATAL_ERROR "two renderings of the example differ: ${hash1} and ${hash2}")
endif()

# sox's RMS amplitude of SECONDS seconds of the file from START.
function(rms_of file start seconds var)
  execute_process(COMMAND ${SOX} ${file} -n trim ${start} ${seconds} stat RESULT_VARIABLE rc ERROR_VARIABLE stat)
  if(rc OR NOT stat MATCHES "RMS +amplitude: +([0-9.]+)")
    message(FATAL_ERROR "sox cannot read ${file}: ${stat}")
  endif()
  set(${var} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()
set(wav ${WORK_DIR}/example1.wav)
execute_process(COMMAND ${SOX} ${wav} -n stat ERROR_VARIABLE stat)
if(NOT stat MATCHES "Length \\(seconds\\): +([0-9.]+)")
  message(FATAL_ERROR "sox gives no length of ${wav}")
endif()
set(seconds ${CMAKE_MATCH_1})
rms_of(${wav} 0 ${seconds} rms)
# The theme after its fade-in, before the first action's echo ends: with
# the fades on the wall clock a fast rendering was nearly silent here.
rms_of(${wav} 2.2 0.3 music)
message(STATUS "example.wav: ${seconds} s, RMS ${rms}, RMS at 2.2 s ${music}")
if(seconds LESS 10 OR rms LESS 0.01)
  message(FATAL_ERROR "the example's rendering is silent or short: ${seconds} s, RMS ${rms}")
endif()
if(music LESS 0.02)
  message(FATAL_ERROR "the example's rendering has no music: RMS ${music} at 2.2 s")
endif()

# A distribution's two-part library folder: pkg-config's flags still name
# the folders that hold the library and the headers.
set(multiarch ${WORK_DIR}/multiarch)
execute_process(COMMAND ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR}/libdir -B ${WORK_DIR}/libdir -G ${GENERATOR}
  -DCMAKE_INSTALL_LIBDIR=lib/x86_64-linux-gnu -DZULSOUND_SOURCE_DIR=${ZULSOUND_SOURCE_DIR}
  -DZULSOUND_VERSION=${ZULSOUND_VERSION} -DINSTALLED_LIBDIR=${prefix}/lib -DINSTALLED_INCLUDEDIR=${prefix}/include
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${WORK_DIR}/libdir --prefix ${multiarch} RESULT_VARIABLE rc OUTPUT_QUIET)
endif()
if(rc)
  message(FATAL_ERROR "installing with lib/x86_64-linux-gnu failed: ${rc}")
endif()
set(ENV{PKG_CONFIG_PATH} ${multiarch}/lib/x86_64-linux-gnu/pkgconfig)
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs zulsound RESULT_VARIABLE rc OUTPUT_VARIABLE flags
  ERROR_VARIABLE err OUTPUT_STRIP_TRAILING_WHITESPACE)
if(rc)
  message(FATAL_ERROR "pkg-config finds no zulsound below ${multiarch}: ${err}")
endif()
message(STATUS "pkg-config with lib/x86_64-linux-gnu: ${flags}")
if(NOT flags MATCHES "-I([^ ]+)")
  message(FATAL_ERROR "pkg-config gives no include folder: ${flags}")
endif()
set(includedir ${CMAKE_MATCH_1})
if(NOT flags MATCHES "-L([^ ]+)")
  message(FATAL_ERROR "pkg-config gives no library folder: ${flags}")
endif()
set(libdir ${CMAKE_MATCH_1})
if(NOT EXISTS ${includedir}/zulsound/zulsound.h OR NOT EXISTS ${libdir}/libzulsound.so)
  message(FATAL_ERROR "pkg-config's folders hold no zulsound: ${flags}")
endif()
file(REAL_PATH ${libdir} reallib)
if(NOT reallib STREQUAL "${multiarch}/lib/x86_64-linux-gnu")
  message(FATAL_ERROR "pkg-config's library folder is ${reallib}, not ${multiarch}/lib/x86_64-linux-gnu")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/CheckLinkedSymbols.cmake)
check_linked_symbols(${prefix} ${WORK_DIR}/example/game)
