// The upright view against its definition, computed here pixel by pixel in
// the plainest way from the whole demosaiced image (the pixels of FILE.bmp),
// on the chart and on random bytes.
#include "demosaic/Demosaic.h"
#include "demosaic/Upright.h"
#include "raw/RawX10.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace testsupport;

namespace
{

// The demosaiced pixel (BGR0) of cell (r, c) in the .bmp's rows: storage row
// side - r, pixel side - c.
struct Demosaiced
{
    int32_t side;
    std::vector<uint8_t> bmpRows;
    const uint8_t* Cell(int32_t r, int32_t c) const
    {
        return bmpRows.data() + (static_cast<size_t>(side - r) * static_cast<size_t>(side) + static_cast<size_t>(side - c)) * 4;
    }
};

// The definition, word for word: field f's cell of (y, x) is row x + y + f,
// column W + 2 - x + y; it has a pixel inside the window 8 .. side - 9 only.
const uint8_t* CellPixel(const Demosaiced& image, int32_t w, int32_t h, int32_t f, int32_t y, int32_t x)
{
    if (y < 0 || y >= h || x < 0 || x >= w)
        return nullptr;
    const int32_t r = x + y + f;
    const int32_t c = w + 2 - x + y;
    if (r < 8 || r > image.side - 9 || c < 8 || c > image.side - 9)
        return nullptr;
    return image.Cell(r, c);
}

// Pixel (row, column) of the upright view, RGB.
std::array<uint8_t, 3> ReferencePixel(const Demosaiced& image, int32_t w, int32_t h, int32_t row, int32_t column)
{
    const int32_t y = row / 2;
    const int32_t x = column / 2;
    std::vector<const uint8_t*> from;
    if (row % 2 == 0 && column % 2 == 0)
        from = {CellPixel(image, w, h, 0, y, x)};
    else if (row % 2 == 1 && column % 2 == 1)
        from = {CellPixel(image, w, h, 1, y, x)};
    else  // the four edge neighbours, by their own (row, column)
        for (const auto& [dr, dc] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}})
        {
            const int32_t nr = row + dr;
            const int32_t nc = column + dc;
            if (nr >= 0 && nc >= 0)
                from.push_back(CellPixel(image, w, h, nr % 2, nr / 2, nc / 2));
        }
    std::array<int32_t, 3> sums = {0, 0, 0};
    int32_t count = 0;
    for (const uint8_t* bgr : from)
        if (bgr != nullptr)
        {
            for (int k = 0; k < 3; ++k)
                sums[k] += bgr[2 - k];
            ++count;
        }
    std::array<uint8_t, 3> rgb = {0, 0, 0};
    for (int k = 0; k < 3 && count > 0; ++k)
        rgb[k] = static_cast<uint8_t>(sums[k] / count);
    return rgb;
}

// Also the share of non-black pixels, to within 0.0005 %, when one is given.
void ExpectUprightMatchesTheDefinition(const std::filesystem::path& file, double nonBlackShare)
{
    CRawX10 raw;
    ASSERT_EQ(raw.Load(file.string().c_str()), kStatusOk);
    const UprightCells cells = DemosaicFieldCells(raw.Samples(), raw.Workers());
    const int32_t side = raw.MosaicSide();
    const int32_t w = raw.m_width;
    const int32_t h = raw.m_height;
    Demosaiced image{side, std::vector<uint8_t>(static_cast<size_t>(side) * static_cast<size_t>(side) * 4)};
    WhiteBalanceWindow(raw.m_mosaic.get(), side);
    RenderBalancedRows(MosaicRows{raw.m_mosaic.get(), raw.MosaicSide()}, 0, side, image.bmpRows.data());

    // In bands of an odd number of rows, so that bands start on both kinds.
    constexpr int32_t kBand = 7;
    std::vector<uint8_t> band(static_cast<size_t>(kBand) * 2 * static_cast<size_t>(w) * 3);
    int64_t nonBlack = 0;
    for (int32_t first = 0; first < 2 * h; first += kBand)
    {
        const int32_t rows = std::min(kBand, 2 * h - first);
        RenderUprightRows(cells, first, rows, band.data());
        for (int32_t i = 0; i < rows; ++i)
            for (int32_t column = 0; column < 2 * w; ++column)
            {
                const uint8_t* got = band.data() + (static_cast<size_t>(i) * 2 * static_cast<size_t>(w) + static_cast<size_t>(column)) * 3;
                const std::array<uint8_t, 3> want = ReferencePixel(image, w, h, first + i, column);
                ASSERT_TRUE(got[0] == want[0] && got[1] == want[1] && got[2] == want[2])
                    << "pixel (" << first + i << ", " << column << ")";
                nonBlack += got[0] != 0 || got[1] != 0 || got[2] != 0 ? 1 : 0;
            }
    }
    if (nonBlackShare > 0)
    {
        EXPECT_NEAR(static_cast<double>(nonBlack) / (4.0 * w * h), nonBlackShare, 0.000005);
    }
}

TEST(Upright, MatchesTheDefinitionOnTheChart)
{
    TempDir dir;
    ASSERT_TRUE(WriteChartFile(dir / "chart.raf"));
    // The diamond fills the frame: 99.998 % of the view shows it.
    ExpectUprightMatchesTheDefinition(dir / "chart.raf", 0.99998);
}

TEST(Upright, MatchesTheDefinitionOnRandomBytes)
{
    TempDir dir;
    std::mt19937 random(19);
    std::vector<uint8_t> bytes(static_cast<size_t>(CRawX10::kTailBytes));
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    WriteFile(dir / "random.raf", bytes);
    ExpectUprightMatchesTheDefinition(dir / "random.raf", 0);
}

}  // namespace
