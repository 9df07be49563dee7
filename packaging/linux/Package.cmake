# The Linux installation, and its Debian package made by `cpack -G DEB` in the
# build folder (zveklc_<version>_<arch>.deb). Paths are relative to the prefix:
#
#   bin/zveklc, bin/zveklc-cli                      the programs
#   share/applications/zveklc.desktop               the desktop entry
#   share/mime/packages/zveklc-taglyr.xml           the tag files' type
#   share/icons/hicolor/scalable/apps/zveklc.svg    the icon
#   share/zveklc/help/index.html                    the help page (installed above)
#   share/man/man1/zveklc.1.gz, zveklc-cli.1.gz     the manual pages
#   share/bash-completion/completions/zveklc-cli    zveklc-cli's completion
#   share/metainfo/<app id>.metainfo.xml            the software centres' entry
#   share/doc/zveklc/copyright, changelog.gz        the package's own (Debian's place)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/zveklc.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/zveklc-taglyr.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/zveklc.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/zveklc-cli.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME zveklc-cli)

set(CPACK_PACKAGE_NAME zveklc)
set(CPACK_PACKAGE_VENDOR "HALDE SOFT")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "timed lyrics for the ZVEK player, shared as tag files")
set(ZVEKLC_HOMEPAGE "https://${ZVEKLC_HOME_HOST}/")
string(REGEX REPLACE "^www\\." "" domain "${ZVEKLC_HOME_HOST}")
set(ZVEKLC_DEB_MAINTAINER "HALDE SOFT <zveklc@${domain}>" CACHE STRING "The Debian package's Maintainer field")
# AppStream wants a reverse-DNS id: the home page's domain turned round
# (www.zvek.example gives example.zvek.zveklc). The desktop entry keeps its
# name, zveklc.desktop, which the window's association of tag files names.
string(REPLACE "." ";" labels "${domain}")
list(REVERSE labels)
list(JOIN labels "." ZVEKLC_APP_ID)
set(ZVEKLC_APP_ID "${ZVEKLC_APP_ID}.zveklc")

# The manual pages, gzipped without a name or time stamp inside, so that two
# builds of the same page give the same bytes.
find_program(ZVEKLC_GZIP gzip REQUIRED)
set(man_pages)
foreach(page zveklc zveklc-cli)
  set(out ${CMAKE_BINARY_DIR}/man/${page}.1)
  add_custom_command(OUTPUT ${out}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/${page}.1 ${out}
    COMMAND ${ZVEKLC_GZIP} -9nf ${out}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${page}.1
    COMMENT "Compressing the manual page ${page}(1)")
  list(APPEND man_pages ${out}.gz)
endforeach()
add_custom_target(zveklc_man ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

configure_file(${CMAKE_CURRENT_LIST_DIR}/zveklc.metainfo.xml.in
  ${CMAKE_BINARY_DIR}/metainfo/${ZVEKLC_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/metainfo/${ZVEKLC_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The change log Debian asks of every package: this version, on its release date.
execute_process(COMMAND date -u -R -d "${ZVEKLC_RELEASE_DATE} 12:00"
  OUTPUT_VARIABLE ZVEKLC_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/changelog.gz
  COMMAND ${ZVEKLC_GZIP} -9nkf ${CMAKE_BINARY_DIR}/doc/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog)
add_custom_target(zveklc_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZVEKLC_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZVEKLC_HOMEPAGE}")
# CPack puts the summary above it.
set(CPACK_PACKAGE_DESCRIPTION "The ZVEK music player shows song lyrics in time with the music, from its own
lyrics files. This package makes those files from plain lyrics text,
WinAmp-style timed lyrics and LRC, turns them back into text or LRC, and makes
and reads tag files: timed lyrics whose words point into a reference page
anyone can open, so that the timing can be shared without the words.
.
It holds the window (zveklc, Qt 6) and the command-line program (zveklc-cli).
Their texts are in Japanese.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Downloads load libcurl when the first one starts, which dpkg-shlibdeps
# cannot see. Qt's own dialogs speak Japanese with its translations; the
# texts need a Japanese font; the browser and the association use xdg-utils.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4 | libcurl4t64")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-ipafont-gothic | fonts-japanese-gothic, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
