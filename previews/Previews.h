// The colour-coded previews of the raw data: each field by itself, and the
// composite mosaic before the demosaic touches it.
//
// In both, a sample lights only the channel of its own filter colour, and
// red and blue are shown brighter than green by fixed display gains. Each
// step's precision is part of the result:
//   field preview   integer division by 12; red and blue times the double 1.6
//   mosaic preview  green: float division by 13; red and blue: times the
//                   float 1.61 widened to double, times the double 1.6, then
//                   float division by 13
// with a truncation toward zero after every step and 255 as the ceiling.
//
// The Render functions fill a caller's buffer with a band of rows of an
// image, in file order (storage row 0 is the picture's bottom row), and write
// every byte of it. The Write functions render the whole image on a pool of
// workers and write it as a BMP file (formats/BmpStream.h); the stages
// CRawX10::SaveFieldPreview and SaveMosaicPreview call them with the run's
// samples and workers.
#pragma once

#include "platform/Status.h"
#include "raw/Samples.h"

#include <cstdint>
#include <string>

class CBufferKeeper;
class CWorkerPool;

// Channel value of a 12-bit field sample in the field preview.
constexpr uint8_t FieldPreviewValue(uint16_t sample, bool green)
{
    const int32_t q = sample / 12;
    if (green)
        return static_cast<uint8_t>(q > 255 ? 255 : q);
    const auto t = static_cast<uint16_t>(static_cast<int32_t>(static_cast<double>(q) * 1.6));
    return static_cast<uint8_t>(t > 255 ? 255 : t);
}

// Channel value of a raw composite sample in the mosaic preview.
constexpr uint8_t MosaicPreviewValue(uint16_t sample, bool green)
{
    uint16_t w;
    if (green)
    {
        w = static_cast<uint16_t>(static_cast<int32_t>(static_cast<float>(sample) / 13.0f));
    }
    else
    {
        const auto t1 = static_cast<uint16_t>(
            static_cast<int32_t>(static_cast<double>(sample) * static_cast<double>(1.61f)));
        const auto t2 = static_cast<uint16_t>(static_cast<int32_t>(static_cast<double>(t1) * 1.6));
        w = static_cast<uint16_t>(static_cast<int32_t>(static_cast<float>(t2) / 13.0f));
    }
    return static_cast<uint8_t>(w > 255 ? 255 : w);
}

// Storage rows firstRow to firstRow + rowCount - 1 of the preview of one
// field of height rows x width samples: rowCount * width * 4 bytes. The field
// is shown upright, field row y in storage row height - 1 - y.
void RenderFieldPreviewRows(const uint16_t* field, int32_t width, int32_t height, int32_t firstRow,
                            int32_t rowCount, uint8_t* pixels);

// Storage rows firstRow to firstRow + rowCount - 1 of the preview of a
// side x side mosaic: rowCount * side * 4 bytes. The cells are mirrored left
// to right as raw/Placement.h lays the image out; only cells 2 to side - 3 of
// each row and column are drawn, the rest is black.
void RenderMosaicPreviewRows(const uint16_t* mosaic, int32_t side, int32_t firstRow, int32_t rowCount,
                             uint8_t* pixels);

// The preview of field 0 or 1 of samples, or of its mosaic (built), written
// as the BMP file name on the workers of pool, with band buffers from keeper.
Status WriteFieldPreview(const std::string& name, const SampleView& samples, int32_t field, CWorkerPool& pool,
                         CBufferKeeper& keeper);
Status WriteMosaicPreview(const std::string& name, const SampleView& samples, CWorkerPool& pool,
                          CBufferKeeper& keeper);
