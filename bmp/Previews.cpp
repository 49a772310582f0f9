// The field previews and the composite mosaic preview.
//
// Both previews look up whole pixels in tables made from FieldPreviewValue
// and MosaicPreviewValue for every 12-bit sample, and write every byte of
// their pixel buffer once (a lit pixel with its three zero bytes, the black
// border as zeros), so the buffer needs no clearing beforehand.
#include "bmp/Previews.h"

#include "bmp/BmpWriter.h"
#include "raw/LargeBuffers.h"
#include "raw/Lattice.h"
#include "raw/RawX10.h"

#include <array>
#include <cstring>
#include <string>

namespace
{

using Pixel = std::array<uint8_t, 4>;  // blue, green, red, 0

constexpr int32_t kTableSamples = 4096;

// The pixels that light one colour for every 12-bit sample.
struct PixelTable
{
    Pixel pixels[kTableSamples];
};

template <typename ValueOf>
void FillTable(PixelTable& table, CellColour colour, ValueOf valueOf)
{
    for (int32_t s = 0; s < kTableSamples; ++s)
    {
        table.pixels[s] = Pixel{};
        table.pixels[s][PixelByteOfColour(colour)] = valueOf(static_cast<uint16_t>(s));
    }
}

void StorePixel(uint8_t* at, const Pixel& pixel)
{
    std::memcpy(at, pixel.data(), 4);
}

}  // namespace

int32_t CRawX10::SaveFieldPreview(const uint16_t* field)
{
    // One pixel per field sample, upright: field row y is picture row y from
    // the top, so it goes to storage row m_height - 1 - y of the bottom-up BMP.
    // Along a field row the colours alternate: blue and green in even rows,
    // green and red in odd ones. Every sample from 4095 up gives 255 in its
    // channel, so larger samples take the table entry of 4095.
    const int64_t width = m_width;
    const int64_t height = m_height;
    const ScratchBuffer pixels = AcquireScratchBuffer(static_cast<size_t>(width * height * 4));
    PixelTable red;
    PixelTable green;
    PixelTable blue;
    FillTable(red, CellColour::Red, [](uint16_t s) { return FieldPreviewValue(s, false); });
    FillTable(green, CellColour::Green, [](uint16_t s) { return FieldPreviewValue(s, true); });
    FillTable(blue, CellColour::Blue, [](uint16_t s) { return FieldPreviewValue(s, false); });
    for (int64_t y = 0; y < height; ++y)
    {
        const uint16_t* samples = field + y * width;
        uint8_t* out = pixels.get() + (height - 1 - y) * width * 4;
        const PixelTable& atEvenX = y % 2 == 0 ? blue : green;
        const PixelTable& atOddX = y % 2 == 0 ? green : red;
        for (int64_t x = 0; x < width; ++x)
        {
            const uint16_t s = samples[x] < kTableSamples ? samples[x] : kTableSamples - 1;
            StorePixel(out + x * 4, (x % 2 == 0 ? atEvenX : atOddX).pixels[s]);
        }
    }
    const std::string name = m_path + (field == m_field0.get() ? ".f0.bmp" : ".f1.bmp");
    return SaveBmp32(name.c_str(), m_width, m_height, pixels.get()) != 0 ? 0 : 1;
}

int32_t CRawX10::SaveMosaicPreview()
{
    // Cells 2 to a - 3 of each row and column are drawn, mirrored left to
    // right: cell (r, c) goes to pixel a - c of storage row a - r. The rest of
    // the picture (storage rows and pixels 0 to 2 and a - 1) stays black.
    // Along a row the odd columns are green and the even ones alternate red
    // and blue in pairs of columns. Samples above 12 bits, which no input
    // gives, are computed one by one.
    const int64_t a = MosaicSide();
    const int64_t rowBytes = a * 4;
    const ScratchBuffer pixels = AcquireScratchBuffer(static_cast<size_t>(a * rowBytes));
    PixelTable red;
    PixelTable green;
    PixelTable blue;
    FillTable(red, CellColour::Red, [](uint16_t s) { return MosaicPreviewValue(s, false); });
    FillTable(green, CellColour::Green, [](uint16_t s) { return MosaicPreviewValue(s, true); });
    FillTable(blue, CellColour::Blue, [](uint16_t s) { return MosaicPreviewValue(s, false); });

    const int64_t first = 2;
    const int64_t last = a - 3;
    for (int64_t row = 0; row < a; ++row)
    {
        const int64_t r = a - row;
        uint8_t* out = pixels.get() + row * rowBytes;
        if (r < first || r > last)
        {
            std::memset(out, 0, static_cast<size_t>(rowBytes));
            continue;
        }
        std::memset(out, 0, static_cast<size_t>(a - last) * 4);  // pixels 0 to a - last - 1
        std::memset(out + (a - first + 1) * 4, 0, static_cast<size_t>(first - 1) * 4);
        const uint16_t* samples = m_mosaic.get() + r * a;
        for (int64_t c = first; c <= last; ++c)
        {
            const CellColour colour = ColourOfCell(static_cast<int32_t>(r), static_cast<int32_t>(c));
            const uint16_t s = samples[c];
            if (s < kTableSamples)
            {
                const PixelTable& table = colour == CellColour::Green ? green : colour == CellColour::Red ? red : blue;
                StorePixel(out + (a - c) * 4, table.pixels[s]);
            }
            else
            {
                Pixel pixel{};
                pixel[PixelByteOfColour(colour)] = MosaicPreviewValue(s, colour == CellColour::Green);
                StorePixel(out + (a - c) * 4, pixel);
            }
        }
    }
    const std::string name = m_path + ".src.bmp";
    const auto side = static_cast<int32_t>(a);
    return SaveBmp32(name.c_str(), side, side, pixels.get()) != 0 ? 0 : 1;
}
