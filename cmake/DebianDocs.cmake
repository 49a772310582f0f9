# What Debian asks of every binary package's documentation folder, shared
# by the .deb of CPack (cmake/PackageDocs.cmake) and python3-diagraw
# (cmake/PythonDeb.cmake).

function(debian_compress file)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${file}: ${status}")
  endif()
endfunction()

# docdir/copyright from the project's LICENSE, in Debian's machine-readable
# format. LICENSE holds a title, the copyright line and the MIT licence's
# text, which Debian names Expat; in the copyright file the text is indented
# by one space and each empty line is a lone full stop.
function(debian_copyright licence_file docdir name contact)
  file(READ "${licence_file}" licence)
  if(NOT licence MATCHES "Copyright \\(c\\) ([^\n]+)\n+(Permission is hereby granted.*)$")
    message(FATAL_ERROR "${licence_file}: no copyright line followed by the MIT licence")
  endif()
  set(holder "${CMAKE_MATCH_1}")
  string(STRIP "${CMAKE_MATCH_2}" text)
  string(REPLACE "\n\n" "\n.\n" text "${text}")
  string(REPLACE "\n" "\n " text "${text}")
  file(WRITE "${docdir}/copyright"
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: ${name}\n"
    "Upstream-Contact: ${contact}\n"
    "\n"
    "Files: *\n"
    "Copyright: ${holder}\n"
    "License: Expat\n"
    " ${text}\n")
endfunction()

# docdir/changelog.gz, which a native package must have: one entry, this
# version's (the history of the code is that of its git repository). The
# date honours SOURCE_DATE_EPOCH.
function(debian_changelog docdir package version contact)
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  file(WRITE "${docdir}/changelog"
    "${package} (${version}) unstable; urgency=medium\n"
    "\n"
    "  * Version ${version}, packed from the project's sources.\n"
    "\n"
    " -- ${contact}  ${date}\n")
  debian_compress("${docdir}/changelog")
endfunction()
