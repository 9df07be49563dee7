# The Windows packages, made by `cmake --build build-windows --target package`:
# an installer (NSIS, per user, packaging/windows/NSIS.template.in) and a zip
# of the same files for the portable copy.
#
#   bin/zveklc.exe               the window (where this build has it)
#   bin/zveklc-cli.exe           the command-line program
#   bin/zveklc.ini               the zip only: settings beside the program
#   share/zveklc/help/index.html the window opens ../share/zveklc/help beside its folder
#   share/doc/zveklc/            the licence of the code compiled into the programs
#
# The programs are linked statically (cmake/mingw-w64.cmake): no DLL to ship.
if(TARGET zveklc)
  install(TARGETS zveklc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(CPACK_ZVEKLC_WINDOW 1)
else()
  set(CPACK_ZVEKLC_WINDOW 0)
endif()
# lz4 is built into the programs here (on Linux it is the system's library).
install(FILES ${PROJECT_SOURCE_DIR}/third_party/lz4/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME lz4-LICENSE.txt)

# The window keeps its settings beside itself when zveklc.ini is there and
# writable (platform/windows/SettingsLocation.cpp): an empty one makes the
# unpacked zip a portable copy. The installer leaves it out, so that an
# installed program keeps them under %APPDATA%.
set(ZVEKLC_PORTABLE_DIR ${CMAKE_BINARY_DIR}/portable)
file(WRITE ${ZVEKLC_PORTABLE_DIR}/${CMAKE_INSTALL_BINDIR}/zveklc.ini "")
configure_file(${CMAKE_CURRENT_LIST_DIR}/PerGenerator.cmake.in ${CMAKE_BINARY_DIR}/CPackPerGenerator.cmake @ONLY)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME zveklc)
set(CPACK_PACKAGE_VENDOR "HALDE SOFT")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ZVEK Lyrics Converter")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "ZVEK Lyrics Converter")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY zveklc)
set(CPACK_NSIS_PACKAGE_NAME "ZVEK Lyrics Converter")
set(CPACK_PACKAGE_FILE_NAME zveklc-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackPerGenerator.cmake)
# Our own installer script in place of CPack's, which asks for an administrator.
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
include(CPack)
