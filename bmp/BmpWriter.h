// Uncompressed 32-bit BMP files.
//
// Pixel layout handed to SaveBmp32: width x height pixels of 4 bytes each,
// in the order blue, green, red, and a fourth byte (0 in every image of this
// program); rows of width * 4 bytes with nothing between them; the first row
// in the buffer is the bottom row of the picture (positive height).
//
// SaveBmp32 returns non-zero when the whole file was written and 0 on failure.
// The file appears under its final name only when complete: it is written to
// a temporary beside it and then renamed. On failure the temporary is removed
// and an existing file of the final name is left as it was.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kBmpHeaderBytes = 54;

// Fills the 54-byte file and information header for a width x height image;
// every field is little-endian and every reserved or unused byte is 0.
void FillBmpHeader(uint8_t* header, int32_t width, int32_t height);

// Writes header and pixels to the file name. The caller keeps the pixels.
int32_t SaveBmp32(const char* name, int32_t width, int32_t height, const uint8_t* pixels);
