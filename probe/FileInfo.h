// What `diagraw-probe info` prints about a file: its size, the bytes before
// the tail that diagraw reads, its signature and, for a RAF, the fields of
// its header (raw/RafHeader.h) and what the Exif block of its preview says
// about the shot (metadata/ExifMetadata.h), as an aligned table or as one
// JSON object. A file without Exif metadata gets no Exif row and no "exif"
// key, so that its report is the one it always was.
#pragma once

#include <string>

struct ExifMetadata;
struct FileHeader;

// path is the name shown; header and exif were read from that file.
std::string InfoTable(const std::string& path, const FileHeader& header, const ExifMetadata& exif);
std::string InfoJson(const FileHeader& header, const ExifMetadata& exif);

// The object of InfoJson's "exif" key, on one line with a newline; "null"
// and a newline when exif is empty.
std::string ExifJson(const ExifMetadata& exif);
