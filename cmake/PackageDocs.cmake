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

function(compress file)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${file}: ${status}")
  endif()
endfunction()

file(GLOB pages "${root}/${CPACK_DIAGRAW_MANDIR}/man*/*.[1-9]")
foreach(page IN LISTS pages)
  compress("${page}")
endforeach()

# LICENSE holds a title, the copyright line and the MIT licence's text, which
# Debian names Expat. In the copyright file the text is indented by one space
# and each empty line is a lone full stop.
file(READ "${docdir}/LICENSE" licence)
if(NOT licence MATCHES "Copyright \\(c\\) ([^\n]+)\n+(Permission is hereby granted.*)$")
  message(FATAL_ERROR "${docdir}/LICENSE: no copyright line followed by the MIT licence")
endif()
set(holder "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" text)
string(REPLACE "\n\n" "\n.\n" text "${text}")
string(REPLACE "\n" "\n " text "${text}")
file(WRITE "${docdir}/copyright"
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: ${CPACK_PACKAGE_NAME}\n"
  "Upstream-Contact: ${CPACK_PACKAGE_CONTACT}\n"
  "\n"
  "Files: *\n"
  "Copyright: ${holder}\n"
  "License: Expat\n"
  " ${text}\n")
file(REMOVE "${docdir}/LICENSE")

# The changelog has one entry, this version's; the history of the code is
# that of its git repository. The date honours SOURCE_DATE_EPOCH.
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${docdir}/changelog"
  "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n"
  "\n"
  "  * Version ${CPACK_PACKAGE_VERSION}, packed by CPack from the project's sources.\n"
  "\n"
  " -- ${CPACK_PACKAGE_CONTACT}  ${date}\n")
compress("${docdir}/changelog")
