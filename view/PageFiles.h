// The files of the page that diagraw-view serves, built into the program
// (cmake/EmbedPageFiles.cmake writes their bytes into a source file at build
// time): the HTML, the style, the script and OpenSeadragon's built file,
// which npm ci installs from the pinned view/package-lock.json. An installed
// program needs no file beside it.
#pragma once

#include <cstddef>
#include <string_view>

struct PageFile
{
    const char* name;   // the path after "/": "index.html", "viewer.js", ...
    const char* type;   // its Content-Type
    const unsigned char* bytes;
    size_t size;
};

extern const PageFile kPageFiles[];
extern const size_t kPageFileCount;

// The file of that name, or null.
const PageFile* FindPageFile(std::string_view name);
