// Reconstruction of the built-in chart: the image the program writes (Load
// and Demosaic, with the fast scan) equals the per-cell rules' rendering, and
// compared cell by cell with the chart's own colours it is close where the
// chart is smooth and in the right place around edges.
#include "TestSupport.h"
#include "formats/BmpWriter.h"
#include "demosaic/Demosaic.h"
#include "raw/RawX10.h"
#include "tools/Chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace
{

constexpr int32_t kSide = CRawX10::kFieldWidth + CRawX10::kFieldHeight;
constexpr int32_t kFirst = 8;  // the scan window, rows and columns 8 to a - 9
constexpr int32_t kLast = kSide - 9;

// The byte the chart asks for in one channel.
int32_t ExpectedByte(int32_t value)
{
    return std::min(255, value / 12);
}

// True when the 5 x 5 neighbourhood of (r, c) lies where the loader puts
// samples: the diamond m_width + 2 <= r + c <= m_width + 2 m_height and
// -(m_width + 1) <= r - c <= m_width - 4.
bool NeighbourhoodHoldsSamples(int32_t r, int32_t c)
{
    const int32_t u = r + c;
    const int32_t v = r - c;
    return u - 4 >= CRawX10::kFieldWidth + 2 && u + 4 <= CRawX10::kFieldWidth + 2 * CRawX10::kFieldHeight &&
           v - 4 >= -(CRawX10::kFieldWidth + 1) && v + 4 <= CRawX10::kFieldWidth - 4;
}

// Per channel (blue, green, red): the sum and the largest of the absolute
// errors, and the number of cells.
struct ErrorTally
{
    std::array<int64_t, 3> sum{};
    std::array<int32_t, 3> largest{};
    int64_t cells = 0;

    void Add(const uint8_t* pixel, const int32_t expected[3])
    {
        for (int k = 0; k < 3; ++k)
        {
            const int32_t error = std::abs(pixel[k] - expected[k]);
            sum[k] += error;
            largest[k] = std::max(largest[k], error);
        }
        ++cells;
    }
    double Mean(int k) const { return cells == 0 ? 0.0 : static_cast<double>(sum[k]) / static_cast<double>(cells); }
    int64_t Total() const { return sum[0] + sum[1] + sum[2]; }
};

struct ImageErrors
{
    ErrorTally smooth;      // cells where the chart is smooth
    ErrorTally everywhere;  // every cell whose neighbourhood holds samples
    // Around edges and lines: the pixel of cell (r + dr, c + dc) against the
    // chart at (r, c), index [dr + 1][dc + 1].
    std::array<std::array<ErrorTally, 3>, 3> shifted;
};

// Makes the program's image of the chart and the per-cell rules' rendering of
// it once for the suite, and measures the program's image in one pass over
// the window, since the chart is costly to evaluate.
class ChartReconstruction : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        testsupport::TempDir dir;
        testsupport::WriteFile(dir / "chart.raf", MakeChartFile());
        CRawX10 raw;
        ASSERT_EQ(raw.Load((dir / "chart.raf").string().c_str()), kStatusOk);
        ASSERT_EQ(raw.Demosaic(), kStatusOk);
        s_file = testsupport::ReadFile(dir / "chart.raf.bmp");
        ASSERT_EQ(s_file.size(), size_t{kBmpHeaderBytes} + size_t{kSide} * kSide * 4);
        s_perCell.assign(size_t{kSide} * kSide * 4, 0xA5);
        RenderBalancedRowsByCell(MosaicRows{raw.m_mosaic.get(), raw.MosaicSide()}, 0, kSide, s_perCell.data());

        for (int32_t r = kFirst; r <= kLast; ++r)
            for (int32_t c = kFirst; c <= kLast; ++c)
            {
                if (!NeighbourhoodHoldsSamples(r, c))
                    continue;
                const ChartColour colour = ChartColourAt(r, c);
                const int32_t expected[3] = {ExpectedByte(colour.blue), ExpectedByte(colour.green),
                                             ExpectedByte(colour.red)};
                s_errors.everywhere.Add(PixelOfCell(r, c), expected);
                if (ChartIsSmoothAt(r, c))
                {
                    s_errors.smooth.Add(PixelOfCell(r, c), expected);
                    continue;
                }
                for (int dr = -1; dr <= 1; ++dr)
                    for (int dc = -1; dc <= 1; ++dc)
                        s_errors.shifted[dr + 1][dc + 1].Add(PixelOfCell(r + dr, c + dc), expected);
            }
    }

    static void TearDownTestSuite()
    {
        s_file = {};
        s_perCell = {};
    }

    void SetUp() override { ASSERT_FALSE(s_file.empty()); }

    static const uint8_t* Pixels() { return s_file.data() + kBmpHeaderBytes; }

    // The image is the mosaic mirrored left to right: cell (r, c) is pixel
    // a - c of storage row a - r.
    static const uint8_t* PixelOfCell(int32_t r, int32_t c)
    {
        return Pixels() + (int64_t{kSide - r} * kSide + (kSide - c)) * 4;
    }

    static std::vector<uint8_t> s_file;
    static std::vector<uint8_t> s_perCell;
    static ImageErrors s_errors;
};

std::vector<uint8_t> ChartReconstruction::s_file;
std::vector<uint8_t> ChartReconstruction::s_perCell;
ImageErrors ChartReconstruction::s_errors;

// The program's image, made with the fast scan, is byte for byte the one the
// per-cell rules give.
TEST_F(ChartReconstruction, ProgramImageIsThePerCellRendering)
{
    ASSERT_TRUE(std::equal(s_perCell.begin(), s_perCell.end(), Pixels()));
}

const char* const kChannel[3] = {"blue", "green", "red"};

// Over the smooth regions of the chart the image is off by at most one step
// of a byte, on average by 0.0497 (blue), 0.0222 (green) and 0.0489 (red)
// over 11,430,925 cells. Over every cell of the window whose neighbourhood
// holds samples, edges and fine lines included, the mean errors are 0.975,
// 0.664 and 0.979 over 12,575,929 cells. A swapped red and blue, a wrong
// class table or a misplaced pixel raises them many times over.
TEST_F(ChartReconstruction, MatchesTheChart)
{
    const ImageErrors& errors = s_errors;
    ASSERT_GT(errors.smooth.cells, 11'000'000);
    const double smoothBound[3] = {0.055, 0.025, 0.055};
    const double everywhereBound[3] = {1.05, 0.72, 1.05};
    for (int k = 0; k < 3; ++k)
    {
        EXPECT_LE(errors.smooth.largest[k], 1) << kChannel[k];
        EXPECT_LT(errors.smooth.Mean(k), smoothBound[k]) << kChannel[k];
        EXPECT_LT(errors.everywhere.Mean(k), everywhereBound[k]) << kChannel[k];
    }
}

// Around the chart's edges and fine lines the image fits the chart best
// where it is, not one cell off in any direction. Mean errors there: 10.21,
// 7.07 and 10.27 at the right place; the closest other fit, one cell west,
// 14.93, 16.25 and 14.97.
TEST_F(ChartReconstruction, AlignsWithTheChart)
{
    const auto& shifted = s_errors.shifted;
    for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
        {
            if (dr == 0 && dc == 0)
                continue;
            EXPECT_LT(shifted[1][1].Total() * 5 / 4, shifted[dr + 1][dc + 1].Total()) << "offset " << dr << ", " << dc;
        }
}

// The border of the image is never written, nor the fourth byte of a pixel.
TEST_F(ChartReconstruction, OnlyTheWindowIsWritten)
{
    for (int32_t row = 0; row < kSide; ++row)
        for (int32_t x = 0; x < kSide; ++x)
        {
            const uint8_t* pixel = Pixels() + (int64_t{row} * kSide + x) * 4;
            const bool window =
                row >= kSide - kLast && row <= kSide - kFirst && x >= kSide - kLast && x <= kSide - kFirst;
            if (!window)
            {
                ASSERT_TRUE(pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 0)
                    << "storage row " << row << ", pixel " << x;
            }
            ASSERT_EQ(pixel[3], 0) << "storage row " << row << ", pixel " << x;
        }
}

}  // namespace
