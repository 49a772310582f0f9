# diagraw-view (view/ and programs/view_main.cpp): built when cpp-httplib and
# libspng are found through pkg-config, nlohmann-json (which reads the
# defects file of --defects) through its CMake package, and npm is there to
# install the page's OpenSeadragon from view/package-lock.json; the configure
# output says which, as for libtiff. POSIX only, and never in a cross build.
#
# The page's files (view/page/ and OpenSeadragon's built file) are written
# into the program at build time (cmake/EmbedPageFiles.cmake): an installed
# diagraw-view needs no other file.
option(DIAGRAW_BUILD_VIEW "Build diagraw-view when its requirements are found" ON)
set(DIAGRAW_VIEW_FOUND OFF)
if(NOT DIAGRAW_BUILD_VIEW)
  message(STATUS "diagraw-view: not built (DIAGRAW_BUILD_VIEW=OFF)")
  return()
endif()
if(WIN32 OR CMAKE_CROSSCOMPILING)
  message(STATUS "diagraw-view: not built for Windows or in a cross build")
  return()
endif()
set(diagraw_view_missing)
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(DIAGRAW_HTTPLIB QUIET IMPORTED_TARGET cpp-httplib)
  pkg_check_modules(DIAGRAW_SPNG QUIET IMPORTED_TARGET spng)
else()
  list(APPEND diagraw_view_missing "pkg-config")
endif()
if(NOT DIAGRAW_HTTPLIB_FOUND)
  list(APPEND diagraw_view_missing "cpp-httplib (libcpp-httplib-dev)")
endif()
if(NOT DIAGRAW_SPNG_FOUND)
  list(APPEND diagraw_view_missing "libspng (libspng-dev)")
endif()
find_package(nlohmann_json 3 QUIET CONFIG)
if(NOT nlohmann_json_FOUND)
  list(APPEND diagraw_view_missing "nlohmann-json (nlohmann-json3-dev)")
endif()
find_program(DIAGRAW_NPM npm)
if(NOT DIAGRAW_NPM)
  list(APPEND diagraw_view_missing "npm")
endif()
if(diagraw_view_missing)
  list(JOIN diagraw_view_missing ", " diagraw_view_missing)
  message(STATUS "diagraw-view: not built, missing ${diagraw_view_missing}")
  return()
endif()
message(STATUS "diagraw-view: built (cpp-httplib ${DIAGRAW_HTTPLIB_VERSION}, libspng ${DIAGRAW_SPNG_VERSION}, nlohmann-json ${nlohmann_json_VERSION}, ${DIAGRAW_NPM})")
set(DIAGRAW_VIEW_FOUND ON)

# The views, their pyramids and tiles, the reader of request targets and the
# defects file: everything but the server, for the tests, the fuzz targets
# and the benchmark.
add_library(diagraw_view_core STATIC view/ViewedFile.cpp view/Pyramid.cpp view/PngTile.cpp view/RequestTarget.cpp
  view/Defects.cpp)
target_link_libraries(diagraw_view_core PUBLIC diagraw_sensor
  PRIVATE PkgConfig::DIAGRAW_SPNG nlohmann_json::nlohmann_json diagraw_strict_options)

# OpenSeadragon, as pinned, installed by npm ci into the build folder.
set(diagraw_npm_dir ${PROJECT_BINARY_DIR}/view-npm)
# The folder exists before the build, which runs npm inside it.
file(MAKE_DIRECTORY ${diagraw_npm_dir})
set(diagraw_osd ${diagraw_npm_dir}/node_modules/openseadragon/build/openseadragon/openseadragon.min.js)
add_custom_command(OUTPUT ${diagraw_osd}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${diagraw_npm_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/view/package.json ${PROJECT_SOURCE_DIR}/view/package-lock.json ${diagraw_npm_dir}
  COMMAND ${DIAGRAW_NPM} ci --ignore-scripts --no-audit --no-fund --loglevel=error
  COMMAND ${CMAKE_COMMAND} -E touch ${diagraw_osd}
  WORKING_DIRECTORY ${diagraw_npm_dir}
  DEPENDS ${PROJECT_SOURCE_DIR}/view/package.json ${PROJECT_SOURCE_DIR}/view/package-lock.json
  COMMENT "npm ci: OpenSeadragon for diagraw-view's page"
  VERBATIM)

set(diagraw_page_files
  "index.html|text/html|${PROJECT_SOURCE_DIR}/view/page/index.html"
  "viewer.css|text/css|${PROJECT_SOURCE_DIR}/view/page/viewer.css"
  "viewer.js|text/javascript|${PROJECT_SOURCE_DIR}/view/page/viewer.js"
  "openseadragon.min.js|text/javascript|${diagraw_osd}")
set(diagraw_page_depends)
foreach(entry IN LISTS diagraw_page_files)
  string(REGEX REPLACE "^.*\\|" "" path "${entry}")
  list(APPEND diagraw_page_depends ${path})
endforeach()
list(JOIN diagraw_page_files "^^" diagraw_page_argument)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/view/PageFileBytes.cpp
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${PROJECT_BINARY_DIR}/view/PageFileBytes.cpp "-DFILES=${diagraw_page_argument}"
          -P ${PROJECT_SOURCE_DIR}/cmake/EmbedPageFiles.cmake
  DEPENDS ${diagraw_page_depends} ${PROJECT_SOURCE_DIR}/cmake/EmbedPageFiles.cmake
  COMMENT "Writing diagraw-view's page into the program"
  VERBATIM)

add_executable(diagraw-view programs/view_main.cpp view/ViewServer.cpp view/PageFiles.cpp
  ${PROJECT_BINARY_DIR}/view/PageFileBytes.cpp)
target_link_libraries(diagraw-view PRIVATE diagraw_view_core diagraw_front PkgConfig::DIAGRAW_HTTPLIB diagraw_strict_options)
