# Writes the files of diagraw-view's page into a C++ source file, as byte
# arrays and a table of them (view/PageFiles.h).
#
#   cmake -DOUTPUT=PageFiles.cpp "-DFILES=name|type|path^^..." -P EmbedPageFiles.cmake
cmake_minimum_required(VERSION 3.20)
set(source "// Written by cmake/EmbedPageFiles.cmake at build time; not to be edited.\n#include \"view/PageFiles.h\"\n\n")
set(table "")
set(index 0)
string(REPLACE "^^" ";" FILES "${FILES}")
foreach(entry IN LISTS FILES)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 1 type)
  list(GET parts 2 path)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Lines of some 100 characters.
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){20})" "\\1\n" bytes "${bytes}")
  string(APPEND source "static const unsigned char kFile${index}[] = {\n${bytes}0x00};\n")
  string(APPEND table "    {\"${name}\", \"${type}; charset=utf-8\", kFile${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND source "\nconst PageFile kPageFiles[] = {\n${table}};\nconst size_t kPageFileCount = ${index};\n")
file(WRITE "${OUTPUT}.new" "${source}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
