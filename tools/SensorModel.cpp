// The simulated sensor: the model of SensorModel.h, one sample at a time.
//
// Every draw of a sample comes from its own short splitmix64 sequence, so
// samples can be rendered in any order and on any thread. A stream needs
// only a few draws: the polar method two per try (it accepts 79 % of them),
// inversion one, PTRS two per try (it accepts most at the first).
#include "tools/SensorModel.h"

#include "platform/Workers.h"
#include "raw/PackedSamples.h"
#include "raw/RawX10.h"
#include "tools/Chart.h"
#include "tools/RafContainer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace
{

constexpr int32_t kFieldWidth = CRawX10::kFieldWidth;
constexpr int32_t kFieldHeight = CRawX10::kFieldHeight;
constexpr int64_t kFieldSamples = int64_t{kFieldWidth} * kFieldHeight;
static_assert(kFieldWidth % 2 == 0, "the read noise takes the samples of a row in pairs");

// Means above this are taken as this; far above any the command line lets
// in, and low enough for PTRS to stay exact in doubles.
constexpr double kLargestMean = 1e15;

// The means from which PTRS takes over from inversion; it is made for
// means of 10 and more.
constexpr double kSmallestPtrsMean = 10;

int64_t SampleIndexOf(int32_t field, int32_t y, int32_t x)
{
    return (int64_t{field} * kFieldHeight + y) * kFieldWidth + x;
}

// splitmix64's output function.
constexpr uint64_t Mix(uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

constexpr uint64_t kGoldenGamma = 0x9E3779B97F4A7C15ULL;

// The streams, each a tag mixed into its seed.
enum class Stream : uint64_t {
    Pattern = 0x243F6A8885A308D3ULL,
    Shot = 0x13198A2E03707344ULL,
    Hot = 0xA4093822299F31D0ULL,
    Read = 0x082EFA98EC4E6C89ULL,
};

// The draws of one sample in one stream: splitmix64 from a start that
// hashes the seed, the stream and the sample's index.
class CSampleDraws
{
public:
    CSampleDraws(uint64_t seed, Stream stream, int64_t sample)
        : m_state(Mix(Mix(seed ^ static_cast<uint64_t>(stream)) + static_cast<uint64_t>(sample)))
    {
    }

    // Uniform on the open interval (0, 1): never 0, never 1.
    double Open()
    {
        m_state += kGoldenGamma;
        return (static_cast<double>(Mix(m_state) >> 11) + 0.5) * 0x1p-53;
    }

    // Two independent standard normal values: Marsaglia's polar form of
    // Box-Muller, a point drawn uniformly in the unit disc (by rejection
    // from the square, 21 % of the tries) scaled along its radius.
    std::pair<double, double> NormalPair()
    {
        for (;;)
        {
            const double u = 2 * Open() - 1;
            const double v = 2 * Open() - 1;
            const double square = u * u + v * v;
            if (square >= 1 || square == 0)
                continue;
            const double scale = std::sqrt(-2 * std::log(square) / square);
            return {u * scale, v * scale};
        }
    }

private:
    uint64_t m_state;
};

// log(k!) for a whole k >= 0: from the factorial below 10, else from
// Stirling's series for log Gamma(k + 1), whose first term left out is
// below 1e-14 there.
double LogFactorial(double k)
{
    constexpr double kFactorials[] = {1, 1, 2, 6, 24, 120, 720, 5040, 40320, 362880};
    if (k < 10)
        return std::log(kFactorials[static_cast<int>(k)]);
    const double x = k + 1;
    const double x2 = x * x;
    const double series = (1.0 / 12 - (1.0 / 360 - (1.0 / 1260 - (1.0 / 1680 - 1.0 / (1188 * x2)) / x2) / x2) / x2) / x;
    return (x - 0.5) * std::log(x) - x + 0.5 * std::log(2 * std::numbers::pi) + series;
}

// Poisson by inversion: the smallest k whose cumulative probability reaches
// one uniform draw. Ends once the terms underflow, far past any likely k.
double PoissonByInversion(CSampleDraws& draws, double mean)
{
    const double u = draws.Open();
    double term = std::exp(-mean);
    double cumulative = term;
    double k = 0;
    while (u > cumulative && term > 0)
    {
        k += 1;
        term *= mean / k;
        cumulative += term;
    }
    return k;
}

// The constants of PTRS for one mean. A flat frame has one mean in most
// samples, so the last one is kept.
struct PtrsShape
{
    double mean = -1;
    double a = 0;
    double b = 0;
    double vr = 0;

    void Prepare(double forMean)
    {
        if (forMean == mean)
            return;
        mean = forMean;
        b = 0.931 + 2.53 * std::sqrt(mean);
        a = -0.059 + 0.02483 * b;
        vr = 0.9277 - 3.6224 / (b - 2);
    }
};

// Poisson by Hoermann's PTRS, the transformed rejection with squeeze
// (W. Hoermann, "The transformed rejection method for generating Poisson
// random variables", 1993), for means of 10 and more. The logarithms are
// needed only past the squeeze, in some 14 % of the tries, and are taken
// only then.
double PoissonByPtrs(CSampleDraws& draws, const PtrsShape& shape)
{
    const auto [mean, a, b, vr] = shape;
    for (;;)
    {
        const double u = draws.Open() - 0.5;
        const double v = draws.Open();
        const double us = 0.5 - std::abs(u);
        const double k = std::floor((2 * a / us + b) * u + mean + 0.43);
        if (us >= 0.07 && v <= vr)
            return k;
        if (k < 0 || (us < 0.013 && v > us))
            continue;
        const double logInverseAlpha = std::log(1.1239 + 1.1328 / (b - 3.4));
        if (std::log(v) + logInverseAlpha - std::log(a / (us * us) + b) <= -mean + k * std::log(mean) - LogFactorial(k))
            return k;
    }
}

double Poisson(uint64_t seed, Stream stream, int64_t sample, double mean, PtrsShape& shape)
{
    if (!(mean > 0))
        return 0;
    CSampleDraws draws(seed, stream, sample);
    const double bounded = std::min(mean, kLargestMean);
    if (bounded < kSmallestPtrsMean)
        return PoissonByInversion(draws, bounded);
    shape.Prepare(bounded);
    return PoissonByPtrs(draws, shape);
}

uint16_t ToValue(double value)
{
    const double rounded = std::floor(value + 0.5);
    if (!(rounded > 0))
        return 0;  // below 0, or no number
    return rounded >= kSampleMaximum ? kSampleMaximum : static_cast<uint16_t>(rounded);
}

// The dead and hot cells of a model, one entry per sample, in the order of
// the samples' indices; cells outside the fields left out.
struct Defect
{
    int64_t sample = 0;
    bool dead = false;
    bool hot = false;
    double hotElectrons = 0;
};

std::vector<Defect> DefectsOf(const SensorModel& model)
{
    std::vector<Defect> defects;
    for (const SensorCell& cell : model.dead)
        if (SensorCellInside(cell))
            defects.push_back({SampleIndexOf(cell.field, cell.y, cell.x), true, false, 0});
    for (const HotCell& hot : model.hot)
        if (SensorCellInside(hot.cell))
            defects.push_back({SampleIndexOf(hot.cell.field, hot.cell.y, hot.cell.x), false, true, hot.electrons});
    std::sort(defects.begin(), defects.end(), [](const Defect& a, const Defect& b) { return a.sample < b.sample; });
    std::vector<Defect> merged;
    for (const Defect& defect : defects)
    {
        if (merged.empty() || merged.back().sample != defect.sample)
        {
            merged.push_back(defect);
            continue;
        }
        merged.back().dead = merged.back().dead || defect.dead;
        merged.back().hot = merged.back().hot || defect.hot;
        merged.back().hotElectrons += defect.hotElectrons;
    }
    return merged;
}

// The truth of one sample whose defect entry, if any, is defect.
SensorTruth TruthOfSample(const SensorModel& model, int32_t field, int32_t y, int32_t x, const Defect* defect)
{
    SensorTruth truth;
    const int64_t sample = SampleIndexOf(field, y, x);
    if (model.prnuPercent != 0 || model.dsnuElectrons != 0)
    {
        const auto [p, d] = CSampleDraws(model.patternSeed, Stream::Pattern, sample).NormalPair();
        truth.prnu = p * model.prnuPercent / 100;
        truth.dsnuElectrons = d * model.dsnuElectrons;
    }
    truth.light = model.light == SensorLight::Chart ? ChartSampleOf(field, y, x) / double{kSampleMaximum} : 1.0;
    truth.dead = defect != nullptr && defect->dead;
    if (defect != nullptr && defect->hot)
        truth.hotElectrons = defect->hotElectrons;
    const double mean = model.electrons * truth.light * (1 + truth.prnu) * (field == 1 ? model.fieldRatio : 1.0);
    truth.meanElectrons = truth.dead || !(mean > 0) ? 0.0 : mean;
    return truth;
}

void RenderRow(const SensorModel& model, const std::vector<Defect>& defects, int32_t field, int32_t y, uint16_t* row)
{
    const int64_t first = SampleIndexOf(field, y, 0);
    auto defect = std::lower_bound(defects.begin(), defects.end(), first,
                                   [](const Defect& d, int64_t sample) { return d.sample < sample; });
    std::pair<double, double> readPair;
    PtrsShape shotShape;
    PtrsShape hotShape;
    for (int32_t x = 0; x < kFieldWidth; ++x)
    {
        const int64_t sample = first + x;
        const Defect* here = defect != defects.end() && defect->sample == sample ? &*defect++ : nullptr;
        const SensorTruth truth = TruthOfSample(model, field, y, x, here);
        const double photo = Poisson(model.seed, Stream::Shot, sample, truth.meanElectrons, shotShape);
        const double hot = Poisson(model.seed, Stream::Hot, sample, truth.hotElectrons, hotShape);
        // The read noise of samples 2j and 2j + 1, neighbours in a row (the
        // rows have an even width), is the one pair of draws j.
        if (x % 2 == 0 && model.readNoiseElectrons != 0)
            readPair = CSampleDraws(model.seed, Stream::Read, sample / 2).NormalPair();
        const double read = (x % 2 == 0 ? readPair.first : readPair.second) * model.readNoiseElectrons;
        row[x] = ToValue(model.offset + model.gain * (photo + hot + truth.dsnuElectrons + read));
    }
}

}  // namespace

bool SensorCellInside(const SensorCell& cell)
{
    return cell.field >= 0 && cell.field <= 1 && cell.y >= 0 && cell.y < kFieldHeight && cell.x >= 0 &&
           cell.x < kFieldWidth;
}

SensorTruth SensorTruthOf(const SensorModel& model, int32_t field, int32_t y, int32_t x)
{
    if (!SensorCellInside({field, y, x}))
        return {};
    const std::vector<Defect> defects = DefectsOf(model);
    const int64_t sample = SampleIndexOf(field, y, x);
    const auto defect = std::find_if(defects.begin(), defects.end(), [&](const Defect& d) { return d.sample == sample; });
    return TruthOfSample(model, field, y, x, defect == defects.end() ? nullptr : &*defect);
}

void RenderSensorRows(const SensorModel& model, int32_t field, int32_t firstRow, int32_t rowCount, uint16_t* rows)
{
    if (field < 0 || field > 1)
        return;
    const std::vector<Defect> defects = DefectsOf(model);
    for (int32_t i = 0; i < rowCount; ++i)
        if (firstRow + i >= 0 && firstRow + i < kFieldHeight)
            RenderRow(model, defects, field, firstRow + i, rows + int64_t{i} * kFieldWidth);
}

void RenderSensorFields(const SensorModel& model, uint16_t* field0, uint16_t* field1, int32_t workers)
{
    const std::vector<Defect> defects = DefectsOf(model);
    CWorkerPool pool(std::max(workers, 1));
    RunOnShares(pool, 2 * kFieldHeight, [&](int32_t first, int32_t count) {
        for (int32_t row = first; row < first + count; ++row)
        {
            const int32_t field = row / kFieldHeight;
            const int32_t y = row % kFieldHeight;
            RenderRow(model, defects, field, y, (field == 0 ? field0 : field1) + int64_t{y} * kFieldWidth);
        }
    });
}

std::vector<uint8_t> MakeSensorRafFile(const SensorModel& model, int32_t workers)
{
    std::vector<uint16_t> field0(static_cast<size_t>(kFieldSamples));
    std::vector<uint16_t> field1(static_cast<size_t>(kFieldSamples));
    RenderSensorFields(model, field0.data(), field1.data(), workers);
    std::vector<uint8_t> file = RafPrefixFor(CRawX10::kTailBytes, ExifShotFor(model.exposureSeconds, model.iso));
    const size_t tail = file.size();
    file.resize(tail + static_cast<size_t>(CRawX10::kTailBytes), 0);
    PackSamples(field0.data(), kFieldSamples, file.data() + tail + CRawX10::BlockOffsetInTail(0));
    PackSamples(field1.data(), kFieldSamples, file.data() + tail + CRawX10::BlockOffsetInTail(1));
    return file;
}
