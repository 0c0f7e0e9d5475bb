# Fails when libzulsound.so does not export one of the game's classes or
# pointers, or exports a class or pointer that is the library's own.
#
# The game's classes are listed below with the header that declares each; a
# class counts once its header exists, so the list grows as subsystems land.
# Every other class declared in a header of sound/ without ZULSOUND_API, and
# every pointer of sound/manager/Globals.h and Singletons.h declared without
# it, must not be exported.
set(game_classes
  SoundManager sound/manager/SoundManager.h
  Effect sound/effects/Effect.h
  EffectManager sound/effects/EffectManager.h
  Listener sound/effects/Listener.h
  ListenerManager sound/effects/ListenerManager.h
  Insonificator sound/insonificators/Insonificator.h
  InsonificatorManager sound/insonificators/InsonificatorManager.h
  ActInsonificator sound/insonificators/ActInsonificator.h
  UIInsonificator sound/insonificators/UIInsonificator.h
  MessageQueue sound/music/MessageQueue.h
  MusicInsonificator sound/music/MusicInsonificator.h
  LandInsonificator sound/land/LandInsonificator.h
  TestInsonificator sound/diagnostics/TestInsonificator.h)

set(names "")
if(OBJDUMP)
  # A DLL: the names of its export table ("[ N] NAME"), demangled.
  execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "objdump could not read ${LIBRARY}")
  endif()
  string(FIND "${listing}" "[Ordinal/Name Pointer] Table" at)
  if(at LESS 0)
    message(FATAL_ERROR "no export table in ${LIBRARY}")
  endif()
  string(SUBSTRING "${listing}" ${at} -1 listing)
  string(FIND "${listing}" "\n\n" end)
  string(SUBSTRING "${listing}" 0 ${end} listing)
  string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" entries "${listing}")
  set(mangled "")
  foreach(entry ${entries})
    string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${entry}")
    string(APPEND mangled "${name}\n")
  endforeach()
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/exported-names.txt "${mangled}")
  execute_process(COMMAND ${CXXFILT} --no-strip-underscore INPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/exported-names.txt
    OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  string(REPLACE ";" "\\;" listing "${listing}")
  string(REPLACE "\n" ";" names "${listing}")
  list(REMOVE_ITEM names "")
else()
  execute_process(COMMAND ${NM} -D --defined-only -C ${LIBRARY}
    OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "nm could not read ${LIBRARY}")
  endif()
  # One demangled name per entry ("ADDRESS TYPE NAME").
  string(REPLACE ";" "\\;" listing "${listing}")
  string(REPLACE "\n" ";" lines "${listing}")
  foreach(line ${lines})
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.*)$")
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endif()
list(LENGTH names count)
if(count LESS 10)
  message(FATAL_ERROR "only ${count} symbols read from ${LIBRARY}")
endif()

# A class is exported when a member, its vtable or its typeinfo is.
function(class_exported class result)
  set(found FALSE)
  foreach(name ${names})
    if(name MATCHES "^((thread|random_)::)?${class}::" OR name MATCHES "^(vtable|typeinfo) for ((thread|random_)::)?${class}$")
      set(found TRUE)
      break()
    endif()
  endforeach()
  set(${result} ${found} PARENT_SCOPE)
endfunction()

set(problems "")
set(checked "")
list(LENGTH game_classes n)
math(EXPR last "${n} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET game_classes ${i} class)
  list(GET game_classes ${j} header)
  if(EXISTS ${ROOT}/${header})
    class_exported(${class} found)
    if(NOT found)
      list(APPEND problems "missing: class ${class}")
    endif()
    list(APPEND checked ${class})
  endif()
endforeach()

# Classes of sound/ that the game does not see.
file(GLOB_RECURSE headers ${ROOT}/sound/*.h)
foreach(h ${headers})
  file(STRINGS ${h} decls REGEX "^[ \t]*(class|struct)[ \t]+[A-Za-z_]")
  foreach(d ${decls})
    # Classes marked ZULSOUND_API are exported on purpose (bases of the
    # game's classes); the others must stay inside.
    if(d MATCHES "^[ \t]*(class|struct)[ \t]+([A-Za-z_][A-Za-z0-9_]*)[ \t]*(final[ \t]*)?[:{]")
      set(class ${CMAKE_MATCH_2})
      list(FIND checked ${class} known)
      if(known EQUAL -1)
        class_exported(${class} found)
        if(found)
          list(APPEND problems "leaking: class ${class} (${h})")
        endif()
      endif()
    endif()
  endforeach()
endforeach()

# The singleton pointers.
set(externs "")
foreach(pointers Globals.h Singletons.h)
  file(STRINGS ${ROOT}/sound/manager/${pointers} found REGEX "^extern ")
  list(APPEND externs ${found})
endforeach()
foreach(e ${externs})
  if(e MATCHES "^extern (ZULSOUND_API )?[A-Za-z_:]+\\* ([A-Za-z_]+);")
    set(pointer ${CMAKE_MATCH_2})
    set(exported "${CMAKE_MATCH_1}")
    list(FIND names ${pointer} at)
    if(exported AND at EQUAL -1)
      list(APPEND problems "missing: pointer ${pointer}")
    elseif(NOT exported AND NOT at EQUAL -1)
      list(APPEND problems "leaking: pointer ${pointer}")
    endif()
  endif()
endforeach()

if(problems)
  string(REPLACE ";" "\n  " text "${problems}")
  message(FATAL_ERROR "exported interface of ${LIBRARY}:\n  ${text}")
endif()
list(LENGTH checked classes)
message(STATUS "exported interface: ${classes} classes of the game present, ${count} symbols checked")
