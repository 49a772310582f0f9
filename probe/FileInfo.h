// What `diagraw-probe info` prints about a file: its size, the bytes before
// the tail that diagraw reads, its signature and, for a RAF, the fields of
// its header (raw/RafHeader.h), as an aligned table or as one JSON object.
#pragma once

#include <string>

struct FileHeader;

// path is the name shown; header was read from that file.
std::string InfoTable(const std::string& path, const FileHeader& header);
std::string InfoJson(const FileHeader& header);
