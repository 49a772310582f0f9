// The field previews and the composite mosaic preview.
//
// Both compute their display values in 16-bit integers, many pixels at a
// time, by formulas equal to FieldPreviewValue and MosaicPreviewValue for
// every 12-bit sample (the tests try each one), and write each byte of their
// rows once, the black ones included, so no buffer needs clearing first.
#include "previews/Previews.h"

#include "formats/BmpStream.h"
#include "raw/Lattice.h"
#include "raw/PackedSamples.h"
#include "raw/Placement.h"
#include "raw/RawX10.h"

#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <string>

namespace
{

using Pixel = std::array<uint8_t, 4>;  // blue, green, red, 0

// Rows rendered and written at a time: a band of some 400 kB, which stays
// in the second-level cache from its rendering to its write.
constexpr int32_t kFieldPreviewBandRows = 32;
constexpr int32_t kMosaicPreviewBandRows = 16;

static_assert(std::endian::native == std::endian::little,
              "pixels are assembled as blue | green << 8 | red << 16 and stored as four bytes");

// The field preview's pixel of a sample as blue | green << 8 | red << 16:
// q = s / 12; green q, red and blue floor(8q / 5) (which is the double
// product q * 1.6 truncated, the double 1.6 lying just above 1.6), each at
// most 255. In 16-bit integers this holds for every sample (checked in the
// tests).
inline uint32_t FieldGreenPixel(uint16_t s)
{
    const auto q = static_cast<uint16_t>(s / 12);
    return uint32_t{q > 255 ? uint16_t{255} : q} << 8;
}

inline uint32_t FieldRedBlueValue(uint16_t s)
{
    const auto q = static_cast<uint16_t>(s / 12);
    const auto t = static_cast<uint16_t>(static_cast<uint16_t>(q * 8) / 5);
    return t > 255 ? 255u : t;
}

}  // namespace

void RenderFieldPreviewRows(const uint16_t* field, int32_t width, int32_t height, int32_t firstRow,
                            int32_t rowCount, uint8_t* pixels)
{
    // Along a field row the colours take turns: blue and green in even rows,
    // green and red in odd ones. A row is laid out in a scratch row, two
    // samples at a time, and copied in one piece.
    const auto rowLength = static_cast<size_t>(width);
    auto scratch = std::make_unique<uint32_t[]>(rowLength);
    const int32_t pairs = width / 2;
    for (int32_t k = 0; k < rowCount; ++k)
    {
        const int32_t y = height - 1 - (firstRow + k);
        const uint16_t* samples = field + static_cast<int64_t>(y) * width;
        uint32_t* line = scratch.get();
        if (y % 2 == 0)
        {
            for (int32_t i = 0; i < pairs; ++i)
            {
                line[2 * i] = FieldRedBlueValue(samples[2 * i]);  // blue
                line[2 * i + 1] = FieldGreenPixel(samples[2 * i + 1]);
            }
            if (width % 2 != 0)
                line[width - 1] = FieldRedBlueValue(samples[width - 1]);
        }
        else
        {
            for (int32_t i = 0; i < pairs; ++i)
            {
                line[2 * i] = FieldGreenPixel(samples[2 * i]);
                line[2 * i + 1] = FieldRedBlueValue(samples[2 * i + 1]) << 16;  // red
            }
            if (width % 2 != 0)
                line[width - 1] = FieldGreenPixel(samples[width - 1]);
        }
        std::memcpy(pixels + static_cast<size_t>(k) * rowLength * 4, line, rowLength * 4);
    }
}

Status WriteFieldPreview(const std::string& name, const SampleView& samples, int32_t field, CWorkerPool& pool,
                         CBufferKeeper& keeper)
{
    const uint16_t* samplesOfField = samples.fields[field];
    return StreamBmpFile(name, samples.width, samples.height, kFieldPreviewBandRows, pool, keeper,
                         [&](int32_t firstRow, int32_t rowCount, uint8_t* pixels, int32_t) {
                             RenderFieldPreviewRows(samplesOfField, samples.width, samples.height, firstRow,
                                                    rowCount, pixels);
                         });
}

Status CRawX10::SaveFieldPreview(const uint16_t* field)
{
    const bool first = field == m_field0.get();
    return WriteFieldPreview(OutputNameOf(m_path, first ? OutputImage::Field0Preview : OutputImage::Field1Preview),
                             Samples(), first ? 0 : 1, Workers(), Buffers());
}

namespace
{

// The colour of a cell as two masks (all ones or zero).
struct ColourMasks
{
    uint32_t isGreen;
    uint32_t isRed;
};

// The mosaic preview's pixel of a sample of at most 4095, as blue | green <<
// 8 | red << 16. Computed on integers, which for 12-bit samples gives the
// values of MosaicPreviewValue exactly (every sample is checked in the
// tests): green s / 13; red and blue t1 = floor(1.61 s), taken as s +
// floor(39977 s / 2^16), t2 = floor(8 t1 / 5) and t2 / 13.
inline uint32_t MosaicPreviewPixel(uint16_t s, ColourMasks colour)
{
    const auto green = static_cast<uint16_t>(s / 13);
    const auto t1 = static_cast<uint16_t>(s + static_cast<uint16_t>((uint32_t{s} * 39977u) >> 16));
    const auto t2 = static_cast<uint16_t>(static_cast<uint16_t>(t1 * 8) / 5);
    const auto redBlue = static_cast<uint16_t>(t2 / 13);
    const uint32_t value = (colour.isGreen & green) | (~colour.isGreen & redBlue);
    const uint32_t v = value > 255 ? 255 : value;
    return (v << 8 & colour.isGreen) | (v << 16 & colour.isRed) | (v & ~colour.isGreen & ~colour.isRed);
}

ColourMasks MasksOfCell(int32_t r, int32_t c)
{
    const CellColour colour = ColourOfCell(r, c);
    return {colour == CellColour::Green ? ~0u : 0u, colour == CellColour::Red ? ~0u : 0u};
}

}  // namespace

void RenderMosaicPreviewRows(const uint16_t* mosaic, int32_t side, int32_t firstRow, int32_t rowCount,
                             uint8_t* pixels)
{
    // A storage row is laid out in a scratch row in pixel order, from the last
    // drawn column backwards, four cells at a time: along a mosaic row the
    // colours repeat every four columns, so the four positions of a step keep
    // their colours and the loop vectorises. A row holding a sample above 12
    // bits, which no input gives, is computed cell by cell instead.
    const int64_t a = side;
    const int64_t rowBytes = a * 4;
    const int64_t first = 2;
    const int64_t last = a - 3;
    const int64_t drawn = last - first + 1;
    auto scratch = std::make_unique<uint32_t[]>(static_cast<size_t>(drawn > 0 ? drawn : 1));
    for (int32_t k = 0; k < rowCount; ++k)
    {
        const int64_t r = CellRowOfStorageRow(side, firstRow + k);
        uint8_t* out = pixels + k * rowBytes;
        if (r < first || r > last)
        {
            std::memset(out, 0, static_cast<size_t>(rowBytes));
            continue;
        }
        std::memset(out, 0, static_cast<size_t>(a - last) * 4);  // pixels 0 to a - last - 1
        std::memset(out + (a - first + 1) * 4, 0, static_cast<size_t>(first - 1) * 4);
        const uint16_t* samples = mosaic + r * a;
        uint16_t all = 0;
        for (int64_t c = first; c <= last; ++c)
            all = static_cast<uint16_t>(all | samples[c]);
        uint32_t* line = scratch.get();
        const auto r32 = static_cast<int32_t>(r);
        if (all <= kSampleMaximum)
        {
            const ColourMasks k0 = MasksOfCell(r32, static_cast<int32_t>(last));
            const ColourMasks k1 = MasksOfCell(r32, static_cast<int32_t>(last - 1));
            const ColourMasks k2 = MasksOfCell(r32, static_cast<int32_t>(last - 2));
            const ColourMasks k3 = MasksOfCell(r32, static_cast<int32_t>(last - 3));
            const uint16_t* fromLast = samples + last;
            const auto quads = static_cast<int32_t>(drawn / 4);
            for (int32_t q = 0; q < quads; ++q)
            {
                const uint16_t* s = fromLast - 4 * q;
                line[4 * q + 0] = MosaicPreviewPixel(s[0], k0);
                line[4 * q + 1] = MosaicPreviewPixel(s[-1], k1);
                line[4 * q + 2] = MosaicPreviewPixel(s[-2], k2);
                line[4 * q + 3] = MosaicPreviewPixel(s[-3], k3);
            }
            for (int64_t j = int64_t{quads} * 4; j < drawn; ++j)
                line[j] = MosaicPreviewPixel(samples[last - j], MasksOfCell(r32, static_cast<int32_t>(last - j)));
        }
        else
        {
            for (int64_t j = 0; j < drawn; ++j)
            {
                const int64_t c = last - j;
                const CellColour colour = ColourOfCell(r32, static_cast<int32_t>(c));
                Pixel pixel{};
                pixel[static_cast<size_t>(PixelByteOfColour(colour))] =
                    MosaicPreviewValue(samples[c], colour == CellColour::Green);
                std::memcpy(&line[j], pixel.data(), 4);
            }
        }
        std::memcpy(out + (a - last) * 4, line, static_cast<size_t>(drawn) * 4);
    }
}

Status WriteMosaicPreview(const std::string& name, const SampleView& samples, CWorkerPool& pool,
                          CBufferKeeper& keeper)
{
    const int32_t a = samples.Side();
    return StreamBmpFile(name, a, a, kMosaicPreviewBandRows, pool, keeper,
                         [&](int32_t firstRow, int32_t rowCount, uint8_t* pixels, int32_t) {
                             RenderMosaicPreviewRows(samples.mosaic, a, firstRow, rowCount, pixels);
                         });
}

Status CRawX10::SaveMosaicPreview()
{
    return WriteMosaicPreview(OutputNameOf(m_path, OutputImage::MosaicPreview), Samples(), Workers(), Buffers());
}
