#include "formats/BmpStream.h"

#include "formats/BmpWriter.h"
#include "platform/Workers.h"

#include <algorithm>
#include <cerrno>

Status StreamBmpFile(const std::string& name, int32_t width, int32_t height, int32_t bandRows, CWorkerPool& pool,
                     CBufferKeeper& keeper, const RowRenderer& renderRows)
{
    if (bandRows <= 0)
        return EINVAL;
    return WriteBmpRows(name, width, height, [&](const PixelSink& sink) {
        const size_t rowBytes = static_cast<size_t>(width) * 4;
        const int32_t bands = (height + bandRows - 1) / bandRows;
        const auto rowsOf = [&](int32_t band) { return std::min(bandRows, height - band * bandRows); };
        return StreamBands(
            pool, bands, rowBytes * static_cast<size_t>(bandRows), keeper,
            [&](int32_t band, uint8_t* pixels, int32_t worker) {
                renderRows(band * bandRows, rowsOf(band), pixels, worker);
            },
            [&](int32_t band, const uint8_t* pixels) {
                return sink(pixels, rowBytes * static_cast<size_t>(rowsOf(band)));
            });
    });
}
