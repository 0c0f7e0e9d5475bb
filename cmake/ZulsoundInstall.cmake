include(CMakePackageConfigHelpers)

install(TARGETS zulsound zulsound_interfaces EXPORT zulsoundTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Public headers keep their repository paths below include/zulsound.
install(DIRECTORY interfaces sound DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zulsound
  FILES_MATCHING PATTERN "*.h")

install(EXPORT zulsoundTargets NAMESPACE zulsound:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/zulsound)
configure_package_config_file(cmake/zulsoundConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/zulsoundConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/zulsound)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/zulsoundConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zulsoundConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/zulsoundConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/zulsound)

configure_file(cmake/zulsound.pc.in ${CMAKE_CURRENT_BINARY_DIR}/zulsound.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zulsound.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
