# Packs the Python package as the Debian package python3-diagraw, beside
# CPack's diagraw_*.deb: run by the target python3-deb (python/CMakeLists.txt)
#   cmake -DSOURCE_DIR=... -DPACKAGE_DIR=<build>/python/diagraw -DOUT_DIR=<build>
#         -DVERSION=0.3 -DMAINTAINER="..." -DPYTHON=/usr/bin/python3 -P cmake/PythonDeb.cmake
# Debian's layout: the package in /usr/lib/python3/dist-packages/diagraw,
# the compiled part stripped, the documentation folder as Debian asks
# (cmake/DebianDocs.cmake), and the dependencies of Debian's python3 policy:
# the interpreter whose ABI the module was built for, python3-numpy, and the
# shared libraries dpkg-shlibdeps finds.
include(${CMAKE_CURRENT_LIST_DIR}/DebianDocs.cmake)
set(package python3-diagraw)
set(stage "${OUT_DIR}/${package}-stage")
file(REMOVE_RECURSE "${stage}")
set(target "${stage}/usr/lib/python3/dist-packages/diagraw")
file(MAKE_DIRECTORY "${target}" "${stage}/DEBIAN" "${stage}/usr/share/doc/${package}")

file(GLOB core "${PACKAGE_DIR}/_core.cpython-*.so")
if(NOT core)
  message(FATAL_ERROR "${PACKAGE_DIR}: no compiled diagraw._core; build the target diagraw_python first")
endif()
file(COPY ${core} "${PACKAGE_DIR}/__init__.py" "${PACKAGE_DIR}/analysis.py" "${PACKAGE_DIR}/_core.pyi" "${PACKAGE_DIR}/py.typed"
  DESTINATION "${target}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(GLOB core "${target}/_core.cpython-*.so")
execute_process(COMMAND strip --strip-unneeded --remove-section=.comment --remove-section=.note "${core}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "strip ${core}: ${status}")
endif()
debian_copyright("${SOURCE_DIR}/LICENSE" "${stage}/usr/share/doc/${package}" diagraw "${MAINTAINER}")
debian_changelog("${stage}/usr/share/doc/${package}" ${package} ${VERSION} "${MAINTAINER}")

# The interpreter's version, for the ABI the module is bound to.
execute_process(COMMAND "${PYTHON}" -c "import sys; print('%d.%d' % sys.version_info[:2])"
  OUTPUT_VARIABLE python_version OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PYTHON}: cannot tell its version")
endif()
string(REPLACE "." ";" parts "${python_version}")
list(GET parts 0 major)
list(GET parts 1 minor)
math(EXPR next_minor "${minor} + 1")
# dpkg-shlibdeps reads a debian/control beside the file it is given.
set(scratch "${OUT_DIR}/${package}-shlibs")
file(REMOVE_RECURSE "${scratch}")
file(MAKE_DIRECTORY "${scratch}/debian")
file(WRITE "${scratch}/debian/control" "Source: diagraw\n\nPackage: ${package}\nArchitecture: any\n")
execute_process(COMMAND dpkg-shlibdeps -O "${core}" WORKING_DIRECTORY "${scratch}"
  OUTPUT_VARIABLE shlibs OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT shlibs MATCHES "^shlibs:Depends=(.*)$")
  message(FATAL_ERROR "dpkg-shlibdeps ${core}: ${errors}")
endif()
set(libraries "${CMAKE_MATCH_1}")
file(REMOVE_RECURSE "${scratch}")
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE architecture OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND du -sk --apparent-size "${stage}/usr" OUTPUT_VARIABLE size)
string(REGEX MATCH "^[0-9]+" size "${size}")

file(WRITE "${stage}/DEBIAN/control"
  "Package: ${package}\n"
  "Source: diagraw\n"
  "Version: ${VERSION}\n"
  "Architecture: ${architecture}\n"
  "Maintainer: ${MAINTAINER}\n"
  "Installed-Size: ${size}\n"
  "Depends: python3 (<< ${major}.${next_minor}), python3 (>= ${python_version}~), python3-numpy, ${libraries}\n"
  "Section: python\n"
  "Priority: optional\n"
  "Description: Fujifilm X10 raw files as numpy arrays (Python 3)\n"
  " The Python package diagraw reads the two raw fields of a Fujifilm X10 raw\n"
  " file and gives them, the diagonal composite mosaic, the colour-coded\n"
  " previews and the demosaiced image as numpy arrays, with the same bytes as\n"
  " the diagraw programs write, and the probe's statistics and explanations as\n"
  " dicts.\n")
# DEBIAN/md5sums, which dpkg --verify checks the installed files against.
file(GLOB_RECURSE files RELATIVE "${stage}" "${stage}/usr/*")
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
  file(MD5 "${stage}/${file}" sum)
  string(APPEND sums "${sum}  ${file}\n")
endforeach()
file(WRITE "${stage}/DEBIAN/md5sums" "${sums}")
set(deb "${OUT_DIR}/${package}_${VERSION}_${architecture}.deb")
execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build "${stage}" "${deb}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dpkg-deb --build ${stage}: ${status}")
endif()
file(REMOVE_RECURSE "${stage}")
message(STATUS "built ${deb}")
