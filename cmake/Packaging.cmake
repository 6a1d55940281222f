# Installing like a Linux program: the programs, a manual page for each program, made at
# build time by help2man from the program's --help and the extra sections in
# resources/man/; the AppStream metadata; the README as documentation; and
# the Debian package, `cpack -G DEB` in a release build (scripts/package.sh).
# Included at the end of the root CMakeLists.txt, once every program exists.
include(GNUInstallDirs)

set(VELORA_METAINFO_ID example.kq318.velora)
set(VELORA_CONTACT "The Velora developers <velora@velora.example>")

# The programs this build has (velora and velora-cli need Qt).
set(VELORA_PACKAGED_PROGRAMS)
foreach(program velora velora-cli velora-emu velora-mkupg)
  if(TARGET ${program})
    list(APPEND VELORA_PACKAGED_PROGRAMS ${program})
  endif()
endforeach()
install(TARGETS ${VELORA_PACKAGED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages and the changelog are compressed, as Debian wants them.
find_program(VELORA_HELP2MAN help2man)
find_program(VELORA_GZIP gzip)

# The manual pages. The programs answer --help without a display, and
# DISPLAY is taken away to keep it that way.
if(VELORA_HELP2MAN AND VELORA_GZIP)
  set(man_dir ${CMAKE_BINARY_DIR}/man)
  set(man_pages)
  foreach(program IN LISTS VELORA_PACKAGED_PROGRAMS)
    set(extra ${CMAKE_SOURCE_DIR}/resources/man/${program}.h2m)
    set(page ${man_dir}/${program}.1)
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
      COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
              ${VELORA_HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION} --include=${extra}
              --output=${page} $<TARGET_FILE:${program}>
      COMMAND ${VELORA_GZIP} -9nf ${page}
      DEPENDS ${program} ${extra}
      COMMENT "Manual page ${program}(1)"
      VERBATIM)
    list(APPEND man_pages ${page}.gz)
  endforeach()
  add_custom_target(velora_man_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man or gzip not found: no manual pages (scripts/install-deps.sh installs them)")
endif()

# The documentation: the README (the user manual is installed with the
# resources, in share/velora/, where the desktop program looks for it), and
# the copyright and the changelog every Debian package carries; this package
# is made here, not from a Debian source package, so both are written here.
set(doc_dir ${CMAKE_BINARY_DIR}/doc)
string(TIMESTAMP year "%Y" UTC)
file(CONFIGURE OUTPUT ${doc_dir}/copyright CONTENT "\
Velora PC link: the PC program for the Kq318 Velora Tarvane DMX controller.

Copyright (C) ${year} The Velora developers
License: not stated in the sources; ask ${VELORA_CONTACT}.
")
string(TIMESTAMP changelog_date "%a, %d %b %Y 00:00:00 +0000" UTC)
file(CONFIGURE OUTPUT ${doc_dir}/changelog CONTENT "\
velora (${PROJECT_VERSION}) unstable; urgency=medium

  * Version ${PROJECT_VERSION}; the README says what the programs do.

 -- ${VELORA_CONTACT}  ${changelog_date}
")
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${doc_dir}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(VELORA_GZIP)
  add_custom_command(
    OUTPUT ${doc_dir}/changelog.gz
    COMMAND ${VELORA_GZIP} -9nkf ${doc_dir}/changelog
    DEPENDS ${doc_dir}/changelog
    COMMENT "Compressing the changelog"
    VERBATIM)
  add_custom_target(velora_changelog ALL DEPENDS ${doc_dir}/changelog.gz)
  install(FILES ${doc_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# What the software centres show of the desktop program.
if(TARGET velora)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/${VELORA_METAINFO_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The Debian package: velora_<version>_<arch>.deb, its dependencies found by
# dpkg-shlibdeps from the libraries the programs link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velora)
set(CPACK_PACKAGE_VENDOR "The Velora developers")
set(CPACK_PACKAGE_CONTACT "${VELORA_CONTACT}")
set(CPACK_PACKAGE_HOMEPAGE_URL https://velora.example/)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PC link of the Kq318 Velora Tarvane DMX controller")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads, writes and verifies the memory of the Kq318 Velora Tarvane stand-alone\n\
DMX lighting controller over a serial port (scenes, programme settings, cues,\n\
MIDI key assignments), saves and loads it as data files, edits it and installs\n\
new controller firmware.\n\
.\n\
The package holds the desktop program velora, velora-cli for scripted backups,\n\
the controller emulator velora-emu and velora-mkupg, which makes firmware\n\
upgrade files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)

# The package test: packs this build, unpacks it and checks it. A build with
# sanitizers or without optimisation is no package to ship: the test skips.
if(VELORA_TESTS)
  set(releasable yes)
  if(VELORA_SANITIZE OR VELORA_FUZZ OR NOT CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    set(releasable no)
  endif()
  add_test(NAME package
           COMMAND ${CMAKE_SOURCE_DIR}/tests/package/check_package.sh ${releasable} ${CMAKE_CPACK_COMMAND}
                   ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR} ${PROJECT_VERSION} ${VELORA_METAINFO_ID}
                   ${VELORA_PACKAGED_PROGRAMS})
  set_tests_properties(package PROPERTIES LABELS package TIMEOUT 600 SKIP_RETURN_CODE 77)
endif()
