# Installed files. The binary sits in lib/tembrio, where it finds list.m3u as
# it does in the build tree; that list is a link to the administrator's copy
# in /etc, which names the demo clips in share/tembrio/demo at first. Nothing
# else goes into lib/tembrio: "Apri" opens there.
set(_libdir lib/tembrio)
set(_etc ${CMAKE_INSTALL_FULL_SYSCONFDIR}/tembrio)
set(_links ${PROJECT_BINARY_DIR}/generated/links)
file(RELATIVE_PATH _to_binary ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${_libdir}/tembrio)
file(MAKE_DIRECTORY ${_links})
file(CREATE_LINK ${_to_binary} ${_links}/tembrio SYMBOLIC)
file(CREATE_LINK ${_etc}/list.m3u ${_links}/list.m3u SYMBOLIC)

# The list's paths hold only under the prefix configured; DESTDIR stages.
install(CODE "
  if(NOT CMAKE_INSTALL_PREFIX STREQUAL \"${CMAKE_INSTALL_PREFIX}\")
    message(FATAL_ERROR \"Configured for ${CMAKE_INSTALL_PREFIX}: set -DCMAKE_INSTALL_PREFIX when configuring, or use DESTDIR\")
  endif()")
install(TARGETS tembrio RUNTIME DESTINATION ${_libdir})
# Stripped as Debian strips, the compiler's .comment too.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${_libdir}/tembrio\" COMMAND_ERROR_IS_FATAL ANY)
endif()")
install(FILES ${_links}/list.m3u DESTINATION ${_libdir})
install(FILES ${_links}/tembrio DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/generated/list.m3u DESTINATION ${_etc})
install(FILES ${CMAKE_BINARY_DIR}/demo/1-videocd.dat ${CMAKE_BINARY_DIR}/demo/2-video.avi
  ${CMAKE_BINARY_DIR}/demo/3-mpeg.mpg DESTINATION ${CMAKE_INSTALL_DATADIR}/tembrio/demo)

set(_desktop ${PROJECT_BINARY_DIR}/generated/${TEMBRIO_APP_ID}.desktop)
set(_metainfo ${PROJECT_BINARY_DIR}/generated/${TEMBRIO_APP_ID}.metainfo.xml)
set(_copyright ${PROJECT_BINARY_DIR}/generated/copyright)
configure_file(resources/tembrio.desktop.in ${_desktop} @ONLY)
configure_file(resources/tembrio.metainfo.xml.in ${_metainfo} @ONLY)
configure_file(resources/copyright.in ${_copyright} @ONLY)
install(FILES ${_desktop} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_copyright} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tembrio)
# AppStream 1.x (Debian 13) warns that Tembrio has no homepage, which lintian
# there reports as a failed validation: a package built there says why it
# overrides that. Debian 12's lintian has no such tag and would call it alien.
execute_process(COMMAND appstreamcli --version OUTPUT_VARIABLE _appstream ERROR_QUIET)
if(_appstream MATCHES "version: [1-9]")
  install(FILES resources/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME tembrio)
endif()

# The manual page and the changelog, gzipped as Debian wants them: at the
# highest level, with no name or time inside, so each build is the same.
set(TEMBRIO_LIBDIR ${CMAKE_INSTALL_PREFIX}/${_libdir})
set(TEMBRIO_ETCDIR ${_etc})
set(TEMBRIO_DEMODIR ${CMAKE_INSTALL_FULL_DATADIR}/tembrio/demo)
# The changelog dates its entry as mail does.
execute_process(COMMAND date -u -R -d ${TEMBRIO_RELEASE_DATE} OUTPUT_VARIABLE TEMBRIO_CHANGELOG_DATE
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(_docs)
foreach(doc tembrio.1 changelog)
  configure_file(resources/${doc}.in ${PROJECT_BINARY_DIR}/generated/${doc} @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/generated/${doc}.gz
    COMMAND gzip -9nkf ${doc}
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/generated DEPENDS ${PROJECT_BINARY_DIR}/generated/${doc} VERBATIM)
  list(APPEND _docs ${PROJECT_BINARY_DIR}/generated/${doc}.gz)
endforeach()
add_custom_target(docs ALL DEPENDS ${_docs})
install(FILES ${PROJECT_BINARY_DIR}/generated/tembrio.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/generated/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tembrio)
foreach(size 16 24 32 48 64 128 256)
  install(FILES resources/icons/tembrio-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME ${TEMBRIO_APP_ID}.png)
endforeach()

# The Debian package: `cmake --build build --target package`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tembrio)
set(CPACK_PACKAGE_VERSION ${TEMBRIO_VERSION_TEXT})
set(CPACK_PACKAGE_VENDOR ${TEMBRIO_AUTHOR})
set(CPACK_PACKAGE_CONTACT ${TEMBRIO_CONTACT})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TEMBRIO_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${TEMBRIO_DESCRIPTION})
set(CPACK_PACKAGE_DESCRIPTION
  "Un piccolo lettore multimediale in una finestra fissa, con il menu sul clic\n"
  "destro. Riproduce tracce Video CD (.dat), video AVI e MPEG, audio MP3 e WAV\n"
  "e playlist M3U.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
# Installed with DESTDIR, under the configured prefix that the check above wants.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# Depends is worked out from the libraries the binary links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# "Arial" in the about box resolves to Liberation Sans. Debian's GNOME session
# is Wayland: with qt6-wayland the player runs there natively (test_wayland),
# without it through XWayland, which works too, so it is not a dependency.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, qt6-wayland")
# dpkg keeps the administrator's list across upgrades, and purge removes it.
file(WRITE ${PROJECT_BINARY_DIR}/generated/conffiles "${_etc}/list.m3u\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/generated/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
