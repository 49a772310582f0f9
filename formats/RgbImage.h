// Images as numpy wants them: rows top first, three bytes a pixel in the
// order red, green, blue.
//
// The library's renderers (previews/Previews.h, demosaic/Demosaic.h) fill bands of
// BMP storage rows, bottom row first, four bytes a pixel (blue, green, red,
// 0). RenderRgbImage runs such a renderer over the whole image on a pool of
// workers (platform/Workers.h) and turns every band into RGB rows in the
// caller's buffer as it comes: the pixels are the BMP file's, shown as a
// viewer shows them.
#pragma once

#include "formats/BmpStream.h"

#include <cstdint>
#include <memory>

class CWorkerPool;

// Rows rendered at a time: any number gives the same bytes; 16 rows of the
// widest image (5088 pixels) take some 330 kB, which stay in the cache.
inline constexpr int32_t kRgbBandRows = 16;

// A renderer of RGB rows, top first (width * 3 bytes each), of the image
// whose storage rows storageRows makes, for the workers of a pool of that
// many; each worker keeps a band buffer of its own.
RowRenderer RgbRowRenderer(RowRenderer storageRows, int32_t width, int32_t height, int32_t workers);

// Fills rgb, height rows of width * 3 bytes, from the storage rows that
// renderRows makes on the workers of pool. Memory running out throws
// std::bad_alloc.
void RenderRgbImage(CWorkerPool& pool, int32_t width, int32_t height, const RowRenderer& renderRows, uint8_t* rgb);

// An uninitialised buffer of bytes for an image or samples, advised for huge
// pages and mapped (platform/LargeBuffers.h); throws std::bad_alloc.
std::shared_ptr<uint8_t[]> MakeImageBuffer(size_t bytes);
