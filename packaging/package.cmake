# What the Debian package installs, and how CPack builds it (`make package`).
include(GNUInstallDirs)

# The programs users start: installed to /usr/bin, each with a manual page
# packaging/man/<program>.1. `make run` and `make package` build these and nothing else.
set(VANTOREL_PROGRAMS vantorel vantorel-convert pst-verify)
# Programs that only Vantorel's own programs start: installed to /usr/libexec/vantorel/,
# without a manual page. A new one is one more name here.
set(VANTOREL_HELPERS vantorel-reader)

set(VANTOREL_RELEASE_DATE "2026-12-08")  # of the version in project(); for the manual pages
set(VANTOREL_CHANGELOG_DATE "Tue, 08 Dec 2026 08:00:00 +0000")

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS ${VANTOREL_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(VANTOREL_HELPERS)
  install(TARGETS ${VANTOREL_HELPERS} RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/vantorel)
endif()

# Manual pages and the changelog are compressed as Debian wants them: gzip -9, no timestamp.
set(_packaging ${CMAKE_CURRENT_LIST_DIR})
set(_generated ${CMAKE_BINARY_DIR}/packaging)
set(VANTOREL_MAN_DATE ${VANTOREL_RELEASE_DATE})
set(_compressed)
foreach(program IN LISTS VANTOREL_PROGRAMS)
  configure_file(${_packaging}/man/${program}.1 ${_generated}/${program}.1 @ONLY)
  list(APPEND _compressed ${program}.1)
endforeach()
configure_file(${_packaging}/changelog ${_generated}/changelog @ONLY)
list(APPEND _compressed changelog)
set(_gzipped)
foreach(file IN LISTS _compressed)
  add_custom_command(OUTPUT ${_generated}/${file}.gz
                     COMMAND gzip -9nf -k ${file}
                     DEPENDS ${_generated}/${file}
                     WORKING_DIRECTORY ${_generated}
                     VERBATIM)
  list(APPEND _gzipped ${_generated}/${file}.gz)
endforeach()
add_custom_target(package_files ALL DEPENDS ${_gzipped})

# Everything the package holds, for `make run` and `make package`.
add_custom_target(programs)
add_dependencies(programs ${VANTOREL_PROGRAMS} ${VANTOREL_HELPERS} package_files)

foreach(program IN LISTS VANTOREL_PROGRAMS)
  install(FILES ${_generated}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${_packaging}/vantorel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/app/icons/vantorel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME vantorel.png)
endforeach()
install(FILES ${_packaging}/copyright ${_generated}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantorel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantorel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Vantorel developers")
set(CPACK_PACKAGE_CONTACT "Vantorel developers <dev@vantorel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "move mail from an MDaemon message store into an Outlook PST file")
set(CPACK_PACKAGE_DESCRIPTION
    "Vantorel converts the message files of an MDaemon mail server's store (one\n"
    "Internet message per .msg file) into a new Outlook personal folders file\n"
    "(PST), rebuilding inside it the folder tree the messages came from. It\n"
    "writes the PST file itself, without Outlook.\n"
    "\n"
    "The package holds the window vantorel, the command-line converter\n"
    "vantorel-convert for whole server stores and scripts, and pst-verify, a\n"
    "strict checker of the structure of PST files.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vantorel.org/")
# Dependencies come from the libraries the programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The design font of the window; readers of the PST files written.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pff-tools, pst-utils")
include(CPack)
