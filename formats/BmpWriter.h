// Uncompressed 32-bit BMP files, the format of every image diagraw writes.
//
// Pixels as the writers hand them over: 4 bytes each, blue, green, red and a
// fourth byte that this program always leaves 0; width * 4 bytes to a row
// with no padding; rows in file order, which for a BMP with a positive height
// is bottom row first. The header's multi-byte fields are little-endian and
// written byte by byte, so the host's byte order never shows.
//
// A file appears under its final name only once it is complete: it is
// written beside it as a temporary and renamed (platform/Files.h). When
// anything fails, the temporary goes and an older file of that name stays.
#pragma once

#include "platform/Status.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

inline constexpr int kBmpHeaderBytes = 54;

// Fills the 54 bytes of the file header and the information header of a
// width x height image; every reserved or unused byte is 0.
void FillBmpHeader(uint8_t* header, int32_t width, int32_t height);

// Appends count bytes of pixels to the file in the making.
using PixelSink = std::function<Status(const void* bytes, size_t count)>;

// The one writer of BMP files: creates the file name, writes the header of a
// width x height image, lets writeRows hand every pixel in file order to the
// sink it is given, and commits the file once writeRows succeeded. Refuses
// (EFBIG) an image whose size the header's 32-bit fields cannot hold.
Status WriteBmpRows(const std::string& name, int32_t width, int32_t height,
                    const std::function<Status(const PixelSink& sink)>& writeRows);

// Writes the header and width * height pixels to the file name: WriteBmpRows
// with the whole image in one piece. The caller keeps the pixels. Refuses (EFBIG) an image whose size the header's 32-bit
// fields cannot hold.
Status WriteBmpFile(const std::string& name, int32_t width, int32_t height, const uint8_t* pixels);

// Kept for compatibility with callers of the older convention, the one
// function of the library that returns no Status: WriteBmpFile, non-zero
// when the file was written, 0 when it was not (also for a null name or
// pixel pointer). New code calls WriteBmpFile.
int32_t SaveBmp32(const char* name, int32_t width, int32_t height, const uint8_t* pixels);
