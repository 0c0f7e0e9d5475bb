# zulsound_install_pkgconfig(TEMPLATE): configures the pkg-config file from
# TEMPLATE and installs it below ${CMAKE_INSTALL_LIBDIR}/pkgconfig. The file
# finds the prefix from where it lies, so the installed tree may be moved: as
# many ".." as the library folder has parts, plus one for pkgconfig/
# (lib/pkgconfig: ../..; lib/x86_64-linux-gnu/pkgconfig: ../../..). Absolute
# library or include folders are written as they are, with the configured
# prefix. Needs GNUInstallDirs, PROJECT_VERSION and PROJECT_DESCRIPTION.
function(zulsound_install_pkgconfig template)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
    set(ZULSOUND_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
    set(ZULSOUND_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
    set(ZULSOUND_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
  else()
    file(RELATIVE_PATH up "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
    string(REGEX REPLACE "/$" "" up "${up}")
    set(ZULSOUND_PC_PREFIX "\${pcfiledir}/${up}")
    set(ZULSOUND_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
    set(ZULSOUND_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
  endif()
  configure_file(${template} ${CMAKE_CURRENT_BINARY_DIR}/zulsound.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zulsound.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
