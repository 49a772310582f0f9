# Run by CPack on the staged files of each package, before it packs them
# (CPACK_PRE_BUILD_SCRIPTS). The .tar.gz and the .zip keep what the install
# rules staged. The .deb gets what Debian asks of a binary package:
#   - manual pages compressed with gzip -9n (no name or time in the header);
#   - usr/share/doc/diagraw/copyright, the licence in Debian's
#     machine-readable format, in place of LICENSE (lintian counts a second
#     copy as an extra licence file);
#   - usr/share/doc/diagraw/changelog.gz, which a native package must have.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(docdir "${root}/${CPACK_DIAGRAW_DOCDIR}")

include(${CMAKE_CURRENT_LIST_DIR}/DebianDocs.cmake)

file(GLOB pages "${root}/${CPACK_DIAGRAW_MANDIR}/man*/*.[1-9]")
foreach(page IN LISTS pages)
  debian_compress("${page}")
endforeach()
debian_copyright("${docdir}/LICENSE" "${docdir}" "${CPACK_PACKAGE_NAME}" "${CPACK_PACKAGE_CONTACT}")
file(REMOVE "${docdir}/LICENSE")
debian_changelog("${docdir}" "${CPACK_PACKAGE_NAME}" "${CPACK_PACKAGE_VERSION}" "${CPACK_PACKAGE_CONTACT}")
