# Compiler warnings and sanitizers for every target of the project.
add_compile_options(-Wall -Wextra)
if(ZULSOUND_WERROR)
  add_compile_options(-Werror)
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
