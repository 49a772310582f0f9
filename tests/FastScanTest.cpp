// The fast demosaic scan against the per-cell rules, for every instruction-set
// variant that this processor runs: random mosaics of many sides (every
// remainder of the vector widths), flat and empty regions, the chart, the
// border of the pixel buffer, and the arithmetic identities the scan relies on.
// Also the vectorised previews against their display-value functions for
// every sample value, and the four files of a run on the chart.
#include "bmp/BmpWriter.h"
#include "bmp/Previews.h"
#include "demosaic/Demosaic.h"
#include "demosaic/FastScan.h"
#include "demosaic/FastScanKernel.h"
#include "demosaic/Gradients.h"
#include "raw/Lattice.h"
#include "raw/RawX10.h"
#include "tools/Chart.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace
{

// A raw image object holding only a side x side mosaic.
struct CTestMosaic
{
    explicit CTestMosaic(int32_t side)
    {
        m_raw.m_height = side / 2;
        m_raw.m_width = side - m_raw.m_height;
        m_raw.m_mosaic = std::make_unique<uint16_t[]>(static_cast<size_t>(side) * side);
    }
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
    g_mosaicSide = raw.MosaicSide();
    std::vector<uint8_t> pixels = MarkedPixels(raw.MosaicSide());
    ScanWindowByCell(raw, pixels.data());
    return pixels;
}

std::vector<uint8_t> ScanWith(ScanVariant variant, const CRawX10& raw)
{
    g_mosaicSide = raw.MosaicSide();
    std::vector<uint8_t> pixels = MarkedPixels(raw.MosaicSide());
    ScanWindowWith(variant, raw, pixels.data());
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

// Samples no 12-bit input can produce make the scan fall back to the per-cell
// rules instead of overflowing its 16-bit lanes.
TEST_P(FastScanVariant, FallsBackForSamplesBeyondThirteenBits)
{
    constexpr int32_t side = 40;
    std::mt19937 random(3);
    for (const uint16_t large : {uint16_t{8192}, uint16_t{40000}, uint16_t{65535}})
    {
        CTestMosaic mosaic(side);
        Fill(mosaic, Content::Largest13Bit, random);
        mosaic.At(20, 21) = large;
        mosaic.At(side - 7, 6) = large;  // the last row and first column the scan reads
        const std::vector<uint8_t> want = ScanByCell(mosaic.m_raw);
        const std::vector<uint8_t> got = ScanWith(GetParam(), mosaic.m_raw);
        ASSERT_TRUE(want == got) << large << ": " << FirstDifference(want, got, side);
    }
}

// The chart, white-balanced as the pass does it: every pixel of the window.
TEST_P(FastScanVariant, MatchesThePerCellRulesOnTheChart)
{
    testsupport::TempDir dir;
    const std::string path = (dir / "chart.raf").string();
    testsupport::WriteFile(path, MakeChartFile());
    CRawX10 raw;
    ASSERT_EQ(raw.Load(path.c_str()), 0);
    WhiteBalanceWindow(raw.m_mosaic.get(), raw.MosaicSide());
    static const std::vector<uint8_t> s_want = ScanByCell(raw);  // the slow scan once for all variants
    const std::vector<uint8_t> got = ScanWith(GetParam(), raw);
    ASSERT_TRUE(s_want == got) << FirstDifference(s_want, got, raw.MosaicSide());
}

INSTANTIATE_TEST_SUITE_P(Variants, FastScanVariant, testing::ValuesIn(AvailableScanVariants()),
                         [](const testing::TestParamInfo<ScanVariant>& info) {
                             return std::string(NameOfScanVariant(info.param));
                         });

TEST(FastScan, DispatchUsesTheWidestAvailableVariant)
{
    const std::vector<ScanVariant> variants = AvailableScanVariants();
    ASSERT_FALSE(variants.empty());
    EXPECT_EQ(variants.front(), ScanVariant::kBaseline);
    CTestMosaic mosaic(45);
    std::mt19937 random(5);
    Fill(mosaic, Content::WhiteBalanced, random);
    std::vector<uint8_t> got = MarkedPixels(45);
    g_mosaicSide = 45;
    ScanWindowFast(mosaic.m_raw, got.data());
    EXPECT_TRUE(got == ScanWith(variants.back(), mosaic.m_raw));
}

// The white balance in column pairs against the per-cell form, on samples
// spread over the whole 16-bit range (where the float product leaves 16 bits
// too) and on windows of odd and even width.
TEST(FastScan, WhiteBalanceInPairsEqualsThePerCellForm)
{
    for (const int32_t side : {16, 17, 18, 19, 40, 41, 300})
    {
        std::vector<uint16_t> mosaic(static_cast<size_t>(side) * side);
        for (size_t i = 0; i < mosaic.size(); ++i)
            mosaic[i] = static_cast<uint16_t>(i * 2654435761u >> 7);
        std::vector<uint16_t> want = mosaic;
        WhiteBalanceWindow(want.data(), side);
        WhiteBalanceWindowInPairs(mosaic.data(), side);
        ASSERT_TRUE(mosaic == want) << "side " << side;
    }
}

// Only the window's pixels are written: storage rows and pixels 9 to side - 8.
TEST(FastScan, ZeroOutsideWindowClearsExactlyTheBorder)
{
    for (const int32_t side : {1, 16, 17, 18, 31, 64})
    {
        std::vector<uint8_t> pixels(static_cast<size_t>(side) * side * 4, 0xA5);
        ZeroOutsideWindow(pixels.data(), side);
        for (int32_t row = 0; row < side; ++row)
            for (int32_t x = 0; x < side; ++x)
            {
                const bool window = row >= 9 && row <= side - 8 && x >= 9 && x <= side - 8;
                for (int b = 0; b < 4; ++b)
                    ASSERT_EQ(pixels[(static_cast<size_t>(row) * side + x) * 4 + b], window ? 0xA5 : 0)
                        << "side " << side << ", row " << row << ", pixel " << x;
            }
    }
}

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

// Every 16-bit sample in every colour of the field preview, on a field of odd
// width (the last sample of a row has no partner).
TEST(FastPreview, FieldPreviewGivesTheValueOfEverySample)
{
    testsupport::TempDir dir;
    CRawX10 raw;
    raw.m_width = 515;
    raw.m_height = 520;
    raw.m_path = (dir / "f.raf").string();
    const size_t count = size_t{515} * 520;
    raw.m_field0 = std::make_unique<uint16_t[]>(count);
    raw.m_field1 = std::make_unique<uint16_t[]>(count);
    uint32_t next[3] = {0, 0, 0};  // per colour, the next sample value to place
    for (int32_t y = 0; y < raw.m_height; ++y)
        for (int32_t x = 0; x < raw.m_width; ++x)
        {
            const auto colour = static_cast<int>(ColourOfFieldSample(y, x));
            raw.m_field0[static_cast<size_t>(y) * raw.m_width + x] = static_cast<uint16_t>(next[colour]++);
        }
    ASSERT_GE(std::min({next[0], next[1], next[2]}), 65536u);
    ASSERT_EQ(raw.SaveFieldPreview(raw.m_field0.get()), 0);
    const std::vector<uint8_t> bmp = testsupport::ReadFile(dir / "f.raf.f0.bmp");
    ASSERT_EQ(bmp.size(), kBmpHeaderBytes + count * 4);
    for (int32_t y = 0; y < raw.m_height; ++y)
        for (int32_t x = 0; x < raw.m_width; ++x)
        {
            const uint16_t sample = raw.m_field0[static_cast<size_t>(y) * raw.m_width + x];
            const CellColour colour = ColourOfFieldSample(y, x);
            uint8_t want[4] = {};
            want[PixelByteOfColour(colour)] = FieldPreviewValue(sample, colour == CellColour::Green);
            const uint8_t* got =
                bmp.data() + kBmpHeaderBytes + (static_cast<size_t>(raw.m_height - 1 - y) * raw.m_width + x) * 4;
            ASSERT_TRUE(std::equal(want, want + 4, got)) << "field (" << y << ", " << x << "), sample " << sample;
        }
}

// Every 12-bit sample in every colour of the mosaic preview, rows that hold a
// larger sample (drawn cell by cell), and a drawn width that leaves three
// cells after the steps of four.
TEST(FastPreview, MosaicPreviewGivesTheValueOfEverySample)
{
    constexpr int32_t side = 331;
    testsupport::TempDir dir;
    CTestMosaic mosaic(side);
    mosaic.m_raw.m_path = (dir / "m.raf").string();
    std::mt19937 random(12);
    std::uniform_int_distribution<int32_t> anySample(0, 65535);
    uint32_t next[3] = {0, 0, 0};
    for (int32_t r = 0; r < side; ++r)
        for (int32_t c = 0; c < side; ++c)
        {
            const auto colour = static_cast<int>(ColourOfCell(r, c));
            mosaic.At(r, c) = static_cast<uint16_t>(r % 50 == 7 ? anySample(random) : next[colour]++ % 4096);
        }
    ASSERT_GE(std::min({next[0], next[1], next[2]}), 4096u * 6);
    ASSERT_EQ(mosaic.m_raw.SaveMosaicPreview(), 0);
    const std::vector<uint8_t> bmp = testsupport::ReadFile(dir / "m.raf.src.bmp");
    ASSERT_EQ(bmp.size(), kBmpHeaderBytes + size_t{side} * side * 4);
    for (int32_t row = 0; row < side; ++row)
        for (int32_t x = 0; x < side; ++x)
        {
            const int32_t r = side - row;
            const int32_t c = side - x;
            uint8_t want[4] = {};
            if (r >= 2 && r <= side - 3 && c >= 2 && c <= side - 3)
            {
                const CellColour colour = ColourOfCell(r, c);
                want[PixelByteOfColour(colour)] = MosaicPreviewValue(mosaic.At(r, c), colour == CellColour::Green);
            }
            const uint8_t* got = bmp.data() + kBmpHeaderBytes + (static_cast<size_t>(row) * side + x) * 4;
            ASSERT_TRUE(std::equal(want, want + 4, got)) << "storage row " << row << ", pixel " << x;
        }
}

// SHA-256 of a byte string, as lowercase hex.
std::string Sha256Hex(const std::vector<uint8_t>& bytes)
{
    static constexpr uint32_t kRoundConstants[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    auto rotate = [](uint32_t x, int n) { return x >> n | x << (32 - n); };
    // Whole blocks straight from the bytes, then the padded tail.
    std::vector<uint8_t> tail(bytes.end() - static_cast<std::ptrdiff_t>(bytes.size() % 64), bytes.end());
    const uint64_t bits = uint64_t{bytes.size()} * 8;
    tail.push_back(0x80);
    while (tail.size() % 64 != 56)
        tail.push_back(0);
    for (int i = 7; i >= 0; --i)
        tail.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    const size_t wholeBytes = bytes.size() - bytes.size() % 64;
    for (size_t offset = 0; offset < wholeBytes + tail.size(); offset += 64)
    {
        const uint8_t* block = offset < wholeBytes ? bytes.data() + offset : tail.data() + (offset - wholeBytes);
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t{block[4 * i]} << 24 | uint32_t{block[4 * i + 1]} << 16 | uint32_t{block[4 * i + 2]} << 8 |
                   block[4 * i + 3];
        for (int i = 16; i < 64; ++i)
            w[i] = w[i - 16] + (rotate(w[i - 15], 7) ^ rotate(w[i - 15], 18) ^ w[i - 15] >> 3) + w[i - 7] +
                   (rotate(w[i - 2], 17) ^ rotate(w[i - 2], 19) ^ w[i - 2] >> 10);
        uint32_t v[8];
        std::copy(h, h + 8, v);
        for (int i = 0; i < 64; ++i)
        {
            const uint32_t t1 = v[7] + (rotate(v[4], 6) ^ rotate(v[4], 11) ^ rotate(v[4], 25)) +
                                ((v[4] & v[5]) ^ (~v[4] & v[6])) + kRoundConstants[i] + w[i];
            const uint32_t t2 = (rotate(v[0], 2) ^ rotate(v[0], 13) ^ rotate(v[0], 22)) +
                                ((v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]));
            std::copy_backward(v, v + 7, v + 8);
            v[4] += t1;
            v[0] = t1 + t2;
        }
        for (int i = 0; i < 8; ++i)
            h[i] += v[i];
    }
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const uint32_t word : h)
        for (int shift = 28; shift >= 0; shift -= 4)
            hex += kHex[word >> shift & 0xF];
    return hex;
}

TEST(Sha256, KnownDigests)
{
    EXPECT_EQ(Sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex({'a', 'b', 'c'}), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

// The four files of a whole run on the chart, byte for byte as the program
// wrote them before any of its stages was made faster: the digests come from
// the per-cell build at the commit that drew the chart. If the chart itself is
// redrawn (the first check fails), take new digests from a run whose pass
// scans with ScanWindowByCell.
TEST(FastPipeline, ChartOutputsAreThoseOfThePerCellProgram)
{
    testsupport::TempDir dir;
    const std::filesystem::path input = dir / "chart.raf";
    testsupport::WriteFile(input, MakeChartFile());
    ASSERT_EQ(Sha256Hex(testsupport::ReadFile(input)),
              "46c4c59a28c336278afb2a2f687c4493a6dda763b22a4b950d5a64aab05dda14")
        << "the chart has changed; its output digests below must be taken anew";
    const testsupport::ProcessResult run = testsupport::RunProcess({testsupport::kDiagrawExe, input.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::pair<const char*, const char*> outputs[] = {
        {".f0.bmp", "e941ca62432341ac20ffcbb8e63d6a938353fd392902a35c612aba63f6a1280f"},
        {".f1.bmp", "f876d4c64f0d87b8d5184e7e09ebaab39719b06ddef0a94bd860b0545b24dffd"},
        {".src.bmp", "ef963ee41fe22ce12c84b95cc9af2c6b09a8758500b743337652dfd55586dda4"},
        {".bmp", "8345c7c865ce28b3e9c216b7cd871e44f8cf61183a3ed9027d7619501fbcfce8"},
    };
    for (const auto& [suffix, digest] : outputs)
        EXPECT_EQ(Sha256Hex(testsupport::ReadFile(input.string() + suffix)), digest) << suffix;
}

}  // namespace
