#include "formats/RgbImage.h"

#include "platform/LargeBuffers.h"
#include "platform/Workers.h"

#include <algorithm>
#include <atomic>
#include <memory>

namespace
{

// One storage row of BGR0 pixels as RGB.
void StorageRowToRgb(const uint8_t* bgr0, int32_t width, uint8_t* rgb)
{
    for (int32_t i = 0; i < width; ++i, bgr0 += 4, rgb += 3)
    {
        rgb[0] = bgr0[2];
        rgb[1] = bgr0[1];
        rgb[2] = bgr0[0];
    }
}

}  // namespace

void RenderRgbImage(CWorkerPool& pool, int32_t width, int32_t height, const RowRenderer& renderRows, uint8_t* rgb)
{
    // The bands go to whichever worker asks next; each worker renders into a
    // band buffer of its own and writes the RGB rows straight into place, so
    // no order between bands is needed.
    const int32_t bands = (height + kRgbBandRows - 1) / kRgbBandRows;
    const auto storageRowBytes = static_cast<size_t>(width) * 4;
    const auto rgbRowBytes = static_cast<size_t>(width) * 3;
    std::atomic<int32_t> nextBand{0};
    pool.Run([&](int32_t worker) {
        const auto band = std::make_unique_for_overwrite<uint8_t[]>(storageRowBytes * kRgbBandRows);
        for (int32_t b = nextBand++; b < bands; b = nextBand++)
        {
            const int32_t firstRow = b * kRgbBandRows;
            const int32_t rowCount = std::min(kRgbBandRows, height - firstRow);
            renderRows(firstRow, rowCount, band.get(), worker);
            for (int32_t k = 0; k < rowCount; ++k)
            {
                // Storage row s is image row height - 1 - s.
                const auto imageRow = static_cast<size_t>(height - 1 - (firstRow + k));
                StorageRowToRgb(band.get() + static_cast<size_t>(k) * storageRowBytes, width,
                                rgb + imageRow * rgbRowBytes);
            }
        }
    });
}

std::shared_ptr<uint8_t[]> MakeImageBuffer(size_t bytes)
{
    // The sample buffers of the library come with huge pages and mapped in
    // one call; a byte buffer is one of half as many samples.
    const std::shared_ptr<uint16_t[]> samples = MakeLargeSampleBuffer((bytes + 1) / 2);
    return std::shared_ptr<uint8_t[]>(samples, reinterpret_cast<uint8_t*>(samples.get()));
}
