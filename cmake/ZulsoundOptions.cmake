# Compiler warnings and sanitizers for every target of the project.
add_compile_options(-Wall -Wextra)
if(ZULSOUND_WERROR)
  add_compile_options(-Werror)
endif()
if(WIN32)
  # <cmath>'s M_PI as on Linux; windows.h without min/max macros.
  add_compile_definitions(_USE_MATH_DEFINES NOMINMAX)
  # The programs' main threads get Linux's 8 MiB of stack instead of
  # Windows' 2 MiB: libsndfile's Vorbis and Opus encoders (the content
  # synthesiser, the tests' sound files) keep large buffers on the stack.
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -Wl,--stack,8388608")
endif()

if(ZULSOUND_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(ZULSOUND_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT ZULSOUND_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ZULSOUND_SANITIZE must be empty, address or thread")
endif()

# A path of the build machine as the build's programs see it: under Wine,
# the Unix root is drive Z:, and a path without a drive would be taken on
# drive C:.
function(zulsound_program_path out path)
  if(WIN32 AND CMAKE_CROSSCOMPILING AND path MATCHES "^/")
    set(${out} "Z:${path}" PARENT_SCOPE)
  else()
    set(${out} "${path}" PARENT_SCOPE)
  endif()
endfunction()

# Helper: an OBJECT library of one layer, compiled with the project's rules.
function(zulsound_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;PRIVATE_LIBS" ${ARGN})
  add_library(${name} OBJECT ${L_SOURCES})
  target_link_libraries(${name} PUBLIC zulsound_interfaces)
  if(L_PRIVATE_LIBS)
    # Third-party libraries stay private to the layer: its headers are not
    # offered to anything that links it.
    target_link_libraries(${name} PRIVATE ${L_PRIVATE_LIBS})
    target_link_libraries(${name} INTERFACE $<LINK_ONLY:${L_PRIVATE_LIBS}>)
  endif()
  target_compile_definitions(${name} PRIVATE ZULSOUND_BUILDING)
endfunction()
