#include "bmp/BmpStream.h"

#include "bmp/BmpWriter.h"
#include "platform/Files.h"
#include "platform/Workers.h"

#include <algorithm>
#include <cerrno>

Status StreamBmpFile(const std::string& name, int32_t width, int32_t height, int32_t bandRows, CBufferKeeper& keeper,
                     const RowRenderer& renderRows)
{
    if (width <= 0 || height <= 0 || bandRows <= 0)
        return EINVAL;
    const uint64_t rowBytes = uint64_t{static_cast<uint32_t>(width)} * 4u;
    if (rowBytes * static_cast<uint32_t>(height) + kBmpHeaderBytes > UINT32_MAX)
        return EFBIG;

    platform::COutputFile file;
    Status status = file.Create(name);
    if (status != kStatusOk)
        return status;
    uint8_t header[kBmpHeaderBytes];
    FillBmpHeader(header, width, height);
    status = file.Write(header, sizeof header);
    if (status != kStatusOk)
        return status;

    const int32_t bands = (height + bandRows - 1) / bandRows;
    const auto rowsOf = [&](int32_t band) { return std::min(bandRows, height - band * bandRows); };
    status = StreamBands(
        bands, static_cast<size_t>(rowBytes) * static_cast<size_t>(bandRows), keeper,
        [&](int32_t band, uint8_t* pixels, int32_t worker) { renderRows(band * bandRows, rowsOf(band), pixels, worker); },
        [&](int32_t band, const uint8_t* pixels) {
            return file.Write(pixels, static_cast<size_t>(rowBytes) * static_cast<size_t>(rowsOf(band)));
        });
    if (status != kStatusOk)
        return status;
    return file.Commit();
}
