include(CMakePackageConfigHelpers)

install(TARGETS zulsound zulsound_interfaces EXPORT zulsoundTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The installed headers are the game's API and no more: the umbrella
# sound/zulsound.h and what it includes, gathered at every build into
# public-headers/zulsound/ with their includes prefixed "zulsound/"
# (cmake/PublicHeaders.cmake), and installed below include/zulsound/.
set(ZULSOUND_PUBLIC_HEADERS_DIR ${PROJECT_BINARY_DIR}/public-headers)
add_custom_target(zulsound_public_headers ALL
  COMMAND ${CMAKE_COMMAND} -DSOURCE_ROOT=${PROJECT_SOURCE_DIR} -DGENERATED_ROOT=${ZULSOUND_GENERATED_DIR}
    -DOUTPUT_DIR=${ZULSOUND_PUBLIC_HEADERS_DIR} -DROOTS=sound/zulsound.h
    -P ${PROJECT_SOURCE_DIR}/cmake/PublicHeaders.cmake
  COMMENT "Gathering the public headers"
  VERBATIM)
install(DIRECTORY ${ZULSOUND_PUBLIC_HEADERS_DIR}/zulsound DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT zulsoundTargets NAMESPACE zulsound:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/zulsound)
configure_package_config_file(cmake/zulsoundConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/zulsoundConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/zulsound)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/zulsoundConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zulsoundConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/zulsoundConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/zulsound)

include(${CMAKE_CURRENT_LIST_DIR}/ZulsoundPkgConfig.cmake)
zulsound_install_pkgconfig(${PROJECT_SOURCE_DIR}/cmake/zulsound.pc.in)

# The game's reference (Doxygen) over the installed headers:
# cmake --build --preset release --target reference. An undocumented public
# member fails the build; the warnings are in reference/warnings.txt.
find_program(ZULSOUND_DOXYGEN doxygen)
if(ZULSOUND_DOXYGEN)
  set(ZULSOUND_REFERENCE_DIR ${PROJECT_BINARY_DIR}/reference)
  # The reference covers the umbrella and the headers it names; what those
  # include only for their class layouts (the music worker's thread objects,
  # the landscape's records) is installed but not part of it.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/sound/zulsound.h)
  file(STRINGS ${PROJECT_SOURCE_DIR}/sound/zulsound.h named REGEX "^#include \"")
  set(ZULSOUND_REFERENCE_INPUT "${ZULSOUND_PUBLIC_HEADERS_DIR}/zulsound/zulsound.h")
  foreach(line ${named})
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
    string(APPEND ZULSOUND_REFERENCE_INPUT " ${ZULSOUND_PUBLIC_HEADERS_DIR}/zulsound/${header}")
  endforeach()
  configure_file(docs/Doxyfile.in ${PROJECT_BINARY_DIR}/Doxyfile @ONLY)
  add_custom_target(reference
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZULSOUND_REFERENCE_DIR}
    COMMAND ${ZULSOUND_DOXYGEN} ${PROJECT_BINARY_DIR}/Doxyfile
    COMMAND ${CMAKE_COMMAND} -DLOG=${ZULSOUND_REFERENCE_DIR}/warnings.txt -P ${PROJECT_SOURCE_DIR}/cmake/ShowLog.cmake
    DEPENDS zulsound_public_headers
    COMMENT "Building the reference (Doxygen)"
    VERBATIM)
endif()
