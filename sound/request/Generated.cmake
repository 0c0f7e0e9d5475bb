# The "Effects.snd" scanner and parser, generated at build time with flex and
# bison into the build tree.
set(ZS_REQUEST_GEN ${CMAKE_CURRENT_BINARY_DIR}/request)
file(MAKE_DIRECTORY ${ZS_REQUEST_GEN})
BISON_TARGET(EffectsParser ${CMAKE_CURRENT_SOURCE_DIR}/request/Parser.y ${ZS_REQUEST_GEN}/Parser.cpp
  DEFINES_FILE ${ZS_REQUEST_GEN}/Parser.hpp COMPILE_FLAGS "-Wall")
FLEX_TARGET(EffectsScaner ${CMAKE_CURRENT_SOURCE_DIR}/request/Scaner.l ${ZS_REQUEST_GEN}/Scaner.cpp)
ADD_FLEX_BISON_DEPENDENCY(EffectsScaner EffectsParser)
target_sources(zulsound_core PRIVATE ${BISON_EffectsParser_OUTPUTS} ${FLEX_EffectsScaner_OUTPUTS})
target_include_directories(zulsound_core PRIVATE ${ZS_REQUEST_GEN})
# Generated code is not ours to tidy: its own warnings stay off.
set_source_files_properties(${BISON_EffectsParser_OUTPUTS} ${FLEX_EffectsScaner_OUTPUTS} PROPERTIES
  COMPILE_OPTIONS "-Wno-unused-function;-Wno-sign-compare;-Wno-unused-parameter;-Wno-unused-but-set-variable")
