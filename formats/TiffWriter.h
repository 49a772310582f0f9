// A TIFF file written as it is rendered, with libtiff: band after band of
// rows, rendered on the run's workers and written in order by the calling
// thread, one strip a band, so that no whole image is held in memory.
//
// Baseline TIFF, little-endian, uncompressed unless deflate is asked for.
// The tags are those that describe the image (size, samples, strips, the
// resolution of 1 pixel per unit without a unit, which baseline readers
// expect), Software and ImageDescription; there is no date, so the same image
// gives the same bytes. Like the BMPs (formats/BmpStream.h), the file appears
// under its name only when complete, through platform::COutputFile; on a
// failure an older file of that name stays as it was. Deflate takes one
// library for the whole file, and any error libtiff reports fails the image
// (kStatusEncodingFailed), so the same image gives the same bytes or none.
// Returns a Status.
#pragma once

#include "formats/BmpStream.h"
#include "platform/Status.h"

#include <cstdint>
#include <string>

class CBufferKeeper;
class CWorkerPool;

struct TiffLayout
{
    int32_t width = 0;
    int32_t height = 0;
    int32_t samplesPerPixel = 1;  // 1: grey, 3: RGB
    int32_t bitsPerSample = 8;    // 8 or 16
    bool deflate = false;
    std::string software;         // the Software tag
    std::string description;      // the ImageDescription tag
};

// Writes the image whose rows renderRows makes: rows top-down, the samples
// of a pixel together, 16-bit samples in the host's byte order; renderRows
// fills rowCount rows of width * samplesPerPixel * bitsPerSample / 8 bytes.
// The band buffers come from keeper.
Status StreamTiffFile(const std::string& name, const TiffLayout& layout, CWorkerPool& pool, CBufferKeeper& keeper,
                      const RowRenderer& renderRows);
