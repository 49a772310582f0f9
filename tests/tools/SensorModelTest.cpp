// The simulated sensor against its documented model, on bands of 48 rows
// (enough samples, and quick under the sanitizers): statistics per field and
// colour, the Poisson law, defects, clipping, and the file the program writes.
#include "metadata/ExifMetadata.h"
#include "raw/Lattice.h"
#include "raw/RafHeader.h"
#include "raw/RawX10.h"
#include "tools/Chart.h"
#include "tools/RafContainer.h"
#include "tools/SensorModel.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <span>

using namespace testsupport;

namespace
{

constexpr int32_t kWidth = 2944;
constexpr int32_t kHeight = 2144;
constexpr int32_t kBandRows = 48;

std::vector<uint16_t> Band(const SensorModel& model, int32_t field, int32_t firstRow = 0)
{
    std::vector<uint16_t> band(size_t{kBandRows} * kWidth);
    RenderSensorRows(model, field, firstRow, kBandRows, band.data());
    return band;
}

struct Moments
{
    double count = 0, sum = 0, squares = 0;
    double Mean() const { return sum / count; }
    double Variance() const { return squares / count - Mean() * Mean(); }
};

// The moments of a (less b, when given) per colour, red, green, blue.
std::vector<Moments> ByColour(const std::vector<uint16_t>& a, const std::vector<uint16_t>* b = nullptr)
{
    std::vector<Moments> colours(3);
    for (size_t i = 0; i < a.size(); ++i)
    {
        const double v = a[i] - (b != nullptr ? (*b)[i] : 0.0);
        const CellColour colour = ColourOfFieldSample(int32_t(i / kWidth), int32_t(i % kWidth));
        Moments& m = colours[size_t(colour)];
        m.count += 1, m.sum += v, m.squares += v * v;
    }
    return colours;
}

TEST(SensorModel, FlatFramesHaveTheMeanAndTemporalVarianceOfTheModelInEveryFieldAndColour)
{
    // Shot noise by inversion (N 5) and by PTRS, read noise alone, a field
    // ratio; the temporal variance from the difference of two seeds, and no
    // correlation between neighbours.
    const struct { double electrons, gain, readNoise, fieldRatio; } cases[] = {
        {1000, 0.5, 3, 1}, {5, 2, 0.5, 1}, {20000, 0.1, 10, 1}, {0, 1, 5, 1}, {400, 1, 2, 2.5}};
    for (const auto& c : cases)
        for (int32_t field : {0, 1})
        {
            SensorModel model{.electrons = c.electrons, .fieldRatio = c.fieldRatio, .readNoiseElectrons = c.readNoise,
                              .gain = c.gain};
            const std::vector<uint16_t> first = Band(model, field);
            model.seed = 2;
            const std::vector<uint16_t> second = Band(model, field);
            const double electrons = c.electrons * (field == 1 ? c.fieldRatio : 1);
            const double variance = c.gain * c.gain * (electrons + c.readNoise * c.readNoise) + 1.0 / 12;
            double neighbours = 0;  // the covariance of samples 2j and 2j + 1, over 2 * variance
            for (size_t i = 0; i < first.size(); i += 2)
                neighbours += (first[i] - second[i]) * (first[i + 1] - second[i + 1]) / variance / double(first.size());
            EXPECT_NEAR(neighbours, 0, 5 / std::sqrt(first.size() / 2.0));
            for (size_t colour = 0; colour < 3; ++colour)
            {
                SCOPED_TRACE(testing::Message() << "N " << c.electrons << ", field " << field << ", colour " << colour);
                const Moments frame = ByColour(first)[colour];
                EXPECT_NEAR(frame.Mean(), 64 + c.gain * electrons, 4 * std::sqrt(variance / frame.count) + 0.01);
                EXPECT_NEAR(ByColour(first, &second)[colour].Variance() / 2, variance,
                            4 * variance * std::sqrt(2 / frame.count));
            }
        }
}

TEST(SensorModel, PhotoElectronsAreExactlyPoisson)
{
    // At gain 1, offset 0 and no read noise a value is its photo-electrons:
    // their histogram against Poisson's (classes of fewer than 5 expected
    // merged) within 5 standard deviations of chi-square.
    for (const double mean : {0.5, 3.0, 9.9, 10.0, 37.5, 1000.0})
    {
        const std::vector<uint16_t> band = Band({.electrons = mean, .readNoiseElectrons = 0, .gain = 1, .offset = 0}, 0);
        std::vector<double> counts(4096);
        for (const uint16_t value : band)
            counts[value] += 1;
        const auto n = double(band.size());
        double chiSquare = 0, expected = 0, counted = 0, below = 0;
        int32_t classes = 0;
        for (int32_t k = 0; k < 4096; ++k)
        {
            const double p = std::exp(k * std::log(mean) - mean - std::lgamma(k + 1.0));
            below += p, expected += n * p, counted += counts[size_t(k)];
            if ((expected >= 5 && n * (1 - below) >= 5) || k == 4095)
                chiSquare += (counted - expected) * (counted - expected) / expected, ++classes, expected = counted = 0;
        }
        EXPECT_LT(chiSquare, classes - 1 + 5 * std::sqrt(2 * (classes - 1))) << "mean " << mean;
    }
}

TEST(SensorModel, FixedPatternIsSharedAcrossSeedsAndHasItsStandardDeviation)
{
    // Dark and without read noise a frame is its pattern alone: exactly the
    // truth's, the same for every seed, another for another pattern seed.
    SensorModel dark{.electrons = 0, .dsnuElectrons = 20, .readNoiseElectrons = 0, .gain = 1, .offset = 1000};
    const std::vector<uint16_t> pattern = Band(dark, 1, 700);
    int64_t untrue = 0;
    for (int32_t i = 0; i < kBandRows * kWidth; ++i)
        untrue += pattern[size_t(i)] != std::floor(1000.5 + SensorTruthOf(dark, 1, 700 + i / kWidth, i % kWidth).dsnuElectrons);
    EXPECT_EQ(untrue, 0);
    dark.seed = 9;
    EXPECT_EQ(Band(dark, 1, 700), pattern);
    dark.patternSeed = 9;
    EXPECT_NE(Band(dark, 1, 700), pattern);
    const Moments dsnu = ByColour(pattern)[1];
    EXPECT_NEAR(dsnu.Variance(), 400 + 1.0 / 12, 4 * 400 * std::sqrt(2 / dsnu.count));

    // PRNU of 1 % on 10^6 electrons: the spatial variance less the temporal
    // one is (K N p)^2 = 400.
    SensorModel flat{.electrons = 1e6, .prnuPercent = 1, .readNoiseElectrons = 0, .gain = 0.002};
    const std::vector<uint16_t> first = Band(flat, 0);
    flat.seed = 5;
    const std::vector<uint16_t> second = Band(flat, 0);
    for (size_t colour = 0; colour < 3; ++colour)
    {
        const Moments spatial = ByColour(first)[colour];
        const double prnu = spatial.Variance() - ByColour(first, &second)[colour].Variance() / 2;
        EXPECT_NEAR(prnu, 400, 4 * 404 * std::sqrt(2 / spatial.count)) << "colour " << colour;
    }
}

TEST(SensorModel, ChartLightHotAndDeadCellsClippingAndRounding)
{
    // Chart light: N = 10 * 4095 electrons at gain 0.1 give back the chart's
    // sample, with a shot noise of 0.1 * sqrt(10 * sample) DN.
    const std::vector<uint16_t> lit =
        Band({.light = SensorLight::Chart, .electrons = 40950, .readNoiseElectrons = 0, .gain = 0.1, .offset = 0}, 1, 1000);
    double far = 0, offChart = 0;
    for (int32_t i = 0; i < kBandRows * kWidth; ++i)
    {
        const double expected = ChartSampleOf(1, 1000 + i / kWidth, i % kWidth);
        far += std::abs(lit[size_t(i)] - expected) > 6 * 0.1 * std::sqrt(10 * expected) + 0.5;
        offChart += (lit[size_t(i)] - expected) / double(lit.size());
    }
    EXPECT_EQ(far, 0);
    EXPECT_NEAR(offChart, 0, 0.1);  // 0.25 for a scale of 4096

    // Dead and hot cells, lit and dark, and a plain neighbour (last): {F, Y, X, electrons}.
    for (const double electrons : {1000.0, 0.0})
    {
        const SensorModel model{.electrons = electrons, .dead = {{0, 3, 10}, {1, 5, 20}},
                                .hot = {{{0, 5, 20}, 2000}, {{1, 2, 30}}, {{1, 5, 20}, 100}}};
        const std::vector<uint16_t> fields[] = {Band(model, 0), Band(model, 1)};
        const double expected[][4] = {{0, 3, 10, 0}, {0, 5, 20, electrons + 2000}, {1, 2, 30, electrons + 500},
                                      {1, 5, 20, 100}, {0, 4, 10, electrons}};
        for (const auto& [f, y, x, in] : expected)
            EXPECT_NEAR(fields[size_t(f)][size_t(y * kWidth + x)], 64 + 0.5 * in, 6 * 0.5 * std::sqrt(in + 9) + 0.5)
                << f << "," << y << "," << x;
    }

    // Clipped at 4095; and at 0, where round-half-up makes 0 of every value
    // below 1/2: with offset 0 and K * read ~ Normal(0, 1.5), Phi(1/3) of them.
    const std::vector<uint16_t> clipped = Band({.electrons = 1e9}, 0);
    EXPECT_EQ(std::count(clipped.begin(), clipped.end(), 4095), std::ssize(clipped));
    const std::vector<uint16_t> low = Band({.electrons = 0, .offset = 0}, 0);
    EXPECT_NEAR(double(std::count(low.begin(), low.end(), 0)) / double(low.size()), 0.6306, 0.005);
}

TEST(SensorModel, TheProgramsFrameIsTheLibrarysWhateverTheWorkersWithItsExposureAndIso)
{
    TempDir dir;
    const std::string path = (dir / "frame.raf").string();
    const ProcessResult run = RunProcess({kSynthExe, "--sensor", "--prnu", "0.5", "--dsnu", "2", "--hot", "1,2143,2943",
                                          "--seed", "7", "--exposure", "0.3", "--iso", "800", path});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const SensorModel model{.prnuPercent = 0.5, .dsnuElectrons = 2, .seed = 7, .hot = {{{1, 2143, 2943}}},
                            .exposureSeconds = 0.3, .iso = 800};
    EXPECT_TRUE(ReadFile(path) == MakeSensorRafFile(model, 3));
    CRawX10 raw;  // the fields as diagraw reads them: rows rendered alone are the same
    ASSERT_EQ(raw.Load(path.c_str()), 0);
    EXPECT_TRUE(std::ranges::equal(Band(model, 0), std::span(raw.m_field0.get(), kBandRows * kWidth)));
    EXPECT_TRUE(std::ranges::equal(Band(model, 1, kHeight - kBandRows),
                                   std::span(raw.m_field1.get(), size_t{kHeight} * kWidth).last(kBandRows * kWidth)));
    if (!ExifReadingBuilt())
        GTEST_SKIP() << "built without libexif";
    FileHeader header;
    ExifMetadata exif;
    ASSERT_EQ(ReadHeaderAndExif(path.c_str(), header, exif), kStatusOk);
    ASSERT_TRUE(exif.exposureTime && exif.iso);
    EXPECT_EQ(std::vector<uint32_t>({exif.exposureTime->numerator, exif.exposureTime->denominator, *exif.iso}),
              std::vector<uint32_t>({3, 10, 800}));
}

TEST(SensorModel, ExposureFractions)
{
    const std::pair<double, ExifShot> cases[] = {{0.004, {1, 250}}, {1e-6, {1, 1'000'000}}, {2.5, {5, 2}}, {30, {30, 1}},
        {0.0166666, {83333, 5'000'000}}, {123.456789, {123'456'789, 1'000'000}}, {1e5, {100'000, 1}}};
    for (const auto& [seconds, shot] : cases)
        EXPECT_EQ(ExifShotFor(seconds, 200), shot) << seconds;
}

}  // namespace
