# The Windows build installed into a fresh prefix, and the example game
# built against that tree only (its CMake package, headers and import
# library), then run twice under Wine with the installed DLLs beside it: the
# two renderings are the same bit for bit.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
foreach(f bin/zulsound.dll bin/OpenAL32.dll bin/libsndfile-1.dll lib/libzulsound.dll.a
          lib/cmake/zulsound/zulsoundConfig.cmake include/zulsound/zulsound.h)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${EXAMPLE_DIR} -B ${WORK_DIR}/example -G ${GENERATOR}
  -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_FIND_ROOT_PATH=${prefix} -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_BUILD_TYPE=Release RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "example configure failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/example RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "example build failed: ${rc}")
endif()
# Windows finds a program's DLLs beside it.
file(GLOB dlls ${prefix}/bin/*.dll)
file(COPY ${dlls} DESTINATION ${WORK_DIR}/example)

foreach(run 1 2)
  execute_process(COMMAND wine ${WORK_DIR}/example/game.exe Z:${CONTENT_DIR} Z:${WORK_DIR}/example${run}.wav
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc)
    message(FATAL_ERROR "the example failed (${rc}): ${out} ${err}")
  endif()
  message(STATUS "example: ${out}")
  if(err MATCHES "was destroyed|failed to|Skip ")
    message(FATAL_ERROR "the example's shutdown was not clean:\n${err}")
  endif()
  file(SHA256 ${WORK_DIR}/example${run}.wav hash${run})
endforeach()
if(NOT hash1 STREQUAL hash2)
  message(FATAL_ERROR "two renderings of the example differ: ${hash1} and ${hash2}")
endif()
file(SIZE ${WORK_DIR}/example1.wav size)
if(size LESS 100000)
  message(FATAL_ERROR "the example rendered only ${size} bytes")
endif()
