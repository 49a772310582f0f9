// The fast demosaic scan against the per-cell rules, for every instruction-set
// variant that this processor runs: random mosaics of many sides (every
// remainder of the vector widths), flat and empty regions, samples beyond 13
// bits, the chart, and the arithmetic identities the scan relies on.
#include "demosaic/Demosaic.h"
#include "demosaic/fastscan/FastScan.h"
#include "demosaic/fastscan/FastScanKernel.h"
#include "raw/Lattice.h"
#include "raw/RawX10.h"
#include "tools/Chart.h"

#include "SmallMosaic.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{

// A raw image object holding only a side x side mosaic.
struct CTestMosaic
{
    explicit CTestMosaic(int32_t side) { GiveSquareMosaic(m_raw, side); }
    int32_t Side() const { return m_raw.MosaicSide(); }
    uint16_t& At(int32_t r, int32_t c) { return m_raw.m_mosaic[static_cast<size_t>(r) * Side() + c]; }

    CRawX10 m_raw;
};

// A pixel buffer as the scans find it: a marker (0xA5) in every byte, except
// the fourth byte of the window's pixels, which is 0 as in the program's
// buffer (the per-cell rules leave it alone, the fast scan writes the 0). A
// byte outside the window that a scan touches shows as a difference.
std::vector<uint8_t> MarkedPixels(int32_t side)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(side) * side * 4, 0xA5);
    for (int32_t row = 9; row <= side - 8; ++row)
        for (int32_t x = 9; x <= side - 8; ++x)
            pixels[(static_cast<size_t>(row) * side + x) * 4 + 3] = 0;
    return pixels;
}

// Pixels of the window from the per-cell rules, and from one variant.
std::vector<uint8_t> ScanByCell(const CRawX10& raw)
{
    const int32_t side = raw.MosaicSide();
    std::vector<uint8_t> pixels = MarkedPixels(side);
    for (int32_t r = kWindowMargin; r <= side - 1 - kWindowMargin; ++r)
        for (int32_t c = kWindowMargin; c <= side - 1 - kWindowMargin; ++c)
            std::memcpy(&pixels[(static_cast<size_t>(side - r) * side + (side - c)) * 4], InterpolateCell(RowsOf(raw), r, c).pixel,
                        4);
    return pixels;
}

// The fast scan of the whole window; exact tells whether it could be exact.
std::vector<uint8_t> ScanWith(ScanVariant variant, const CRawX10& raw, bool* exact = nullptr)
{
    const int32_t side = raw.MosaicSide();
    std::vector<uint8_t> pixels = MarkedPixels(side);
    CFastScanScratch scratch(kWindowMargin, side - 1 - kWindowMargin);
    const bool scanExact = ScanRowsWith(variant, raw.m_mosaic.get(), side, kWindowMargin, side - 1 - kWindowMargin,
                                        ScanTarget{pixels.data(), 0}, scratch);
    if (exact != nullptr)
        *exact = scanExact;
    return pixels;
}

// Describes the first differing pixel as its composite cell.
std::string FirstDifference(const std::vector<uint8_t>& want, const std::vector<uint8_t>& got, int32_t side)
{
    for (size_t i = 0; i < want.size(); ++i)
        if (want[i] != got[i])
        {
            const auto pixel = static_cast<int32_t>(i / 4);
            const int32_t r = side - pixel / side;
            const int32_t c = side - pixel % side;
            return "cell (" + std::to_string(r) + ", " + std::to_string(c) + ") byte " + std::to_string(i % 4) +
                   ": want " + std::to_string(want[i]) + ", got " + std::to_string(got[i]);
        }
    return "none";
}

// The kinds of mosaic content the scan must reproduce.
enum class Content
{
    Full12Bit,        // raw samples 0 to 4095 everywhere
    WhiteBalanced,    // the same after the white balance of the window
    Largest13Bit,     // samples up to 8191, the limit of the 16-bit lanes
    NearlyFlat,       // x or x + 1: every gradient 0 or 1, no direction usable
    ZeroRegions,      // random samples with blocks of zeros, as at the corners
    Edges,            // steps between flat levels: few usable directions
};

void Fill(CTestMosaic& mosaic, Content content, std::mt19937& random)
{
    const int32_t side = mosaic.Side();
    std::uniform_int_distribution<int32_t> sample12(0, 4095);
    std::uniform_int_distribution<int32_t> sample13(0, 8191);
    std::uniform_int_distribution<int32_t> coin(0, 1);
    std::uniform_int_distribution<int32_t> level(0, 4095);
    const int32_t base = level(random);
    const int32_t zeroRow = side / 3;
    const int32_t zeroColumn = side / 2;
    for (int32_t r = 0; r < side; ++r)
        for (int32_t c = 0; c < side; ++c)
        {
            int32_t value = 0;
            switch (content)
            {
            case Content::Full12Bit:
            case Content::WhiteBalanced:
                value = sample12(random);
                break;
            case Content::Largest13Bit:
                value = sample13(random);
                break;
            case Content::NearlyFlat:
                value = base + coin(random);
                break;
            case Content::ZeroRegions:
                value = (r < zeroRow && c < zeroColumn) || (r + c) % 7 == 0 ? 0 : sample12(random);
                break;
            case Content::Edges:
                value = ((r / 5 + c / 3) % 3) * 1500 + coin(random) * 3;
                break;
            }
            mosaic.At(r, c) = static_cast<uint16_t>(value);
        }
    if (content == Content::WhiteBalanced)
        WhiteBalanceWindow(mosaic.m_raw.m_mosaic.get(), side);
}

class FastScanVariant : public testing::TestWithParam<ScanVariant>
{
};

// Sides 17 (one column of window) to 100: the window's red-and-blue and
// green counts (1 to 42) take every remainder of 8, 16 and 32 lanes, odd and
// even widths alike.
TEST_P(FastScanVariant, MatchesThePerCellRulesOnRandomMosaicsOfEverySide)
{
    std::mt19937 random(20240611);
    for (int32_t side = 17; side <= 100; ++side)
        for (Content content : {Content::Full12Bit, Content::WhiteBalanced, Content::Largest13Bit,
                                Content::NearlyFlat, Content::ZeroRegions, Content::Edges})
        {
            CTestMosaic mosaic(side);
            Fill(mosaic, content, random);
            const std::vector<uint8_t> want = ScanByCell(mosaic.m_raw);
            const std::vector<uint8_t> got = ScanWith(GetParam(), mosaic.m_raw);
            ASSERT_TRUE(want == got) << "side " << side << ", content " << static_cast<int>(content) << ": "
                                     << FirstDifference(want, got, side);
        }
}

// A wide window, so that the vector loops run many full iterations, with
// every content kind in horizontal bands of one mosaic.
TEST_P(FastScanVariant, MatchesThePerCellRulesOnAWideMosaic)
{
    constexpr int32_t side = 613;
    std::mt19937 random(7);
    CTestMosaic bands(side);
    const Content contents[] = {Content::WhiteBalanced, Content::NearlyFlat, Content::ZeroRegions, Content::Edges,
                                Content::Largest13Bit};
    for (int band = 0; band < 5; ++band)
    {
        CTestMosaic source(side);
        Fill(source, contents[band], random);
        for (int32_t r = band * side / 5; r < (band + 1) * side / 5; ++r)
            for (int32_t c = 0; c < side; ++c)
                bands.At(r, c) = source.At(r, c);
    }
    const std::vector<uint8_t> want = ScanByCell(bands.m_raw);
    const std::vector<uint8_t> got = ScanWith(GetParam(), bands.m_raw);
    ASSERT_TRUE(want == got) << FirstDifference(want, got, side);
}

// Samples no 12-bit input can produce would overflow the 16-bit lanes: the
// scan says so, and the pass then renders with the per-cell rules.
TEST_P(FastScanVariant, ReportsSamplesBeyondThirteenBits)
{
    constexpr int32_t side = 40;
    std::mt19937 random(3);
    for (const uint16_t large : {uint16_t{8192}, uint16_t{40000}, uint16_t{65535}})
        for (const Cell cell : {Cell{20, 21}, Cell{side - 7, 6}})  // also the last row and first column read
        {
            CTestMosaic mosaic(side);
            Fill(mosaic, Content::Largest13Bit, random);
            bool exact = false;
            ScanWith(GetParam(), mosaic.m_raw, &exact);
            ASSERT_TRUE(exact);
            mosaic.At(cell.r, cell.c) = large;
            ScanWith(GetParam(), mosaic.m_raw, &exact);
            EXPECT_FALSE(exact) << large << " at " << cell.r << ", " << cell.c;
            if (GetParam() == AvailableScanVariants().back())
            {
                std::vector<uint8_t> want(size_t{side} * side * 4);
                std::vector<uint8_t> got(want.size());
                RenderBalancedRowsByCell(RowsOf(mosaic.m_raw), 0, side, want.data());
                RenderBalancedRows(RowsOf(mosaic.m_raw), 0, side, got.data());
                ASSERT_TRUE(want == got) << FirstDifference(want, got, side);
            }
        }
}

// The chart, white-balanced as the pass does it: every pixel of the window.
TEST_P(FastScanVariant, MatchesThePerCellRulesOnTheChart)
{
    testsupport::TempDir dir;
    const std::string path = (dir / "chart.raf").string();
    testsupport::WriteFile(path, MakeChartFile());
    CRawX10 raw;
    ASSERT_EQ(raw.Load(path.c_str()), kStatusOk);
    WhiteBalanceWindow(raw.m_mosaic.get(), raw.MosaicSide());
    static const std::vector<uint8_t> s_want = ScanByCell(raw);  // the slow scan once for all variants
    const std::vector<uint8_t> got = ScanWith(GetParam(), raw);
    ASSERT_TRUE(s_want == got) << FirstDifference(s_want, got, raw.MosaicSide());
}

INSTANTIATE_TEST_SUITE_P(Variants, FastScanVariant, testing::ValuesIn(AvailableScanVariants()),
                         [](const testing::TestParamInfo<ScanVariant>& instance) {
                             return std::string(NameOfScanVariant(instance.param));
                         });

// The mean colour difference is taken as float(d) * (1.0f / n), truncated:
// equal to the integer quotient for every numerator the sums can give.
TEST(FastScanArithmetic, ReciprocalMultiplicationGivesTheIntegerQuotient)
{
    for (int32_t n = 1; n <= 8; ++n)
    {
        const float reciprocal = 1.0f / static_cast<float>(n);
        for (int32_t d = -65535; d <= 65535; ++d)
            ASSERT_EQ(static_cast<int32_t>(static_cast<float>(d) * reciprocal), d / n) << d << " / " << n;
    }
}

// The division by 12 is done on integers: the same truncated quotient as the
// single-precision division for every 16-bit value.
TEST(FastScanArithmetic, IntegerDivisionByTwelveEqualsTheFloatDivision)
{
    for (int32_t e = -32768; e <= 32767; ++e)
        ASSERT_EQ(static_cast<int32_t>(static_cast<float>(e) / 12.0f), e / 12) << e;
}

// The bytes of the 16-bit body against the per-cell forms, over every sample
// of 13 bits and every count, on sums spread over their whole range.
TEST(FastScanArithmetic, BytesEqualThePerCellValues)
{
    for (int32_t sample = 0; sample < 8192; ++sample)
        ASSERT_EQ(NativeByte(static_cast<Sample>(sample)), NativeValue(sample)) << sample;
    std::mt19937 random(1);
    for (int32_t n = 1; n <= 8; ++n)
    {
        std::uniform_int_distribution<int32_t> sum(0, n * 8191);
        const float reciprocal = 1.0f / static_cast<float>(n);
        for (int i = 0; i < 200000; ++i)
        {
            const int32_t s = sum(random);
            const int32_t nativeSum = sum(random);
            const int32_t sample = i % 8192;
            ASSERT_EQ(InterpolatedByte(static_cast<Sum>(s), static_cast<Sum>(nativeSum), reciprocal,
                                       static_cast<Sample>(sample)),
                      InterpolatedValue(s, nativeSum, n, sample))
                << s << ", " << nativeSum << ", " << n << ", " << sample;
        }
    }
}

}  // namespace
