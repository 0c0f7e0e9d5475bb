# Installs the build into a fresh prefix, then, against the installed tree
# only:
#  - configures and builds a small consumer found with find_package(zulsound)
#    and with pkg-config, and every installed header alone, under
#    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror;
#  - builds the example game (examples/), runs it on the sample content
#    (CONTENT_DIR) rendering to a WAV, and checks the file is not silent and
#    the run logged no leftovers at shutdown;
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
set(wav ${WORK_DIR}/example.wav)
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
execute_process(COMMAND ${SOX} ${wav} -n stat RESULT_VARIABLE rc ERROR_VARIABLE stat)
if(rc OR NOT stat MATCHES "RMS +amplitude: +([0-9.]+)")
  message(FATAL_ERROR "sox cannot read ${wav}: ${stat}")
endif()
set(rms ${CMAKE_MATCH_1})
if(NOT stat MATCHES "Length \\(seconds\\): +([0-9.]+)")
  message(FATAL_ERROR "sox gives no length of ${wav}")
endif()
set(seconds ${CMAKE_MATCH_1})
message(STATUS "example.wav: ${seconds} s, RMS ${rms}")
if(seconds LESS 4 OR rms LESS 0.01)
  message(FATAL_ERROR "the example's rendering is silent or short: ${seconds} s, RMS ${rms}")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/CheckLinkedSymbols.cmake)
check_linked_symbols(${prefix} ${WORK_DIR}/example/game)
