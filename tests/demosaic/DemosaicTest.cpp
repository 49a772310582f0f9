// The demosaic pass: white balance, the interpolation of one cell and the
// scan window of a whole (small) image.
#include "SmallMosaic.h"
#include "TestSupport.h"
#include "formats/BmpWriter.h"
#include "demosaic/Demosaic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{

using Pixel = std::array<int32_t, 3>;  // blue, green, red

TEST(WhiteBalance, SampleValues)
{
    // The single-precision product 100 * 1.65f rounds to 165.0; the same
    // float gain widened to double would give 164.
    EXPECT_EQ(WhiteBalancedSample(100, 8), 165);
    EXPECT_EQ(WhiteBalancedSample(4095, 8), 6756);
    EXPECT_EQ(WhiteBalancedSample(4095, 10), 6429);
}

// The gain follows the row pair: 1.65 when floor(r / 2) is even, 1.57 when it
// is odd, and for every 12-bit sample the float product truncates to the
// exact integer scaling.
TEST(WhiteBalance, EqualsIntegerScalingForEvery12BitSample)
{
    for (int32_t r = 0; r < 8; ++r)
    {
        const int32_t percent = (r / 2) % 2 == 0 ? 165 : 157;
        for (int32_t s = 0; s <= 4095; ++s)
            ASSERT_EQ(WhiteBalancedSample(static_cast<uint16_t>(s), r), s * percent / 100)
                << "row " << r << " sample " << s;
    }
}

// Windows of odd and even width, samples over the whole 16-bit range (where
// the float product leaves 16 bits too), and in bands of rows.
TEST(WhiteBalance, ScalesTheEvenColumnsOfTheWindowOnly)
{
    std::mt19937 random(9);
    std::uniform_int_distribution<int> sample(0, 65535);
    for (const int32_t side : {16, 17, 18, 19, 24, 41})
    {
        std::vector<uint16_t> mosaic(side * side);
        for (auto& s : mosaic)
            s = static_cast<uint16_t>(sample(random));
        if (side == 24)  // red and blue cells of one row get the same gain
            mosaic[8 * side + 8] = mosaic[8 * side + 10] = mosaic[10 * side + 10] = mosaic[10 * side + 8] = 100;
        const std::vector<uint16_t> before = mosaic;
        std::vector<uint16_t> inBands = mosaic;
        WhiteBalanceWindow(mosaic.data(), side);
        for (int32_t first = 0; first < side; first += 5)
            WhiteBalanceRows(inBands.data(), side, first, 5);
        ASSERT_TRUE(inBands == mosaic) << "side " << side;
        for (int32_t r = 0; r < side; ++r)
            for (int32_t c = 0; c < side; ++c)
            {
                const bool scaled = r >= 8 && r <= side - 9 && c >= 8 && c <= side - 9 && c % 2 == 0;
                const uint16_t raw = before[r * side + c];
                ASSERT_EQ(mosaic[r * side + c], scaled ? WhiteBalancedSample(raw, r) : raw)
                    << "side " << side << ": " << r << ", " << c;
            }
        if (side == 24)
        {
            EXPECT_EQ(mosaic[8 * side + 8], 165);
            EXPECT_EQ(mosaic[8 * side + 10], 165);
            EXPECT_EQ(mosaic[10 * side + 10], 157);
            EXPECT_EQ(mosaic[10 * side + 8], 157);
        }
    }
}

Pixel InterpolatedPixel(const Neighbourhood& n, SiteClass siteClass)
{
    CSmallMosaic mosaic;
    const Cell cell = CSmallMosaic::FirstCellOf(siteClass);
    mosaic.Place(n, cell);
    const CellInterpolation interpolation = InterpolateCell(RowsOf(mosaic.m_raw), cell.r, cell.c);
    return {interpolation.pixel[0], interpolation.pixel[1], interpolation.pixel[2]};
}

TEST(InterpolateCell, WorkedExample)
{
    // Sums 127, 358, 116 over n = 3: red (116 - 358) / 3 = -80, + 120 = 40;
    // blue (127 - 358) / 3 = -77, + 120 = 43; green 120 / 12.
    EXPECT_EQ(InterpolatedPixel(WorkedExampleNeighbourhood(), SiteClass::G00), (Pixel{3, 10, 3}));
}

TEST(InterpolateCell, MeanDifferenceTruncatesTowardZeroAndBytesAreLimited)
{
    // d = -1 / 2 is 0, not -1: (0 + 12) / 12 = 1.
    EXPECT_EQ(InterpolatedValue(0, 1, 2, 12), 1);
    EXPECT_EQ(InterpolatedValue(0, 4000, 1, 100), 0);   // below 0
    EXPECT_EQ(InterpolatedValue(8000, 0, 1, 0), 255);   // above 255
}

class InterpolateCellByClass : public testing::TestWithParam<SiteClass>
{
};

// Flat colour planes with one steep north-west sample: the seven other
// directions are usable and their estimates exact, so every class must give
// back the three planes, each in its own byte.
TEST_P(InterpolateCellByClass, GivesBackFlatColourPlanes)
{
    const Cell cell = CSmallMosaic::FirstCellOf(GetParam());
    std::mt19937 random(10);
    std::uniform_int_distribution<int32_t> value(0, 6756);
    for (int trial = 0; trial < 100; ++trial)
    {
        const int32_t red = value(random);
        const int32_t green = value(random);
        const int32_t blue = value(random);
        Neighbourhood n = ColourPlanes(cell.r, cell.c, red, green, blue);
        n(-2, -2) += 2000;
        const Pixel expected = {NativeValue(blue), NativeValue(green), NativeValue(red)};
        ASSERT_EQ(InterpolatedPixel(n, GetParam()), expected) << red << " " << green << " " << blue;
    }
}

// With every gradient 0 or 1 no direction is usable: a grey pixel of the
// cell's own value.
TEST_P(InterpolateCellByClass, NoUsableDirectionGivesGrey)
{
    const Cell cell = CSmallMosaic::FirstCellOf(GetParam());
    const CellColour own = ColourOfCell(cell.r, cell.c);
    for (const int32_t value : {0, 1200, 3059, 6756})
    {
        // The other planes stay below 22, so that the divided south term of
        // R1 and B1 is at most 1.
        const auto plane = [&](CellColour colour) { return colour == own ? value : 20; };
        const Neighbourhood n =
            ColourPlanes(cell.r, cell.c, plane(CellColour::Red), plane(CellColour::Green), plane(CellColour::Blue));
        const uint8_t grey = NativeValue(value);
        EXPECT_EQ(InterpolatedPixel(n, GetParam()), (Pixel{grey, grey, grey})) << value;
    }
}

INSTANTIATE_TEST_SUITE_P(AllSiteClasses, InterpolateCellByClass, testing::ValuesIn(kAllSiteClasses),
                         SiteClassParamName());

// The whole pass on an image of side 32 with random samples: every pixel of
// the window is the per-cell rule applied to the white-balanced mosaic, at
// pixel a - c of storage row a - r; every other byte is 0; the cells outside
// the window keep their raw samples, and the edge cells read them so.
TEST(DemosaicPass, SmallImage)
{
    constexpr int32_t side = 32;
    testsupport::TempDir dir;
    CRawX10 raw;
    raw.m_width = 20;
    raw.m_height = side - raw.m_width;
    raw.m_path = (dir / "small.raf").string();
    raw.m_mosaic = std::make_unique<uint16_t[]>(side * side);
    std::mt19937 random(11);
    std::uniform_int_distribution<int> sample(0, 4095);
    for (int32_t i = 0; i < side * side; ++i)
        raw.m_mosaic[i] = static_cast<uint16_t>(sample(random));

    // The expected mosaic after the white balance, and one scaled two cells
    // too far, as a pass would leave it that scaled the edge cells' neighbours.
    CRawX10 expected;
    CRawX10 overscaled;
    GiveSquareMosaic(expected, side);
    GiveSquareMosaic(overscaled, side);
    for (int32_t r = 0; r < side; ++r)
        for (int32_t c = 0; c < side; ++c)
        {
            const uint16_t s = raw.m_mosaic[r * side + c];
            const auto inside = [&](int32_t margin) {
                return r >= margin && r <= side - 1 - margin && c >= margin && c <= side - 1 - margin && c % 2 == 0;
            };
            expected.m_mosaic[r * side + c] = inside(8) ? WhiteBalancedSample(s, r) : s;
            overscaled.m_mosaic[r * side + c] = inside(6) ? WhiteBalancedSample(s, r) : s;
        }

    ASSERT_EQ(raw.Demosaic(), kStatusOk);
    EXPECT_EQ(g_mosaicSide, side);
    EXPECT_TRUE(std::equal(raw.m_mosaic.get(), raw.m_mosaic.get() + side * side, expected.m_mosaic.get()));

    const std::vector<uint8_t> file = testsupport::ReadFile(dir / "small.raf.bmp");
    ASSERT_EQ(file.size(), size_t{kBmpHeaderBytes + side * side * 4});
    int32_t edgeCellsThatSeeTheBorder = 0;
    for (int32_t row = 0; row < side; ++row)
        for (int32_t x = 0; x < side; ++x)
        {
            const uint8_t* got = file.data() + kBmpHeaderBytes + (row * side + x) * 4;
            const bool written = row >= 9 && row <= side - 8 && x >= 9 && x <= side - 8;
            uint8_t want[4] = {};
            if (written)
            {
                const int32_t r = side - row;
                const int32_t c = side - x;
                std::memcpy(want, InterpolateCell(RowsOf(expected), r, c).pixel, 4);
                uint8_t wrong[4] = {};
                std::memcpy(wrong, InterpolateCell(RowsOf(overscaled), r, c).pixel, 4);
                edgeCellsThatSeeTheBorder += std::equal(want, want + 3, wrong) ? 0 : 1;
            }
            ASSERT_TRUE(std::equal(want, want + 4, got)) << "storage row " << row << ", pixel " << x;
        }
    EXPECT_GT(edgeCellsThatSeeTheBorder, 20);
}

// A side x side mosaic of random 12-bit samples.
void GiveRandomMosaic(CRawX10& raw, int32_t side, unsigned seed)
{
    GiveSquareMosaic(raw, side);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> sample(0, 4095);
    for (int32_t i = 0; i < side * side; ++i)
        raw.m_mosaic[i] = static_cast<uint16_t>(sample(random));
}

// Rendered in bands of any height, fast or cell by cell, the image is the
// same bytes as rendered whole.
TEST(DemosaicPass, BandsOfAnyHeightGiveTheWholeImage)
{
    constexpr int32_t side = 37;
    CRawX10 raw;
    GiveRandomMosaic(raw, side, 13);
    WhiteBalanceWindow(raw.m_mosaic.get(), side);
    std::vector<uint8_t> whole(size_t{side} * side * 4, 0xA5);
    RenderBalancedRowsByCell(RowsOf(raw), 0, side, whole.data());
    for (int32_t bandRows = 1; bandRows <= 7; ++bandRows)
        for (const bool fast : {true, false})
        {
            std::vector<uint8_t> bands(whole.size(), 0x5A);
            for (int32_t first = 0; first < side; first += bandRows)
            {
                const int32_t rows = std::min(bandRows, side - first);
                uint8_t* pixels = &bands[size_t{4} * side * first];
                if (fast)
                    RenderBalancedRows(RowsOf(raw), first, rows, pixels);
                else
                    RenderBalancedRowsByCell(RowsOf(raw), first, rows, pixels);
            }
            ASSERT_TRUE(bands == whole) << bandRows << " rows a band, " << (fast ? "fast" : "cell by cell");
        }
}

// A tile's columns of the image, from a scan of their cells alone, are the
// bytes of the whole image there, at the window's edges too.
TEST(DemosaicPass, ColumnsOfATileAreThoseOfTheWholeImage)
{
    constexpr int32_t side = 70;
    CRawX10 raw;
    GiveRandomMosaic(raw, side, 25);
    CDemosaicScratch scratch(side);
    std::vector<uint8_t> whole(size_t{side} * side * 4);
    RenderDemosaicRows(raw.m_mosaic.get(), side, 0, side, whole.data(), scratch);
    std::vector<uint16_t> band;
    // (first pixel, pixels, first storage row, rows)
    const int32_t cases[][4] = {{0, side, 0, side}, {0, 1, 0, 20}, {1, 1, 5, 9}, {7, 13, 30, 16},
                                {33, 2, 50, 20}, {61, 9, 0, 12}, {54, 16, 60, 10}, {10, 40, 8, 1}};
    for (const auto& [x, count, first, rows] : cases)
    {
        std::vector<uint8_t> tile(size_t{side} * 4 * static_cast<size_t>(rows), 0x5A);
        RenderDemosaicColumns(raw.m_mosaic.get(), side, first, rows, x, count, tile.data(), band);
        for (int32_t k = 0; k < rows; ++k)
            ASSERT_TRUE(std::equal(&tile[(size_t{side} * k + x) * 4], &tile[(size_t{side} * k + x + count) * 4],
                                   &whole[(size_t{side} * (first + k) + x) * 4]))
                << "columns " << x << " to " << x + count - 1 << ", storage row " << first + k;
    }
}

}  // namespace
