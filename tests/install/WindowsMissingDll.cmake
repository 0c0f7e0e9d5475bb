# A program of the library started with one of zulsound.dll's DLLs missing
# (OpenAL32.dll) is stopped by the Windows loader, which names the DLL; no
# code of the library runs, so nothing crashes inside it.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
file(GLOB dlls ${BUILD_DIR}/*.dll)
list(FILTER dlls EXCLUDE REGEX "OpenAL32\\.dll$")
file(COPY ${PROGRAM} ${dlls} DESTINATION ${WORK_DIR})
get_filename_component(name ${PROGRAM} NAME)
execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=err+module wine ${WORK_DIR}/${name}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0)
  message(FATAL_ERROR "${name} ran without OpenAL32.dll:\n${out}")
endif()
if(NOT err MATCHES "OpenAL32\\.dll[^\n]*not found")
  message(FATAL_ERROR "the loader did not name the missing DLL (${rc}):\n${err}")
endif()
if(err MATCHES "Unhandled exception|page fault")
  message(FATAL_ERROR "a crash instead of the loader's refusal:\n${err}")
endif()
message(STATUS "refused by the loader (${rc})")
