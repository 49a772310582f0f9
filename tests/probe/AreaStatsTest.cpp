// Statistics of an area against a count made here: every sample of both
// fields is placed by the loader's rule (its element of the mosaic), turned
// into the pixel that shows it, and counted when that pixel lies in the area.
#include "probe/AreaStats.h"
#include "raw/Placement.h"
#include "raw/RawX10.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace
{

TEST(AreaStats, AgreesWithACountOverEveryPlacedSample)
{
    TempDir dir;
    ASSERT_TRUE(WriteChartFile(dir / "chart.raf"));
    CRawX10 raw;
    ASSERT_EQ(raw.LoadFields((dir / "chart.raf").string().c_str()), kStatusOk);
    const int32_t side = raw.MosaicSide();
    const int32_t w = raw.m_width;
    const int32_t h = raw.m_height;
    const ImageArea areas[] = {
        {0, 0, side, side},           // everything: column 0 and the bottom row show no cell
        {2000, 1500, 10, 10},         // inside the diamond
        {0, 0, 1, 1},                 // one pixel that shows nothing
        {5084, 2140, 4, 10},          // mosaic columns 1 to 4, where the wrapped samples land
        {0, 2140, 3, 12},             // image column 0 and the diamond's eastern tip
        {3000, 5000, 88, 88},         // the bottom edge
        {4711, 13, 1, 5075},          // one column
    };
    for (const ImageArea& area : areas)
    {
        SCOPED_TRACE(std::to_string(area.x) + ", " + std::to_string(area.y));
        ColourValueCounts counts[2] = {EmptyColourValueCounts(), EmptyColourValueCounts()};
        int64_t samples[2] = {0, 0};
        for (int32_t f = 0; f < 2; ++f)
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                {
                    // The pixel that shows the sample's cell.
                    const MosaicCell cell = CellOfSample(w, h, f, y, x);
                    const int64_t px = MirroredColumn(side, cell.c);
                    const int64_t py = cell.r - 1;
                    if (px >= area.x && px < area.x + area.width && py >= area.y && py < area.y + area.height &&
                        px < side)
                    {
                        const uint16_t sample = (f == 0 ? raw.m_field0 : raw.m_field1)[y * w + x];
                        ++counts[f][static_cast<size_t>(ColourOfFieldSample(y, x))][sample];
                        ++samples[f];
                    }
                }
        const int64_t shownColumns = area.x + area.width - std::max<int64_t>(area.x, 1);
        const int64_t shownRows = std::min<int64_t>(area.y + area.height, side - 1) - area.y;
        const AreaStats stats = ComputeAreaStats(raw, area);
        EXPECT_EQ(stats.cells, std::max<int64_t>(shownColumns, 0) * std::max<int64_t>(shownRows, 0));
        for (int f = 0; f < 2; ++f)
        {
            EXPECT_EQ(stats.samples[f], samples[f]);
            const FieldStats expected = StatsOfColourValueCounts(counts[f]);
            for (size_t colour = 0; colour < 3; ++colour)
            {
                EXPECT_EQ(stats.fields[f][colour].count, expected[colour].count);
                EXPECT_EQ(stats.fields[f][colour].histogram, expected[colour].histogram);
                EXPECT_EQ(stats.fields[f][colour].p50, expected[colour].p50);
                EXPECT_EQ(stats.fields[f][colour].mean, expected[colour].mean);
            }
        }
    }
}

TEST(AreaStats, EmptyOrOutsideAreasAreRefused)
{
    EXPECT_EQ(CheckArea({0, 0, 5088, 5088}, 5088), kStatusOk);
    EXPECT_EQ(CheckArea({5087, 5087, 1, 1}, 5088), kStatusOk);
    EXPECT_EQ(CheckArea({10, 10, 0, 5}, 5088), kStatusAreaEmpty);
    EXPECT_EQ(DescribeAreaProblem(kStatusAreaEmpty, {10, 10, 5, -1}, 5088), "the area 5 x -1 is empty");
    for (const ImageArea outside : {ImageArea{-1, 0, 5, 5}, ImageArea{0, -1, 5, 5}, ImageArea{5084, 0, 5, 5},
                                    ImageArea{0, 5000, 5, 89}, ImageArea{2147483647, 0, 2147483647, 1}})
        EXPECT_EQ(CheckArea(outside, 5088), kStatusAreaOutsideImage);
    EXPECT_EQ(DescribeAreaProblem(kStatusAreaOutsideImage, {5084, -3, 5, 5}, 5088),
              "the area 5 x 5 at (5084, -3) reaches outside the 5088 x 5088 image");
}

}  // namespace
