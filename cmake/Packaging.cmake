# Installation and the Debian package.
#
# `cmake --install BUILD --prefix P` installs the programs, their sounds, the desktop entry with its
# icons and metadata, and the manual pages; the program finds share/halvyn next to its bin/, so the
# tree can be moved. halvyn-sim is a developer's tool: only `--component sim` installs it.
# `cpack` (scripts/package) makes halvyn_VERSION_ARCH.deb of the same rules under /usr.
include(GNUInstallDirs)

# One version for the programs and the package.
file(STRINGS ${CMAKE_SOURCE_DIR}/src/app/version.h HALVYN_VERSION_LINE REGEX "kProgramVersion = \"[0-9.]+\"")
string(REGEX REPLACE ".*\"([0-9.]+)\".*" "\\1" HALVYN_VERSION "${HALVYN_VERSION_LINE}")
if(NOT HALVYN_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "No version in src/app/version.h")
endif()

install(TARGETS halvyn halvyn-helper RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The modules the program opens on first use, where it looks for them: lib/halvyn/modules beside its bin/
# (a private folder, the same under every prefix; not the architecture's library folder, and one
# level below lib/halvyn, so that installing the package runs no ldconfig for them).
install(TARGETS ${HALVYN_MODULES} LIBRARY DESTINATION lib/halvyn/modules)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/sounds DESTINATION ${CMAKE_INSTALL_DATADIR}/halvyn)
install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/halvyn.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME app.halvyn.halvyn.svg)
install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/halvyn-symbolic.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/symbolic/apps RENAME app.halvyn.halvyn-symbolic.svg)
install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/app.halvyn.halvyn.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/app.halvyn.halvyn.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/resources/man/halvyn.1 ${CMAKE_SOURCE_DIR}/resources/man/halvyn-helper.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/resources/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/halvyn)
install(TARGETS halvyn-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sim EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_SOURCE_DIR}/resources/man/halvyn-sim.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT sim EXCLUDE_FROM_ALL)

# Debian's manual pages and change log are compressed, reproducibly (no name, no time stamp).
install(CODE [[
  set(_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  foreach(_page IN ITEMS share/man/man1/halvyn.1 share/man/man1/halvyn-helper.1)
    if(EXISTS "${_root}/${_page}" AND NOT IS_SYMLINK "${_root}/${_page}")
      execute_process(COMMAND gzip -9nf "${_root}/${_page}" RESULT_VARIABLE _failed)
      if(_failed)
        message(FATAL_ERROR "gzip ${_page} failed")
      endif()
      list(REMOVE_ITEM CMAKE_INSTALL_MANIFEST_FILES "${_root}/${_page}")
      list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_root}/${_page}.gz")
    endif()
  endforeach()
]])
install(CODE "set(_changelog \"${CMAKE_SOURCE_DIR}/resources/debian/changelog\")")
install(CODE [[
  set(_gz "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/doc/halvyn/changelog.gz")
  message(STATUS "Installing: ${_gz}")
  execute_process(COMMAND gzip -9nc "${_changelog}" OUTPUT_FILE "${_gz}" RESULT_VARIABLE _failed)
  if(_failed)
    message(FATAL_ERROR "gzip ${_changelog} failed")
  endif()
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_gz}")
]])

# Last, the manifest of this installation: the program's name, then every file installed, relative
# to the prefix. An update replaces the prefix only while it holds nothing else, so a prefix shared
# with other files (~/.local) is never replaced. /usr is the system's and never replaced: it gets none.
install(CODE [[
  if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    set(_manifest "${_root}/share/halvyn/install-manifest")
    set(_lines "Halvyn\nshare/halvyn/install-manifest\n")
    foreach(_file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
      file(RELATIVE_PATH _relative "${_root}" "${_file}")
      string(APPEND _lines "${_relative}\n")
    endforeach()
    message(STATUS "Installing: ${_manifest}")
    file(WRITE "${_manifest}" "${_lines}")
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_manifest}")
  endif()
]])

# The Debian package: CPack's DEB generator over the rules above, its library dependencies found
# by dpkg-shlibdeps in the programs and modules themselves.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME halvyn)
set(CPACK_PACKAGE_VERSION ${HALVYN_VERSION})
set(CPACK_PACKAGE_CONTACT "Halvyn developers <maintainers@halvyn.app>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live status area at the top of the screen")
# The summary is the synopsis line; CPack puts it before this text.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Halvyn turns the top centre of the screen into a small animated status area.
It shows its own volume and brightness displays, what a media player plays
(through MPRIS), the next calendar event, charging and low-battery notices,
connected audio accessories with their battery, and the screen lock.
Hovering or clicking opens it into a larger panel with more.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What no library link names: Wayland's platform plugin for Wayland sessions, xdg-open for links,
# libudev (opened where a backlight is followed).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, xdg-utils, libudev1")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)

# The package test builds, packs and checks a release build of its own in the test build folder;
# it runs alone, since it builds on two processors.
if(HALVYN_TESTS)
  add_test(NAME package COMMAND ${CMAKE_SOURCE_DIR}/tests/package/package_test.sh ${CMAKE_BINARY_DIR}/package-build)
  set_tests_properties(package PROPERTIES TIMEOUT 3600 PROCESSORS 2)
endif()
