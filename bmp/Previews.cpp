// The field previews and the composite mosaic preview.
#include "bmp/Previews.h"

#include "bmp/BmpWriter.h"
#include "raw/Lattice.h"
#include "raw/RawX10.h"

#include <memory>
#include <string>

int32_t CRawX10::SaveFieldPreview(const uint16_t* field)
{
    // One pixel per field sample, upright: field row y is picture row y from
    // the top, so it goes to storage row m_height - 1 - y of the bottom-up BMP.
    const int64_t width = m_width;
    const int64_t height = m_height;
    auto pixels = std::make_unique<uint8_t[]>(static_cast<size_t>(width * height * 4));
    for (int64_t y = 0; y < height; ++y)
    {
        const uint16_t* samples = field + y * width;
        uint8_t* out = pixels.get() + (height - 1 - y) * width * 4;
        for (int64_t x = 0; x < width; ++x)
        {
            const CellColour colour = ColourOfFieldSample(static_cast<int32_t>(y), static_cast<int32_t>(x));
            out[x * 4 + PixelByteOfColour(colour)] = FieldPreviewValue(samples[x], colour == CellColour::Green);
        }
    }
    const std::string name = m_path + (field == m_field0.get() ? ".f0.bmp" : ".f1.bmp");
    return SaveBmp32(name.c_str(), m_width, m_height, pixels.get()) != 0 ? 0 : 1;
}

int32_t CRawX10::SaveMosaicPreview()
{
    // Cells 2 to a - 3 of each row and column are drawn, mirrored left to
    // right: cell (r, c) goes to pixel a - c of storage row a - r. The rest of
    // the picture stays black.
    const int64_t a = MosaicSide();
    auto pixels = std::make_unique<uint8_t[]>(static_cast<size_t>(a * a * 4));
    for (int64_t r = 2; r <= a - 3; ++r)
    {
        const uint16_t* samples = m_mosaic.get() + r * a;
        uint8_t* out = pixels.get() + (a - r) * a * 4;
        for (int64_t c = 2; c <= a - 3; ++c)
        {
            const CellColour colour = ColourOfCell(static_cast<int32_t>(r), static_cast<int32_t>(c));
            out[(a - c) * 4 + PixelByteOfColour(colour)] = MosaicPreviewValue(samples[c], colour == CellColour::Green);
        }
    }
    const std::string name = m_path + ".src.bmp";
    const auto side = static_cast<int32_t>(a);
    return SaveBmp32(name.c_str(), side, side, pixels.get()) != 0 ? 0 : 1;
}
