# Installing the packer: `sepack` in bin/, its manual page in share/man/man1/, the stubs it
# copies in share/sekit/stubs/<target>/, where an installed sepack finds them from its own
# location; and a Debian package of that.
if(WIN32)
  # sepack.exe in bin\, and the stubs where it looks for them (..\share\sekit\stubs\<target>):
  # this build's own, and the other Windows build's when it is there.
  set(_own win32)
  set(_other win64)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_own win64)
    set(_other win32)
  endif()
  install(TARGETS sepack RUNTIME DESTINATION bin)
  install(TARGETS extractor RUNTIME DESTINATION share/sekit/stubs/${_own})
  install(FILES "${CMAKE_BINARY_DIR}/../build-${_other}/bin/extractor.exe"
          DESTINATION share/sekit/stubs/${_other} OPTIONAL)
  return()
endif()

include(GNUInstallDirs)
set(SE_STUB_DIR "${CMAKE_INSTALL_DATADIR}/sekit/stubs")
# The Windows stubs come from their own builds, by default the folders beside this one.
set(SE_STUB_WIN32 "${CMAKE_BINARY_DIR}/../build-win32/bin/extractor.exe"
    CACHE FILEPATH "The Windows 32-bit stub to install (left out when it does not exist)")
set(SE_STUB_WIN64 "${CMAKE_BINARY_DIR}/../build-win64/bin/extractor.exe"
    CACHE FILEPATH "The Windows x86_64 stub to install (left out when it does not exist)")

install(TARGETS sepack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS extractor RUNTIME DESTINATION ${SE_STUB_DIR}/linux)
install(FILES ${PROJECT_SOURCE_DIR}/docs/sepack.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
foreach(target win32 win64)
  string(TOUPPER ${target} upper)
  install(FILES "${SE_STUB_${upper}}" DESTINATION ${SE_STUB_DIR}/${target} OPTIONAL
          PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                      WORLD_READ WORLD_EXECUTE)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sekit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sepack: makes self-extracting installer packages")
set(CPACK_PACKAGE_CONTACT "sekit maintainers <sekit@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Its libraries' packages (libgcab, glib) found from the binaries themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
include(CPack)
