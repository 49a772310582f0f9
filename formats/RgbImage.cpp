#include "formats/RgbImage.h"

#include "platform/LargeBuffers.h"
#include "platform/Workers.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

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

RowRenderer RgbRowRenderer(RowRenderer storageRows, int32_t width, int32_t height, int32_t workers)
{
    // Each worker renders into a band buffer of its own, kept across bands,
    // and writes the RGB rows straight into place.
    auto bands = std::make_shared<std::vector<std::vector<uint8_t>>>(static_cast<size_t>(workers));
    return [storageRows = std::move(storageRows), width, height, bands](int32_t firstRow, int32_t rowCount,
                                                                        uint8_t* rgb, int32_t worker) {
        const auto storageRowBytes = static_cast<size_t>(width) * 4;
        std::vector<uint8_t>& band = (*bands)[static_cast<size_t>(worker)];
        band.resize(storageRowBytes * static_cast<size_t>(rowCount));
        // Image rows firstRow to firstRow + rowCount - 1 are storage rows
        // height - firstRow - rowCount on, in the opposite order.
        storageRows(height - firstRow - rowCount, rowCount, band.data(), worker);
        for (int32_t k = 0; k < rowCount; ++k)
            StorageRowToRgb(band.data() + static_cast<size_t>(rowCount - 1 - k) * storageRowBytes, width,
                            rgb + static_cast<size_t>(k) * static_cast<size_t>(width) * 3);
    };
}

void RenderRgbImage(CWorkerPool& pool, int32_t width, int32_t height, const RowRenderer& renderRows, uint8_t* rgb)
{
    // The bands go to whichever worker asks next: no order between them is
    // needed.
    const int32_t bands = (height + kRgbBandRows - 1) / kRgbBandRows;
    const auto rgbRowBytes = static_cast<size_t>(width) * 3;
    const RowRenderer rgbRows = RgbRowRenderer(renderRows, width, height, pool.Size());
    std::atomic<int32_t> nextBand{0};
    pool.Run([&](int32_t worker) {
        for (int32_t b = nextBand++; b < bands; b = nextBand++)
        {
            const int32_t firstRow = b * kRgbBandRows;
            rgbRows(firstRow, std::min(kRgbBandRows, height - firstRow), rgb + static_cast<size_t>(firstRow) * rgbRowBytes,
                    worker);
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
